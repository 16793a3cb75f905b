// The command exchange on which every conversation with the board rests.
#include <chrono>

#include "UBoardLink.h"
#include "UBoardProtocol.h"

namespace korvane {

namespace {

// Milliseconds from a fixed point, wrapping at 2^32.
uint32_t TickCount() {
  const auto Now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Now).count());
}

}  // namespace

void TBoardLink::SendCommand(uint8_t Cmd, uint8_t Terminator, int32_t TimeoutMs,
                             std::string& Reply) {
  if (Cmd != 0) {
    FLine->SendChar(Cmd);
  }
  std::string Collected;
  bool Found = false;
  bool Flooded = false;
  // Wider than the time allowed, so that no subtraction can overflow.
  int64_t Remaining = TimeoutMs;
  do {
    const uint32_t T0 = TickCount();
    // Sleep in the kernel rather than spin on the input count; the wait ends
    // as soon as a byte arrives, so replies come no later than by polling.
    bool Waiting = FLine->InputCount() > 0;
    if (!Waiting && Remaining > 0) {
      Waiting = FLine->WaitForInput(static_cast<int32_t>(Remaining));
    }
    if (Waiting) {
      std::string Piece;
      FLine->ReadStr(Piece, FLine->InputCount());
      // The bytes collected before held no terminator: only the new ones can.
      Found = Piece.find(static_cast<char>(Terminator)) != std::string::npos;
      if (Collected.size() + Piece.size() > protocol::MaxReplyBytes) {
        Flooded = true;
      } else {
        Collected += Piece;
      }
    }
    const uint32_t T1 = TickCount();
    Remaining -= static_cast<uint32_t>(T1 - T0);
  } while (!Found && Remaining > 0);
  // What a flooding board said is read and dropped; its callers see no reply.
  Reply = Flooded ? std::string() : std::move(Collected);
}

}  // namespace korvane
