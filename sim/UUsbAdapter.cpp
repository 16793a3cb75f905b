#include "UUsbAdapter.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace korvane::sim {

namespace {

// The longest timer the adapter takes from its file; more is no number it
// could hold, and counts as unreadable.
constexpr long CMaxLatencyMs = 65535;

// The file's decimal number, with the line end and any spaces around it; -1
// when it is missing or holds anything else.
long ReadLatencyFile(const std::string& Path) {
  std::ifstream In(Path);
  if (!In) {
    return -1;
  }
  const std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  const auto Space = [](unsigned char C) { return std::isspace(C) != 0; };
  const auto First = std::find_if_not(Text.begin(), Text.end(), Space);
  const auto End = std::find_if_not(Text.rbegin(), Text.rend(), Space).base();
  if (First >= End || End - First > 5) {
    return -1;
  }
  long Value = 0;
  for (auto C = First; C != End; ++C) {
    if (!std::isdigit(static_cast<unsigned char>(*C))) {
      return -1;
    }
    Value = Value * 10 + (*C - '0');
  }
  return Value <= CMaxLatencyMs ? Value : -1;
}

}  // namespace

TUsbAdapter::TUsbAdapter(int LatencyMs, std::string LatencyFile)
    : FLatencyMs(std::max(0, LatencyMs)), FLatencyFile(std::move(LatencyFile)) {}

int TUsbAdapter::LatencyMs() const {
  if (!FLatencyFile.empty()) {
    const long FromFile = ReadLatencyFile(FLatencyFile);
    if (FromFile >= 0) {
      return int(FromFile);
    }
  }
  return FLatencyMs;
}

void TUsbAdapter::StartPacket(TClock::time_point FirstReady) {
  FDue = FirstReady + std::chrono::milliseconds(LatencyMs());
}

void TUsbAdapter::Take(std::string_view Bytes, TClock::time_point Ready) {
  if (Bytes.empty()) {
    return;
  }
  if (FHeld.empty()) {
    StartPacket(Ready);
  }
  FHeld += Bytes;
  FLastReady = Ready;
}

std::string TUsbAdapter::Release() {
  const size_t Count = std::min(FHeld.size(), CPacketBytes);
  std::string Packet = FHeld.substr(0, Count);
  FHeld.erase(0, Count);
  if (!FHeld.empty()) {
    // Only a full packet leaves bytes behind, and those came in together
    // with its last one.
    StartPacket(FLastReady);
  }
  return Packet;
}

}  // namespace korvane::sim
