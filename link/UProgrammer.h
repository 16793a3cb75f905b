// The programmer: every exchange with the board, the chip operations and the
// two workflows (program a HEX file into the chip, read the chip into a file).
//
// TProgrammer owns the serial port, the two memory images, the port list, the
// chip code and the busy flag. It knows nothing of any window toolkit: it
// reports through the view operations below, which the main window implements
// with its widgets, the command-line tool with terminal output, and the tests
// with a recorder. The main window derives from it, so the operations stay
// methods of the window.
//
// Two ways of failing: an unsuccessful exchange gives a false result and a
// status text; the port, the images and the files raise (EComPort, EHexFile,
// EInOutError) and nothing here catches them, except the port scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "UChipTable.h"
#include "UComPort.h"
#include "UHexFile.h"
#include "UPortAccess.h"
#include "UPortList.h"
#include "UStatusTexts.h"

namespace korvane {

// The operations whose outcome the programmer records.
enum class TStep : uint8_t {
  stepNone,
  stepCounter,
  stepErase,
  stepWrite,
  stepRead,
  stepVerify,
  stepFastVerify,
  stepLock,
  stepSave,
  stepBlankCheck,
};

// How the last operation or workflow ended: the step that ended it (the one
// that failed, or the last one) and whether it succeeded. A workflow that
// succeeded ends with the status "Complete!".
struct TOutcome {
  TStep Step = TStep::stepNone;
  bool Succeeded = false;
  // The user asked to stop and the workflow ended at Step's safe point: the
  // board is back at its prompt and the rest of the workflow did not run.
  bool Interrupted = false;
};

// What a programming run has done to the chip so far, for a report of where
// a run that ended early left it.
struct TChipProgress {
  // The first erase was started: the chip no longer holds what it held.
  bool EraseStarted = false;
  bool Erased = false;
  // The bytes of the file's image to write (0 until the counter is set),
  // and those written so far; the rest, when stopped, were written as FF.
  uint32_t Count = 0;
  uint32_t Written = 0;
  bool Verified = false;
  bool Locked = false;
};

// Where a read-back first differed from the file, and how many bytes did.
struct TDifference {
  uint16_t Address = 0;
  uint8_t FileByte = 0;
  uint8_t ChipByte = 0;
  uint32_t Count = 0;
};

// What a blank check found: the first byte that is not FF and how many are not.
struct TBlankCheck {
  std::optional<uint16_t> FirstUsed;
  uint32_t UsedBytes = 0;
};

// The pace of a write stream, measured over its first bytes: each byte costs
// a handshake (DC1, the byte, DC3), and a USB adapter's latency timer holds
// the board's half of it.
struct TWriteTiming {
  // Milliseconds per byte, measured and as the wire alone allows.
  double CycleMs = 0;
  double WireCycleMs = 0;
  uint32_t Count = 0;
  double ProjectedSeconds() const { return CycleMs * Count / 1000; }
  double WireSeconds() const { return WireCycleMs * Count / 1000; }
};

// What a stop request waits for once the link has seen it: the rest of the
// stream the board is in, which cannot be left (a write stream is finished
// with FF, a read stream read to its end).
struct TStopNotice {
  TStep Step = TStep::stepWrite;  // stepWrite or stepRead
  uint32_t BytesLeft = 0;         // bytes of the image still to go
  double Seconds = 0;             // about how long they take
};

// What the user chose for a workflow: the window's check boxes and radio
// group, the command line's options. The chip's kind has the last word: a
// kind without a checksum command is read back whatever FastVerify says.
struct TWorkflowOptions {
  bool Lock = false;
  bool FastVerify = false;
  // The code memory of a kind whose size the user chooses (the
  // 89C2051/4051): one of its SizeChoices.
  uint16_t MemorySize = 2048;
};

// Where a programming run left the chip, as one clause for the user:
// "written 600 of 6300 bytes; the chip is not verified".
std::string ChipProgressText(const TChipProgress& Progress, bool LockAsked);

class TProgrammer {
 public:
  // Ports is where each poll gets its list of ports to scan.
  explicit TProgrammer(TPortListSource Ports);
  virtual ~TProgrammer();
  TProgrammer(const TProgrammer&) = delete;
  TProgrammer& operator=(const TProgrammer&) = delete;

  // --- The command exchange -------------------------------------------------
  // Sends Cmd (0 sends nothing) and collects the reply until Terminator occurs
  // anywhere in it or TimeoutMs has been spent (at least one pass). Reply is
  // replaced only when the exchange ends; a port error leaves it untouched.
  // A reply longer than protocol::MaxReplyBytes is read to its end and
  // given back empty, as no reply.
  void SendCommand(uint8_t Cmd, uint8_t Terminator, int32_t TimeoutMs, std::string& Reply);

