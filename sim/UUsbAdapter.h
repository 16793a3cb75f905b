// A USB serial adapter between the board and the host, as far as the host can
// tell it from a plain line: the board's bytes do not reach the host one by
// one but in packets, each sent when the adapter's latency timer runs out
// after its first byte, or at once when it is full. Bytes from the host pass
// straight through and are not its business.
//
// The adapter only keeps the packet and its due time; the board's serve loop
// delivers it when it is due.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace korvane::sim {

class TUsbAdapter {
 public:
  using TClock = std::chrono::steady_clock;

  // The data bytes of one packet.
  static constexpr size_t CPacketBytes = 62;

  // LatencyMs: the latency timer (0 = none). LatencyFile: where the timer is
  // read from at the start of each packet, in the form of the kernel's
  // latency_timer attribute; empty, missing or unreadable, LatencyMs counts.
  TUsbAdapter(int LatencyMs, std::string LatencyFile);

  // False when the board's bytes go to the host when they are ready, with no
  // adapter's packets at all.
  bool Present() const { return FLatencyMs > 0 || !FLatencyFile.empty(); }

  // Bytes the board has sent, all ready at Ready.
  void Take(std::string_view Bytes, TClock::time_point Ready);
  bool Holding() const { return !FHeld.empty(); }
  // A packet's worth is waiting: it goes at once.
  bool Full() const { return FHeld.size() >= CPacketBytes; }
  // When the packet being held is due (only while Holding()).
  TClock::time_point Due() const { return FDue; }
  // Takes the packet out: the first CPacketBytes held, or all of them. What
  // stays starts the next packet.
  std::string Release();

  // The latency timer as it stands now: the file's value, or LatencyMs.
  int LatencyMs() const;

 private:
  void StartPacket(TClock::time_point FirstReady);

  int FLatencyMs;
  std::string FLatencyFile;
  std::string FHeld;
  TClock::time_point FDue{};
  TClock::time_point FLastReady{};
};

}  // namespace korvane::sim
