// korvane-uidriver.exe: drives the real korvane.exe from outside, only through
// window messages, as UI-automation tools do. It finds the main window by its
// caption, reads controls with WM_GETTEXT, presses buttons with BM_CLICK, and
// answers the file dialogs and message boxes the window opens.
//
// Its arguments are a script of steps, run in order; the first step that
// fails prints "error: ..." on stderr and ends it with 1. Times are seconds.
//   window T             wait until the main window is shown
//   text ID              print "ID=<the control's text>"
//   wait ID TEXT T       wait until the control's text is TEXT
//   state ID             print "ID:enabled=0|1 visible=0|1"
//   place ID             print "ID@left,top,width,height", the control's
//                        place in the main window's client area; ID 0 is
//                        the client area itself
//   measure ID           print "ID:text=T textwidth=W width=C": the
//                        control's text, its width in the system's message
//                        font (the window's font; a font handle of another
//                        process cannot be used here) and the control's
//                        client width
//   enabled ID T         wait until the control is enabled
//   press ID             the user's click in the middle of the control
//                        (SendInput, the window brought to the foreground)
//   key VK               the user's key (a virtual-key code) pressed and
//                        released (SendInput, to the window in the foreground)
//   click ID             press the button (posted: the window runs its
//                        workflow in the click)
//   file PATH T          wait for the window's file dialog, type PATH into its
//                        file name box and press OK
//   cancel T             wait for the window's file dialog and press Cancel
//   folder T             wait for the window's file dialog and print
//                        "folder=<the folder it shows>" (its cmb2 box)
//   box T                wait for a message box of the window, print
//                        "box=<caption>|<text>|icon=0|1" and press OK
//   nobox T              fail if a message box of the window shows within T
//   nodialog T           fail if any dialog of the window shows within T
//   close                ask the window to close (WM_CLOSE)
//   alive                fail unless the main window still exists
//   gone T               wait until the main window no longer exists
//   sleep MS
//   dump                 print the dialogs of the process and their controls
//                        (for writing steps)
#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "UWinControls.h"

