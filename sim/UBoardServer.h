// The board's serve loop: reads what the host sends on the pseudo-terminal,
// hands each byte to the firmware when the wire has delivered it, and carries
// the firmware's answers back, paced, through the USB adapter when there is
// one, and recorded. It is the firmware's line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "UBoardFirmware.h"
#include "UBoardLine.h"
#include "UBoardSimOptions.h"
#include "UBoardState.h"
#include "UPseudoTerminal.h"
#include "UStopSignal.h"
#include "UTranscript.h"
#include "UUsbAdapter.h"
#include "UWirePacer.h"

namespace korvane::sim {

class TBoardServer final : public IBoardLine {
 public:
  // Options and State outlive the server.
  TBoardServer(const TBoardSimOptions& Options, TBoardState& State);

  // Opens the pseudo-terminal, the stop signal, the transcript and the link;
  // raises std::runtime_error. Close() undoes what was done.
  void Open();
  // Serves on the calling thread until RequestStop() or until the line is gone.
  void Serve();
  // Any thread: makes Serve() return soon, whatever it waits for.
  void RequestStop() { FStop.Raise(); }
  // Once Serve() has returned (or never ran): closes the line, removes the
  // link and completes the transcript.
  void Close();
  const std::string& Device() const { return FPty.Device(); }

  bool Send(std::string_view Bytes) override;
  void AwaitTaken() override;
  void Busy(int Ms) override;
  void HangUp() override;
  void Note(std::string_view Text) override { FTranscript.Note(Text); }

 private:
  using TClock = TWirePacer::TClock;

  // Writes all of Bytes to the master, waiting for room as the host reads.
  bool WriteAll(std::string_view Bytes);
  // Bytes the board has sent, ready at Ready: to the host, or to the adapter
  // and on to the host as far as its packets are due.
  bool Emit(std::string_view Bytes, TClock::time_point Ready);
  // Waits as the pacer does, delivering the adapter's packets that fall due
  // on the way; false once stopping or the line is gone.
  bool Wait(TClock::time_point Deadline, bool OnTime = false);
  // Waits until the adapter's packet is due, if it holds one, and delivers it.
  bool DeliverHeld();
  void Receive(const uint8_t* Bytes, size_t Count);

  const TBoardSimOptions& FOptions;
  TBoardState& FState;
  TStopSignal FStop;
  TPseudoTerminal FPty;
  TWirePacer FPacer;
  TTranscript FTranscript;
  TUsbAdapter FAdapter;
  TBoardFirmware FFirmware;
};

}  // namespace korvane::sim
