// The face of the main window: what the window's rules (TFrmMain) ask of the
// toolkit that draws it. The Qt window on Linux and the Win32 window on
// Windows each implement it with their own controls; the rule tests implement
// it with a recorder. It decides nothing: every "when" and "what" lives in
// TFrmMain, every "how it looks" here.
#pragma once

#include <cstdint>
#include <string>

#include "ULinkRecords.h"

namespace korvane {

// The controls whose enabled state the rules set.
enum class TMainControl : uint8_t {
  btnSend,
  BtnRead,
  chkFastVerify,
};

class TMainView {
 public:
  virtual ~TMainView() = default;

  // --- The chip and its code-memory choice ----------------------------------
  // The large chip label: the chip's name, or empty (no chip) shown in red;
  // ToolTip says where the chip was found (empty for none).
  virtual void SetChipLabel(const std::string& Name, const std::string& ToolTip) = 0;
  // Shows or hides the "Code Memory" radio group; the chip label sits under
  // the group's caption while it is shown, in the middle of the room otherwise.
  virtual void ShowMemSizeChoice(bool Visible) = 0;
  // The radio group's selected item: 0 for "2KB", 1 for "4KB".
  virtual int MemSizeItemIndex() const = 0;

  // --- Options and controls -------------------------------------------------
  virtual bool LockTicked() const = 0;
  virtual bool FastVerifyTicked() const = 0;
  virtual void EnableControl(TMainControl Control, bool Enabled) = 0;
  // While an operation runs: the controls that start one or that it reads are
  // shown unavailable, and the user's input aimed at the window is dropped,
  // not queued (boxes the operation opens keep theirs). ReleaseInput brings
  // the controls back exactly as they were.
  virtual void HoldInput() = 0;
  virtual void ReleaseInput() = 0;

  // --- Status line, port note and progress bar -------------------------------
  virtual void SetStatusLine(const std::string& Text) = 0;
  // A line of the window's own, seen without hovering, that says why ports
  // could not be opened and how to fix it; empty hides it.
  virtual void SetPortNote(const std::string& Text) = 0;
  virtual void SetProgressRange(int Min, int Max) = 0;
  virtual void SetProgressPosition(int Position) = 0;
  // Paints what changed and serves the window system (paint, timer ticks,
  // close requests; input too while it is held, to be dropped) while an
  // operation holds the thread.
  virtual void ProcessPendingEvents() = 0;

  // --- Dialogs and boxes ----------------------------------------------------
  // The file to program (filter "Intel Hex File|*.hex;*.ihx", default
  // extension "Hex"), starting in StartFolder when it is not empty; empty when
  // the user cancels.
  virtual std::string AskOpenFileName(const std::string& StartFolder) = 0;
  // The file to save the chip into (filter "Intel Hex File|*.hex", default
  // extension "Hex", asks before overwriting); empty when the user cancels.
  virtual std::string AskSaveFileName(const std::string& StartFolder) = 0;
  // The error box: error icon, OK, titled with the application's title.
  virtual void ShowError(const std::string& Text) = 0;
  // A plain box with OK that waits for the user; Text is the board's raw
  // bytes, one character each.
  virtual void ShowMessage(const std::string& Text) = 0;

  // --- Cursor and poll timer ------------------------------------------------
  // The application-wide hourglass, nested: each Show is undone by one Restore.
  virtual void ShowWaitCursor() = 0;
  virtual void RestoreCursor() = 0;
  // The 1000 ms poll timer.
  virtual void StartPollTimer() = 0;
  virtual void StopPollTimer() = 0;

  // --- The pace of a write stream --------------------------------------------
  // A write stream's first bytes were timed; a face that can tell the user
  // of a slow adapter does (the page, which cannot lower its timer).
  virtual void WriteTimingMeasured(const TWriteTiming& /*Timing*/) {}
};

}  // namespace korvane
