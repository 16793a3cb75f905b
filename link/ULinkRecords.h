// What the link's operations and the workflows record and report: the step
// that ended an operation, what a programming run did to the chip, the
// figures of a verification and a blank check, the pace of a write stream,
// and the options a user chose for a workflow. Plain data, for every front.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "UChipTable.h"

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
  uint16_t MemorySize = ChosenMemorySizeDefault;
};

}  // namespace korvane
