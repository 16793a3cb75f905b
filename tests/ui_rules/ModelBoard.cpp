#include "ModelBoard.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "UComPort.h"

namespace korvane::test {

#ifdef _WIN32
const int32_t TModelLine::LostError = 1167;  // ERROR_DEVICE_NOT_CONNECTED
#else
const int32_t TModelLine::LostError = EIO;
#endif

void TModelLine::SetPort(const std::string& Name) {
  if (Name != FPort) {
    Close();
    FPort = Name;
  }
}

void TModelLine::Open() {
  const auto Found = FPlugged.find(FPort);
  if (Found == FPlugged.end()) {
#ifdef _WIN32
    throw EComPort(ecOpenFailed, 2);  // ERROR_FILE_NOT_FOUND
#else
    throw EComPort(ecOpenFailed, ENOENT);
#endif
  }
  FOpen = Found->second;
}

TModelBoard& TModelLine::OpenBoard(int32_t MessageCode, bool Reading) {
  if (FOpen == nullptr || (FOpen->FHungUp && !(Reading && !FOpen->Visible().empty()))) {
    throw EComPort(MessageCode, LostError);
  }
  return *FOpen;
}

void TModelLine::ClearBuffer(bool Input, bool /*Output*/) {
  TModelBoard& Board = OpenBoard(ecPurgeFailed);
  if (Input) {
    Board.FToHost = {std::string()};
  }
}

void TModelLine::SendChar(uint8_t Ch) {
  OpenBoard(ecSendCharFailed).Receive(Ch);
}

int32_t TModelLine::InputCount() {
  return static_cast<int32_t>(OpenBoard(ecInputCountFailed, true).Visible().size());
}

bool TModelLine::WaitForInput(int32_t TimeoutMs) {
  if (InputCount() > 0) {
    return true;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(TimeoutMs));
  return false;
}

int32_t TModelLine::Read(void* Buffer, int32_t Count) {
  std::string& Input = OpenBoard(ecReadFailed, true).Visible();
  const auto Taken = std::min<size_t>(Input.size(), static_cast<size_t>(std::max(0, Count)));
  std::copy_n(Input.begin(), Taken, static_cast<char*>(Buffer));
  Input.erase(0, Taken);
  return static_cast<int32_t>(Taken);
}

int32_t TModelLine::ReadStr(std::string& Text, int32_t Count) {
  Text.resize(static_cast<size_t>(std::max(0, Count)));
  Text.resize(static_cast<size_t>(Read(Text.data(), Count)));
  return static_cast<int32_t>(Text.size());
}

TModelBoard::TModelBoard(TModelLine& Line, const sim::TBoardSimOptions& Options)
    : FLine(Line),
      FName("model" + std::to_string(Line.FPlugged.size() + 1)),
      FOptions(Options),
      FState(FOptions),
      FFirmware(FOptions, FState, *this) {
  while (FLine.FPlugged.count(FName) != 0) {
    FName += "'";
  }
  FLine.FPlugged[FName] = this;
}

TModelBoard::~TModelBoard() {
  FLine.FPlugged.erase(FName);
  if (FLine.FOpen == this) {
    // Unplugged under an open line: the host's next call fails.
    FLine.FOpen = nullptr;
    FLine.FLost = true;
  }
}

void TModelBoard::Receive(uint8_t Byte) {
  FState.Received += static_cast<char>(Byte);
  FFirmware.Receive(Byte);
}

bool TModelBoard::Send(std::string_view Bytes) {
  if (FHungUp) {
    return false;
  }
  FToHost.back() += Bytes;
  return true;
}

void TModelBoard::AwaitTaken() {
  if (!FToHost.back().empty()) {
    FToHost.emplace_back();
  }
}

std::string& TModelBoard::Visible() {
  while (FToHost.front().empty() && FToHost.size() > 1) {
    FToHost.pop_front();
  }
  return FToHost.front();
}

}  // namespace korvane::test
