#include "UVirtualBoard.h"

#include <emscripten.h>

#include <algorithm>

namespace korvane {

TVirtualBoard::TVirtualBoard(const sim::TBoardSimOptions& Options)
    : FOptions(Options), FState(FOptions), FFirmware(FOptions, FState, *this) {}

void TVirtualBoard::Receive(uint8_t Byte) {
  FFirmware.Receive(Byte);
}

int32_t TVirtualBoard::Ready() const {
  if (FOutput.empty() || emscripten_get_now() < FBusyUntil) {
    return 0;
  }
  return static_cast<int32_t>(FOutput.front().size());
}

double TVirtualBoard::ReadyInMs() const {
  if (FOutput.empty() || FOutput.front().empty()) {
    return -1.0;
  }
  return std::max(FBusyUntil - emscripten_get_now(), 0.0);
}

int32_t TVirtualBoard::Take(uint8_t* Buffer, int32_t Count) {
  const int32_t Taken = std::min(Ready(), Count);
  if (Taken > 0) {
    std::string& Piece = FOutput.front();
    std::copy_n(Piece.begin(), Taken, Buffer);
    Piece.erase(0, static_cast<size_t>(Taken));
    if (Piece.empty()) {
      FOutput.pop_front();
    }
  }
  return Taken;
}

bool TVirtualBoard::Send(std::string_view Bytes) {
  if (FHungUp) {
    return false;
  }
  if (FOutput.empty()) {
    FOutput.emplace_back();
  }
  FOutput.back().append(Bytes);
  return true;
}

void TVirtualBoard::AwaitTaken() {
  if (!FOutput.empty() && !FOutput.back().empty()) {
    FOutput.emplace_back();
  }
}

void TVirtualBoard::Busy(int Ms) {
  if (!FOptions.Realtime || Ms <= 0) {
    return;
  }
  FBusyUntil = std::max(FBusyUntil, emscripten_get_now()) + Ms;
}

}  // namespace korvane
