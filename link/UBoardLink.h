// The link to one programmer board: the serial line, the command exchange,
// finding the board and knowing its chip, and the chip operations (byte
// counter, erase, write, read, the two verifications, lock).
//
// A link knows no window and no terminal: it reports through the
// TLinkObserver its owner gives it, and records how each operation ended
// (LastOutcome, CurrentStatus) as data. Each front owns one link per board;
// links share nothing, so several live side by side in one process, each
// used from its own thread.
//
// Two ways of failing: an unsuccessful exchange gives a false result and a
// status; the line, the images and the files raise (EComPort, EHexFile,
// EInOutError) and nothing here catches them, except the port scan.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "UBoardLine.h"
#include "UChipTable.h"
#include "UComPort.h"
#include "UHexFile.h"
#include "ULinkObserver.h"
#include "ULinkRecords.h"
#include "UPortAccess.h"
#include "UPortList.h"
#include "UStatusTexts.h"

namespace korvane {

class TBoardLink {
 public:
  // Ports is where each poll gets its list of ports to scan. The link talks
  // over its own serial port, or over Line when one is given (Line outlives
  // the link).
  explicit TBoardLink(TPortListSource Ports, TBoardLine* Line = nullptr);
  ~TBoardLink();
  TBoardLink(const TBoardLink&) = delete;
  TBoardLink& operator=(const TBoardLink&) = delete;

  // Where the link reports; nullptr (the default) reports to nobody and
  // never stops. Observer outlives its use here.
  void SetObserver(TLinkObserver* Observer) { FObserver = Observer; }

  // --- The command exchange -------------------------------------------------
  // Sends Cmd (0 sends nothing) and collects the reply until Terminator occurs
  // anywhere in it or TimeoutMs has been spent (at least one pass). Reply is
  // replaced only when the exchange ends; a port error leaves it untouched.
  // A reply longer than protocol::MaxReplyBytes is read to its end and
  // given back empty, as no reply.
  void SendCommand(uint8_t Cmd, uint8_t Terminator, int32_t TimeoutMs, std::string& Reply);

  // --- Discovery and identification -----------------------------------------
  // One poll's worth of discovery: checks the known chip on the port in use,
  // or scans the port list for the board's banner. A port lost during the
  // check is let go of and the chip forgotten before EComPort goes on to the
  // caller (BoardLost() then says so).
  void DetectProgrammer();
  // Works out the chip from the banner, or from the chip's signature ("p").
  void IdentifyChip(const std::string& Banner);
  // Records the chip code and sizes both images: to the kind's size, or to
  // the size chosen last for a kind whose size is chosen.
  void SetTargetChip(uint8_t Code);
  // Lets go of the line and forgets the chip, as a poll that loses the board
  // does, so that the next poll scans and finds it again once it is back.
  void LetGoOfBoard();

  // --- Chip operations ------------------------------------------------------
  bool SetCounter(uint16_t Count);
  bool EraseChip();
  bool WriteChip(uint16_t Count);
  bool ReadChip(uint16_t Count);
  bool VerifyChip(uint16_t Count);
  bool FastVerifyChip(uint16_t Count);
  bool LockChip(uint16_t Count);
  // The sum of Image's first Count bytes, modulo 65536: what the board's
  // checksum answer complements.
  static uint16_t ImageSum(const THexFile& Image, uint16_t Count);
  // The highest address whose byte is not FF; none for an image that is all FF.
  static std::optional<uint16_t> LastUsedAddress(const THexFile& Image);

  // --- The record of the operations -----------------------------------------
  // Sets the status and tells the observer (see StatusText).
  void Report(TStatus Status, unsigned Number = 0);
  // Records the outcome of Step and gives Result back.
  bool Record(TStep Step, bool Result);
  // Thrown by StopPoint where the user asked to stop; a workflow catches it
  // and ends with LastOutcome().Interrupted, the board at its prompt.
  struct TStopped {};
  // A safe point before or inside Step: when a stop was asked for, records
  // Step as interrupted and throws TStopped.
  void StopPoint(TStep Step);
  // Starts a new record: outcome, chip progress and difference cleared.
  void ClearRecord();
  // Progress moved to Position (0 when a stream ends).
  void MoveProgress(int Position);