  // --- Discovery and identification -----------------------------------------
  // One poll's worth of discovery: checks the known chip on the port in use,
  // or scans the port list for the board's banner.
  void DetectProgrammer();
  // Works out the chip from the banner, or from the chip's signature ("p").
  void IdentifyChip(const std::string& Banner);
  // Records the chip code and sizes both images: to the kind's size, or to
  // the size chosen last for a kind whose size is chosen.
  void SetTargetChip(uint8_t Code);

  // The poll: unless busy, runs DetectProgrammer with the busy flag set and
  // calls TargetChipChanged() when the chip code changed. Exceptions go on to
  // the caller (the window shows them) after the flag and view are settled.
  void Poll();

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

  // --- Workflows ------------------------------------------------------------
  // Loads FileName into Image as programming does: the HEX loader, and a
  // non-empty file must hold at least one record (an empty one means "erase
  // only"); or the raw bytes of a binary file. Raises EHexFile or EInOutError.
  static void LoadProgramFile(THexFile& Image, const std::string& FileName,
                              TImageFormat Format = TImageFormat::Hex);
  // Raises EHexFile for an image that is all FF, which cannot be locked
  // provably: an erased chip reads FF whether it is locked or not.
  static void CheckLockable(const THexFile& Image);
  // Load FileName, erase, count, write, verify, optionally lock. The outcome is
  // the status text ("Complete!" or the failing step's message). An image
  // that is all FF is only erased: nothing to write.
  void ProgramChip(const std::string& FileName, const TWorkflowOptions& Options,
                   TImageFormat Format = TImageFormat::Hex);
  // The same for a file already loaded (as LoadProgramFile does) into an
  // image of any size, so that the file is read only once: what lies beyond
  // the chip's size must be FF, else EHexFile as the loader raises it.
  void ProgramLoadedFile(const THexFile& Loaded, const TWorkflowOptions& Options);
  // The same for an image already loaded (and changed, as by a serial
  // number) that has the chip's size; EHexFile for another size.
  void ProgramImage(const THexFile& Image, const TWorkflowOptions& Options);
  // Read the whole code memory and save it to FileName; the outcome is the
  // status text. A failed read or save never touches an existing FileName.
  void ReadToFile(const std::string& FileName, const TWorkflowOptions& Options,
                  TImageFormat Format = TImageFormat::Hex);
  // Load FileName, count up to its last used byte, and verify the chip
  // against it (read back, or by the checksum when chosen), writing nothing.
  // "Complete!" or the verification's failure text.
  void VerifyFile(const std::string& FileName, const TWorkflowOptions& Options,
                  TImageFormat Format = TImageFormat::Hex);
  // The same for a file already loaded into an image of any size.
  void VerifyLoadedFile(const THexFile& Loaded, const TWorkflowOptions& Options);
  // Erase the chip alone: "Complete!" or "Erase Failed!".
  void EraseOnly(const TWorkflowOptions& Options);
  // Read the whole chip and count what is not FF (BlankResult); succeeds
  // when every byte is FF.
  void BlankCheck(const TWorkflowOptions& Options);

  // --- Outcomes -------------------------------------------------------------
  // The last operation's or workflow's outcome.
  const TOutcome& LastOutcome() const { return FOutcome; }
  // What the last programming run did to the chip.
  const TChipProgress& ChipProgress() const { return FProgress; }
  // Where the last read-back verification differed; nothing when it found
  // no difference or could not read the chip.
  const std::optional<TDifference>& LastDifference() const { return FDifference; }
  // What the last blank check found.
  const TBlankCheck& BlankResult() const { return FBlank; }
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

  // Sets the busy flag for the life of the scope, as the window does around
  // a workflow; cleared also when the workflow ends by an exception.
  class TBusyScope {
   public:
    explicit TBusyScope(TProgrammer& Programmer) : FProgrammer(Programmer) {
      FProgrammer.FBusy = true;
    }
    ~TBusyScope() { FProgrammer.FBusy = false; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

   private:
    TProgrammer& FProgrammer;
  };

  // --- State ----------------------------------------------------------------
  void SetPortListSource(TPortListSource Ports) { FPortListSource = std::move(Ports); }
  uint8_t TargetChip() const { return FTargetChip; }
  bool Busy() const { return FBusy; }
  void SetBusy(bool Value) { FBusy = Value; }
  const THexFile& SourceImage() const { return FSourceImage; }
  const THexFile& ChipImage() const { return FChipImage; }
  const std::vector<std::string>& PortList() const { return FPortList; }
  TComPort& Port() { return ComPort; }
  // The code-memory size chosen last for a kind whose size is chosen.
  uint16_t ChosenMemorySize() const { return FMemorySize; }
  // Records the code-memory choice (the radio group's click, --mem) and,
  // when the chip's size is chosen, sizes both images to it.
  void ApplyMemorySizeChoice(uint16_t Size);

