// The board's serve loop: reads what the host sends on the pseudo-terminal,
// hands each byte to the firmware when the wire has delivered it, and carries
// the firmware's answers back, paced and recorded. It is the firmware's line.
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
  void Receive(const uint8_t* Bytes, size_t Count);

  const TBoardSimOptions& FOptions;
  TBoardState& FState;
  TStopSignal FStop;
  TPseudoTerminal FPty;
  TWirePacer FPacer;
  TTranscript FTranscript;
  TBoardFirmware FFirmware;
};

}  // namespace korvane::sim