  // The last operation's outcome.
  const TOutcome& LastOutcome() const { return FOutcome; }
  // What the operations did to the chip since the record was cleared.
  const TChipProgress& ChipProgress() const { return FProgress; }
  TChipProgress& ChipProgress() { return FProgress; }
  // Where the last read-back verification differed; nothing when it found
  // no difference or could not read the chip.
  const std::optional<TDifference>& LastDifference() const { return FDifference; }
  // The status the operations set last, by name.
  TStatus CurrentStatus() const { return FStatus; }
  // Whether the last port scan reached a board's banner (also when the chip
  // in its socket was then not recognised).
  bool BannerSeen() const { return FBannerSeen; }
  // The port on which the last scan heard a stream's handshake (DC1, DC3)
  // instead of a banner: a board left in its stream, which only a reset
  // brings back; empty when none.
  const std::string& StuckPort() const { return FStuckPort; }
  // The ports the last scan could not open, with the reasons; empty once a
  // scan opened every port it tried.
  const std::vector<TRefusedPort>& RefusedPorts() const { return FRefusedPorts; }
  // The last DetectProgrammer lost the port of a known chip: the error was
  // raised, the chip forgotten, and polling goes on.
  bool BoardLost() const { return FBoardLost; }

  // --- State ----------------------------------------------------------------
  void SetPortListSource(TPortListSource Ports) { FPortListSource = std::move(Ports); }
  uint8_t TargetChip() const { return FTargetChip; }
  // The images the operations write from (the source) and read into (the
  // chip); both have the chip's size.
  THexFile& SourceImage() { return FSourceImage; }
  const THexFile& SourceImage() const { return FSourceImage; }
  THexFile& ChipImage() { return FChipImage; }
  const THexFile& ChipImage() const { return FChipImage; }
  const std::vector<std::string>& PortList() const { return FPortList; }
  // The line in use, and the link's own serial port (in use unless a line
  // was given): its settings, its adapter, its release from a signal handler.
  TBoardLine& Line() { return *FLine; }
  const TBoardLine& Line() const { return *FLine; }
  TComPort& ComPort() { return FComPort; }
  // The code-memory size chosen for a kind whose size is chosen; both images
  // take it when the chip is of such a kind.
  uint16_t ChosenMemorySize() const { return FMemorySize; }
  void ApplyMemorySizeChoice(uint16_t Size);

 private:
  // The two branches of DetectProgrammer.
  void CheckKnownChip();
  void ScanPorts();
  // The two ways of erasing: by the board's erased flag, or (the
  // 89C2051/4051, which has none) by reading the whole chip back.
  bool EraseByErasedFlag();
  bool EraseByReadingBack();
  // One erase try: a safe point, its status, then "e" and the board's answer.
  void SendEraseTry(int Try, std::string& Reply);
  // One byte of a stream; false when none came within the line's time-out.
  bool ReadStreamByte(uint8_t& Value);
  bool StopRequested() const { return FObserver != nullptr && FObserver->StopRequested(); }
  void SetProgressRange(int Min, int Max);

  TComPort FComPort;
  std::unique_ptr<TComPortLine> FOwnLine;
  TBoardLine* FLine;
  TLinkObserver* FObserver = nullptr;
  THexFile FSourceImage;
  THexFile FChipImage;
  std::vector<std::string> FPortList;
  uint8_t FTargetChip = chipNone;
  TPortListSource FPortListSource;
  TOutcome FOutcome;
  TChipProgress FProgress;
  std::optional<TDifference> FDifference;
  TStatus FStatus = TStatus::stNone;
  bool FBannerSeen = false;
  std::string FStuckPort;
  bool FBoardLost = false;
  std::vector<TRefusedPort> FRefusedPorts;
  uint16_t FMemorySize = ChosenMemorySizeDefault;
};

}  // namespace korvane