 protected:
  // --- The view: how the operations report ----------------------------------
  virtual void SetStatus(const std::string& Text) = 0;
  virtual void RepaintStatus() {}
  virtual void RepaintWindow() {}
  virtual void SetProgressRange(int Min, int Max) = 0;
  virtual void SetProgressPosition(int Position) = 0;
  // A plain message box that waits for the user.
  virtual void ShowMessage(const std::string& Text) = 0;
  // The window's own: the poll timer, the wait cursor and the repaints mean
  // nothing to a terminal.
  virtual void StopPollTimer() {}
  virtual void StartPollTimer() {}
  virtual void ShowWaitCursor() {}
  virtual void RestoreCursor() {}
  // The chip code changed during a poll (the window's UpdateTargetChip).
  virtual void TargetChipChanged() {}
  // A write stream's first bytes were timed (streams too short to time say
  // nothing).
  virtual void WriteTimingMeasured(const TWriteTiming&) {}
  // A stop request was seen in the middle of a stream, which goes on to its
  // end first; said once for the stream.
  virtual void StopNoticed(const TStopNotice&) {}

  // The user asked to stop. Looked at only where the board can be left at
  // its prompt: between operations, between erase tries, after a read stream;
  // a write stream is finished with FF for every byte still asked for.
  virtual bool StopRequested() const { return false; }

  // Shows the hourglass for the life of the scope, also when the workflow
  // ends by an exception.
  class TWaitCursorScope {
   public:
    explicit TWaitCursorScope(TProgrammer& Programmer) : FProgrammer(Programmer) {
      FProgrammer.ShowWaitCursor();
    }
    ~TWaitCursorScope() { FProgrammer.RestoreCursor(); }
    TWaitCursorScope(const TWaitCursorScope&) = delete;
    TWaitCursorScope& operator=(const TWaitCursorScope&) = delete;

   private:
    TProgrammer& FProgrammer;
  };

  // Sets the status line to the text of Status (see StatusText).
  void Report(TStatus Status, unsigned Number = 0);
  // Records the outcome of Step and gives Result back.
  bool Record(TStep Step, bool Result);
  // A safe point before or inside Step: when a stop was asked for, records
  // Step as interrupted and ends the workflow (ProgramChip and ReadToFile
  // return normally).
  void StopPoint(TStep Step);

  TComPort ComPort;
  THexFile FSourceImage;
  THexFile FChipImage;
  std::vector<std::string> FPortList;
  uint8_t FTargetChip = chipNone;
  bool FBusy = false;

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
  // One byte of a stream; false when none came within the port's time-out.
  bool ReadStreamByte(uint8_t& Value);
  // FileName loaded as programming loads it, into an image of the chip's size.
  THexFile LoadChipSizedFile(const std::string& FileName, TImageFormat Format) const;
  // The workflows' steps that run under the wait cursor.
  void ProgramLoadedImage();
  // A workflow's start: its options taken in (the code-memory choice
  // applied), the outcome cleared.
  void BeginWorkflow(const TWorkflowOptions& Options);
  // The chip-sized source image from a file loaded at any size.
  void FitLoadedFile(const THexFile& Loaded);
  // The verification the user chose, with its statuses; true when it passed.
  bool VerifyChosen(uint16_t Count);
  // Runs Body as a workflow: the outcome cleared, the wait cursor up, and a
  // stop at a safe point ending it quietly.
  template <typename TBody>
  void RunWorkflow(TBody Body);
  void ProgramErasedChip(uint16_t Count);
  // The end of a programming run that succeeded.
  void Complete();
  // The count that covers the whole chip: its images' size.
  uint16_t WholeChipCount() const;
  // Count and read the whole chip into the chip image, with the statuses of
  // a read; true when it was read.
  bool ReadWholeChip(uint16_t Count);

  // Thrown by StopPoint, caught where the workflows begin.
  struct TStopped {};

  // Set when the port failed during the known-chip check: the poll then goes
  // on (timer running, chip code 0) although the exception is passed on.
  bool FPollGoesOn = false;
  TPortListSource FPortListSource;
  TOutcome FOutcome;
  TChipProgress FProgress;
  std::optional<TDifference> FDifference;
  TBlankCheck FBlank;
  TStatus FStatus = TStatus::stNone;
  bool FBannerSeen = false;
  std::string FStuckPort;
  std::vector<TRefusedPort> FRefusedPorts;
  // The running workflow's options, and the code-memory choice they set.
  TWorkflowOptions FOptions;
  uint16_t FMemorySize = 2048;
};

}  // namespace korvane
