// The main window's face on Windows, in plain Win32: the window, its
// controls, timer, dialogs, boxes and cursor, implementing TMainView for the
// window's rules (TFrmMain). It decides nothing: clicks, ticks and close
// requests go to the handlers the rules give it (TWinMainEvents).
//
// The controls are children of the window (the group boxes are drawn behind
// them), each with its text as its window text and a stable ID
// (UWinControls.h). The layout is the window's design at 96 dpi with a 13-px
// line, grown with the system's message font at the window's DPI, and laid
// out again when the window moves to a monitor of another DPI.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <functional>
#include <string>

#include "UMainView.h"

namespace korvane::win32ui {

// What the window hands to the rules.
struct TWinMainEvents {
  std::function<void()> SendClick;
  std::function<void()> ReadClick;
  std::function<void()> MemSizeClick;
  std::function<void()> PollTick;
  // Whether the window may close now; a refusal keeps it open.
  std::function<bool()> CloseQuery;
};

class TWinMainView final : public TMainView {
 public:
  // Creates the window (hidden) and its controls.
  explicit TWinMainView(HINSTANCE Instance);
  ~TWinMainView() override;
  TWinMainView(const TWinMainView&) = delete;
  TWinMainView& operator=(const TWinMainView&) = delete;

  void SetEvents(TWinMainEvents Events) { FEvents = std::move(Events); }
  HWND Handle() const { return FWindow; }
  void Show(int CmdShow);
  // Runs the message loop until the window is closed; the program's exit code.
  int Run();

  // --- TMainView ------------------------------------------------------------
  void SetChipLabel(const std::string& Name, const std::string& ToolTip) override;
  void ShowMemSizeChoice(bool Visible) override;
  int MemSizeItemIndex() const override;
  bool LockTicked() const override;
  bool FastVerifyTicked() const override;
  void EnableControl(TMainControl Control, bool Enabled) override;
  void HoldInput() override;
  void ReleaseInput() override;
  void SetStatusLine(const std::string& Text) override;
  void SetPortNote(const std::string& Text) override;
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Position) override;
  void ProcessPendingEvents() override;
  std::string AskOpenFileName(const std::string& StartFolder) override;
  std::string AskSaveFileName(const std::string& StartFolder) override;
  void ShowError(const std::string& Text) override;
  void ShowMessage(const std::string& Text) override;
  void ShowWaitCursor() override;
  void RestoreCursor() override;
  void StartPollTimer() override;
  void StopPollTimer() override;

 private:
  // The controls whose enabled state the window holds during an operation.
  enum THeld { heldLock, heldFastVerify, heldSend, heldRead, held2KB, held4KB, heldCount };

  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  void CreateControls();
  HWND AddControl(const wchar_t* Class, const wchar_t* Text, DWORD Style, int Id);
  // Fonts, pictures and places for the window's DPI.
  void ScaleToDpi();
  void Arrange();
  void PlaceChipLabel();
  void RepaintAll();
  void DrawStatusPanel(const DRAWITEMSTRUCT& Item) const;
  // A control's enabled state as the rules want it, less the hold.
  void ApplyEnabled(THeld Which);
  bool IsInputForWindow(const MSG& Message) const;
  void SetCursorShape();
  // The file name the user chose, as the file layer opens it; empty when
  // cancelled or when the name cannot be passed on (an error box says so).
  std::string AskFileName(bool Save, const std::string& StartFolder);

  HINSTANCE FInstance;
  HWND FWindow = nullptr;
  HWND FGroupTargetChip = nullptr;
  HWND FChipLabel = nullptr;
  HWND FMemSizeGroup = nullptr;
  HWND FMemSize2KB = nullptr;
  HWND FMemSize4KB = nullptr;
  HWND FStatusPanel = nullptr;
  HWND FGroupOption = nullptr;
  HWND FLock = nullptr;
  HWND FFastVerify = nullptr;
  HWND FSend = nullptr;
  HWND FRead = nullptr;
  HWND FProgress = nullptr;
  HWND FPortNote = nullptr;
  HWND FToolTip = nullptr;
  std::array<HWND, heldCount> FHeldControls = {};
  std::array<bool, heldCount> FWantedEnabled = {};

  TWinMainEvents FEvents;
  UINT FDpi = 96;
  double FScale = 1.0;
  int FLineHeight = 13;
  HFONT FFont = nullptr;
  HFONT FChipFont = nullptr;
  HIMAGELIST FSendPicture = nullptr;
  HIMAGELIST FReadPicture = nullptr;

  int FChipLabelTopUnder = 0;
  int FChipLabelTopMiddle = 0;
  bool FChipShown = false;
  bool FMemSizeShown = false;
  std::wstring FPortNoteText;
  bool FInputHeld = false;
  HWND FFocusBeforeHold = nullptr;
  int FWaitCursorDepth = 0;
  bool FArrowOverWait = false;
  bool FQuitReceived = false;
  int FExitCode = 0;
};

}  // namespace korvane::win32ui
