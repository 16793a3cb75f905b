// The Win32 window's control IDs: stable numbers by which the window's own
// code, UI-automation tools and the window tests (tests/win32) reach each
// control (GetDlgItem, WM_GETTEXT, BM_CLICK). Every control carries what it
// shows as its window text.
#pragma once

namespace korvane::win32ui {

// The main window's class name (its caption is MainWindowCaption).
inline constexpr wchar_t MainWindowClass[] = L"KorvaneMainWindow";

enum TControlId : int {
  idGroupTargetChip = 1001,  // group box "Target Chip"
  idChipLabel = 1002,        // the chip's name, empty while none is found
  idMemSizeGroup = 1003,     // group box "Code Memory" (89C2051/4051 only)
  idMemSize2KB = 1004,       // radio button "2KB"
  idMemSize4KB = 1005,       // radio button "4KB"
  idStatusPanel = 1006,      // the status line
  idGroupOption = 1007,      // group box "Option"
  idLock = 1008,             // check box "&Lock"
  idFastVerify = 1009,       // check box "&Fast Verify"
  idSend = 1010,             // button "&Send" (the default button)
  idRead = 1011,             // button "&Read"
  idProgress = 1012,         // progress bar (PBM_GETPOS, PBM_GETRANGE)
  idPortNote = 1013,         // why ports could not be opened; hidden when empty
};

}  // namespace korvane::win32ui