namespace {

using namespace korvane::win32ui;
using Clock = std::chrono::steady_clock;

struct TFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::wstring Widen(const std::string& Text) {
  const int Length = MultiByteToWideChar(CP_UTF8, 0, Text.c_str(), -1, nullptr, 0);
  std::wstring Wide(static_cast<size_t>(Length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.c_str(), -1, Wide.data(), Length);
  Wide.resize(static_cast<size_t>(Length > 0 ? Length - 1 : 0));
  return Wide;
}

std::string Narrow(const std::wstring& Text) {
  const int Length =
      WideCharToMultiByte(CP_UTF8, 0, Text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string Bytes(static_cast<size_t>(Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.c_str(), -1, Bytes.data(), Length, nullptr, nullptr);
  Bytes.resize(static_cast<size_t>(Length > 0 ? Length - 1 : 0));
  return Bytes;
}

// Polls Found every 50 ms for Seconds; false when it never said yes.
bool WaitFor(double Seconds, const std::function<bool()>& Found) {
  const auto Deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(Seconds * 1000));
  while (true) {
    if (Found()) {
      return true;
    }
    if (Clock::now() > Deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// The caption the window must carry.
constexpr wchar_t ExpectedCaption[] = L"Korvane V4.1";

HWND MainWindow() {
  return FindWindowW(MainWindowClass, ExpectedCaption);
}

HWND RequireMainWindow() {
  HWND Window = MainWindow();
  if (Window == nullptr) {
    throw TFailure("the window \"Korvane V4.1\" is not there");
  }
  return Window;
}

HWND Control(int Id) {
  HWND Item = GetDlgItem(RequireMainWindow(), Id);
  if (Item == nullptr) {
    throw TFailure("no control with ID " + std::to_string(Id));
  }
  return Item;
}

// WM_GETTEXT, as a screen reader asks it; the window answers between the
// steps of an operation, so a few seconds are enough.
std::wstring WindowText(HWND Window) {
  DWORD_PTR Length = 0;
  if (!SendMessageTimeoutW(Window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &Length)) {
    throw TFailure("the window did not answer WM_GETTEXTLENGTH");
  }
  std::wstring Text(Length + 1, L'\0');
  DWORD_PTR Copied = 0;
  if (!SendMessageTimeoutW(Window, WM_GETTEXT, Text.size(), reinterpret_cast<LPARAM>(Text.data()),
                           SMTO_ABORTIFHUNG, 10000, &Copied)) {
    throw TFailure("the window did not answer WM_GETTEXT");
  }
  Text.resize(Copied);
  return Text;
}

std::wstring ClassOf(HWND Window) {
  wchar_t Name[64] = {};
  GetClassNameW(Window, Name, 64);
  return Name;
}

// The dialog boxes (#32770) the main window owns that Accept takes.
HWND OwnedDialog(const std::function<bool(HWND)>& Accept) {
  struct TSearch {
    HWND Owner;
    const std::function<bool(HWND)>* Accept;
    HWND Found;
  } Search = {MainWindow(), &Accept, nullptr};
  if (Search.Owner == nullptr) {
    return nullptr;
  }
  EnumWindows(
      [](HWND Window, LPARAM Param) -> BOOL {
        auto* S = reinterpret_cast<TSearch*>(Param);
        if (ClassOf(Window) == L"#32770" && GetWindow(Window, GW_OWNER) == S->Owner &&
            IsWindowVisible(Window) && (*S->Accept)(Window)) {
          S->Found = Window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

// The file name box of a file dialog: the edit inside the name combo box
// (cmb13), or the older dialogs' edit (edt1).
HWND FileNameEdit(HWND Dialog) {
  if (HWND Combo = GetDlgItem(Dialog, cmb13)) {
    if (ClassOf(Combo) == L"Edit") {
      return Combo;
    }
    HWND Edit = nullptr;
    EnumChildWindows(
        Combo,
        [](HWND Child, LPARAM Param) -> BOOL {
          if (ClassOf(Child) != L"Edit") {
            return TRUE;
          }
          *reinterpret_cast<HWND*>(Param) = Child;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&Edit));
    if (Edit != nullptr) {
      return Edit;
    }
  }
  return GetDlgItem(Dialog, edt1);
}

// Whether the box shows an icon: a visible static control holding one.
bool HasIcon(HWND Box) {
  bool Found = false;
  EnumChildWindows(
      Box,
      [](HWND Child, LPARAM Param) -> BOOL {
        const LONG_PTR Style = GetWindowLongPtrW(Child, GWL_STYLE);
        if (ClassOf(Child) == L"Static" && (Style & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(Child) && SendMessageW(Child, STM_GETICON, 0, 0) != 0) {
          *reinterpret_cast<bool*>(Param) = true;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Found));
  return Found;
}

bool IsMessageBox(HWND Dialog) {
  return GetDlgItem(Dialog, 0xFFFF) != nullptr && FileNameEdit(Dialog) == nullptr;
}

HWND WaitForFileDialog(double Seconds) {
  HWND Dialog = nullptr;
  if (!WaitFor(Seconds, [&] {
        Dialog = OwnedDialog([](HWND Window) { return FileNameEdit(Window) != nullptr; });
        return Dialog != nullptr;
      })) {
    throw TFailure("no file dialog came up");
  }
  return Dialog;
}

// Presses a button of a dialog and waits until the dialog has gone, so that
// the next step cannot find it again.
void Press(HWND Dialog, int Id) {
  PostMessageW(Dialog, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(Dialog, Id)));
  if (!WaitFor(10, [&] { return !IsWindow(Dialog); })) {
    throw TFailure("the dialog \"" + Narrow(WindowText(Dialog)) + "\" stays after its button " +
                   std::to_string(Id));
  }
}

class TScript {
 public:
  explicit TScript(std::vector<std::string> Words) : FWords(std::move(Words)) {}

  void Run() {
    while (FNext < FWords.size()) {
      Step(Word());
    }
  }

 private:
  std::string Word() {
    if (FNext >= FWords.size()) {
      throw TFailure("the script ends in the middle of a step");
    }
    return FWords[FNext++];
  }
  int Id() { return std::stoi(Word()); }
  double Seconds() { return std::stod(Word()); }

  void Step(const std::string& Name) {
    if (Name == "window") {
      // Shown only once its controls are all there.
      if (!WaitFor(Seconds(), [] {
            HWND Window = MainWindow();
            return Window != nullptr && IsWindowVisible(Window);
          })) {
        throw TFailure("the window \"Korvane V4.1\" did not come up");
      }
    } else if (Name == "text") {
      const int Item = Id();
      std::printf("%d=%s\n", Item, Narrow(WindowText(Control(Item))).c_str());
    } else if (Name == "wait") {
      const int Item = Id();
      const std::wstring Expected = Widen(Word());
      std::wstring Last;
      if (!WaitFor(Seconds(), [&] { return (Last = WindowText(Control(Item))) == Expected; })) {
        throw TFailure("control " + std::to_string(Item) + " shows \"" + Narrow(Last) +
                       "\", not \"" + Narrow(Expected) + "\"");
      }
    } else if (Name == "state") {
      const int Item = Id();
      HWND Window = Control(Item);
      std::printf("%d:enabled=%d visible=%d\n", Item, IsWindowEnabled(Window) ? 1 : 0,
                  IsWindowVisible(Window) ? 1 : 0);
    } else if (Name == "place") {
      const int Item = Id();
      HWND Main = RequireMainWindow();
      RECT Place = {};
      if (Item == 0) {
        GetClientRect(Main, &Place);
      } else {
        GetWindowRect(Control(Item), &Place);
        MapWindowPoints(nullptr, Main, reinterpret_cast<POINT*>(&Place), 2);
      }
      std::printf("%d@%ld,%ld,%ld,%ld\n", Item, Place.left, Place.top, Place.right - Place.left,
                  Place.bottom - Place.top);
    } else if (Name == "measure") {
      const int Item = Id();
      HWND Window = Control(Item);
      const std::wstring Text = WindowText(Window);
      NONCLIENTMETRICSW Metrics = {};
      Metrics.cbSize = sizeof Metrics;
      SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof Metrics, &Metrics, 0);
      HFONT Font = CreateFontIndirectW(&Metrics.lfMessageFont);
      HDC Context = GetDC(Window);
      HGDIOBJ Old = SelectObject(Context, Font);
      SIZE Size = {};
      GetTextExtentPoint32W(Context, Text.c_str(), static_cast<int>(Text.size()), &Size);
      SelectObject(Context, Old);
      ReleaseDC(Window, Context);
      DeleteObject(Font);
      RECT Client = {};
      GetClientRect(Window, &Client);
      std::printf("%d:text=%s textwidth=%ld width=%ld\n", Item, Narrow(Text).c_str(), Size.cx,
                  Client.right - Client.left);
    } else if (Name == "enabled") {
      const int Item = Id();
      if (!WaitFor(Seconds(), [&] { return IsWindowEnabled(Control(Item)) != FALSE; })) {
        throw TFailure("control " + std::to_string(Item) + " stays disabled");
      }
    } else if (Name == "press") {
      // Through the system's input queue, as the mouse's own clicks come.
      HWND Target = Control(Id());
      RECT Bounds = {};
      GetWindowRect(Target, &Bounds);
      SetForegroundWindow(RequireMainWindow());
      SetCursorPos((Bounds.left + Bounds.right) / 2, (Bounds.top + Bounds.bottom) / 2);
      INPUT Clicks[2] = {};
      Clicks[0].type = Clicks[1].type = INPUT_MOUSE;
      Clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
      Clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
      SendInput(2, Clicks, sizeof(INPUT));
    } else if (Name == "key") {
      // Through the system's input queue, to the window in the foreground.
      const WORD Key = static_cast<WORD>(std::stoi(Word()));
      SetForegroundWindow(RequireMainWindow());
      INPUT Strokes[2] = {};
      Strokes[0].type = Strokes[1].type = INPUT_KEYBOARD;
      Strokes[0].ki.wVk = Strokes[1].ki.wVk = Key;
      Strokes[1].ki.dwFlags = KEYEVENTF_KEYUP;
      SendInput(2, Strokes, sizeof(INPUT));
    } else if (Name == "click") {
      PostMessageW(Control(Id()), BM_CLICK, 0, 0);
    } else if (Name == "file") {
      const std::wstring Path = Widen(Word());
      HWND Dialog = WaitForFileDialog(Seconds());
      HWND Edit = FileNameEdit(Dialog);
      SendMessageW(Edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Path.c_str()));
      Press(Dialog, IDOK);
    } else if (Name == "folder") {
      HWND Dialog = WaitForFileDialog(Seconds());
      std::printf("folder=%s\n", Narrow(WindowText(GetDlgItem(Dialog, cmb2))).c_str());
    } else if (Name == "cancel") {
      Press(WaitForFileDialog(Seconds()), IDCANCEL);
    } else if (Name == "box") {
      HWND Box = nullptr;
      if (!WaitFor(Seconds(), [&] { return (Box = OwnedDialog(IsMessageBox)) != nullptr; })) {
        throw TFailure("no message box came up");
      }
      const bool Icon = HasIcon(Box);
      std::printf("box=%s|%s|icon=%d\n", Narrow(WindowText(Box)).c_str(),
                  Narrow(WindowText(GetDlgItem(Box, 0xFFFF))).c_str(), Icon ? 1 : 0);
      Press(Box, IDOK);
    } else if (Name == "nobox") {
      HWND Box = nullptr;
      if (WaitFor(Seconds(), [&] { return (Box = OwnedDialog(IsMessageBox)) != nullptr; })) {
        throw TFailure("a message box came up: " + Narrow(WindowText(GetDlgItem(Box, 0xFFFF))));
      }
    } else if (Name == "nodialog") {
      HWND Dialog = nullptr;
      if (WaitFor(Seconds(),
                  [&] { return (Dialog = OwnedDialog([](HWND) { return true; })) != nullptr; })) {
        throw TFailure("a dialog came up: \"" + Narrow(WindowText(Dialog)) + "\"");
      }
    } else if (Name == "close") {
      PostMessageW(RequireMainWindow(), WM_CLOSE, 0, 0);
    } else if (Name == "alive") {
      RequireMainWindow();
    } else if (Name == "gone") {
      if (!WaitFor(Seconds(), [] { return MainWindow() == nullptr; })) {
        throw TFailure("the window is still there");
      }
    } else if (Name == "dump") {
      Dump();
    } else if (Name == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(Word())));
    } else {
      throw TFailure("unknown step \"" + Name + "\"");
    }
    std::fflush(stdout);
  }

  static void Dump() {
    EnumWindows(
        [](HWND Window, LPARAM) -> BOOL {
          if (ClassOf(Window) != L"#32770") {
            return TRUE;
          }
          std::printf("dialog %p owner %p main %p \"%s\"\n", static_cast<void*>(Window),
                      static_cast<void*>(GetWindow(Window, GW_OWNER)),
                      static_cast<void*>(MainWindow()), Narrow(WindowText(Window)).c_str());
          EnumChildWindows(
              Window,
              [](HWND Child, LPARAM) -> BOOL {
                std::printf("  id %d %s \"%s\"\n", GetDlgCtrlID(Child),
                            Narrow(ClassOf(Child)).c_str(), Narrow(WindowText(Child)).c_str());
                return TRUE;
              },
              0);
          return TRUE;
        },
        0);
  }

  std::vector<std::string> FWords;
  size_t FNext = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  // One "\n" a line, as the checks on the other side split them.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> Words(argv + 1, argv + argc);
  try {
    TScript(std::move(Words)).Run();
  } catch (const std::exception& E) {
    std::fflush(stdout);
    std::fprintf(stderr, "error: %s\n", E.what());
    return 1;
  }
  return 0;
}
