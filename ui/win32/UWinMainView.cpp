#include "UWinMainView.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cmath>

#include "UChipTable.h"
#include "UMainDesign.h"
#include "UWinControls.h"
#include "UWinPictures.h"
#include "UWinText.h"

namespace korvane::win32ui {

namespace {

constexpr UINT_PTR PollTimerId = 1;
// The widest port name the status texts carry, for sizing.
constexpr char WidestPortName[] = "COM256";
constexpr COLORREF StatusColour = RGB(0, 0, 0xFF);
// The status panel's raised outer and lowered inner bevel (pixels), and the
// margin of its text inside them (design pixels).
constexpr int StatusBevel = 2;
constexpr int StatusMargin = 2;
// The room a check box keeps between its box and its text, and after the
// text (design pixels).
constexpr int CheckTextGap = 3;
constexpr int CheckTextEnd = 1;
constexpr COLORREF NoChipColour = RGB(0xFF, 0, 0);

// The calls of newer Windows versions, taken when the system has them.
struct TDpiCalls {
  UINT(WINAPI* GetDpiForWindow)(HWND) = nullptr;
  BOOL(WINAPI* SystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;
  BOOL(WINAPI* AdjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;

  TDpiCalls() {
    HMODULE User = GetModuleHandleW(L"user32.dll");
    Take(User, "GetDpiForWindow", GetDpiForWindow);
    Take(User, "SystemParametersInfoForDpi", SystemParametersInfoForDpi);
    Take(User, "AdjustWindowRectExForDpi", AdjustWindowRectExForDpi);
  }

 private:
  template <typename TCall>
  static void Take(HMODULE Module, const char* Name, TCall& Call) {
    Call = reinterpret_cast<TCall>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
  }
};

const TDpiCalls& DpiCalls() {
  static const TDpiCalls Calls;
  return Calls;
}

constexpr DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD WindowExStyle = WS_EX_CONTROLPARENT;

// A group box that fills its own background before it draws its frame.
LRESULT CALLBACK GroupBoxProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                              DWORD_PTR) {
  if (Message == WM_ERASEBKGND) {
    RECT Client;
    GetClientRect(Window, &Client);
    FillRect(reinterpret_cast<HDC>(WParam), &Client, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  if (Message == WM_NCDESTROY) {
    RemoveWindowSubclass(Window, GroupBoxProc, 0);
  }
  return DefSubclassProc(Window, Message, WParam, LParam);
}

bool IsUserInputMessage(UINT Message) {
  return (Message >= WM_KEYFIRST && Message <= WM_KEYLAST) ||
         (Message >= WM_MOUSEFIRST && Message <= WM_MOUSELAST) || Message == WM_TOUCH ||
         Message == WM_GESTURE || (Message >= 0x0245 && Message <= 0x0257);  // WM_POINTER...
}

SIZE TextSize(HDC Context, HFONT Font, const std::wstring& Text) {
  HGDIOBJ Old = SelectObject(Context, Font);
  SIZE Size = {};
  GetTextExtentPoint32W(Context, Text.c_str(), static_cast<int>(Text.size()), &Size);
  SelectObject(Context, Old);
  return Size;
}

}  // namespace

TWinMainView::TWinMainView(HINSTANCE Instance) : FInstance(Instance) {
  WNDCLASSEXW Class = {};
  Class.cbSize = sizeof Class;
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = MainWindowClass;
  Class.hIcon = static_cast<HICON>(LoadImageW(Instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXICON),
                                              GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  Class.hIconSm = static_cast<HICON>(LoadImageW(Instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  RegisterClassExW(&Class);

  FWindow = CreateWindowExW(WindowExStyle, MainWindowClass, Widen(MainWindowCaption).c_str(),
                            WindowStyle, 220, 108, 320, 160, nullptr, nullptr, Instance, this);
  if (FWindow == nullptr) {
    throw TWin32Error("CreateWindowEx", GetLastError());
  }
  CreateControls();
  ScaleToDpi();
}

TWinMainView::~TWinMainView() {
  if (FWindow != nullptr) {
    DestroyWindow(FWindow);
  }
  for (HGDIOBJ Font : {static_cast<HGDIOBJ>(FFont), static_cast<HGDIOBJ>(FChipFont)}) {
    if (Font != nullptr) {
      DeleteObject(Font);
    }
  }
  for (HIMAGELIST Pictures : {FSendPicture, FReadPicture}) {
    if (Pictures != nullptr) {
      ImageList_Destroy(Pictures);
    }
  }
}

HWND TWinMainView::AddControl(const wchar_t* Class, const wchar_t* Text, DWORD Style, int Id) {
  HWND Control = CreateWindowExW(
      0, Class, Text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | Style, 0, 0, 0, 0, FWindow,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), FInstance, nullptr);
  if (Control == nullptr) {
    throw TWin32Error("CreateWindowEx", GetLastError());
  }
  return Control;
}

void TWinMainView::CreateControls() {
  // Group boxes first: the controls drawn over them come later in the
  // z-order, and in this order the Tab key walks them.
  FGroupTargetChip = AddControl(WC_BUTTONW, L"Target Chip", BS_GROUPBOX, idGroupTargetChip);
  FChipLabel = AddControl(WC_STATICW, L"", SS_CENTER | SS_CENTERIMAGE | SS_NOTIFY, idChipLabel);
  FMemSizeGroup = AddControl(WC_BUTTONW, L"Code Memory", BS_GROUPBOX, idMemSizeGroup);
  FMemSize2KB = AddControl(WC_BUTTONW, Widen(MemSizeItemLabels().at(0)).c_str(),
                           BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, idMemSize2KB);
  FMemSize4KB = AddControl(WC_BUTTONW, Widen(MemSizeItemLabels().at(1)).c_str(), BS_AUTORADIOBUTTON,
                           idMemSize4KB);
  // WS_GROUP ends the radio buttons' group, which the arrow keys walk.
  FStatusPanel = AddControl(WC_STATICW, L"", SS_OWNERDRAW | WS_GROUP, idStatusPanel);
  FGroupOption = AddControl(WC_BUTTONW, L"Option", BS_GROUPBOX, idGroupOption);
  FLock = AddControl(WC_BUTTONW, L"&Lock", BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, idLock);
  FFastVerify = AddControl(WC_BUTTONW, L"&Fast Verify", BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP,
                           idFastVerify);
  FSend = AddControl(WC_BUTTONW, L"&Send", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, idSend);
  FRead = AddControl(WC_BUTTONW, L"&Read", BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP, idRead);
  FPortNote = AddControl(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, idPortNote);
  FProgress = AddControl(PROGRESS_CLASSW, L"", 0, idProgress);
  SendMessageW(FProgress, PBM_SETRANGE32, 0, 100);
  SendMessageW(FMemSize2KB, BM_SETCHECK, BST_CHECKED, 0);
  for (HWND Hidden : {FMemSizeGroup, FMemSize2KB, FMemSize4KB, FPortNote}) {
    ShowWindow(Hidden, SW_HIDE);
  }

  // The group boxes lie under the controls they frame, each painting its own
  // background: the window paints nothing under its children, and every
  // control is clipped by those above it, so nothing is painted twice or
  // wiped. "Code Memory" lies over "Target Chip".
  for (HWND Group : {FMemSizeGroup, FGroupTargetChip, FGroupOption}) {
    SetWindowPos(Group, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowSubclass(Group, GroupBoxProc, 0, 0);
  }

  FHeldControls = {FLock, FFastVerify, FSend, FRead, FMemSize2KB, FMemSize4KB};
  FWantedEnabled = {true, true, false, false, true, true};
  for (int Which = 0; Which < heldCount; ++Which) {
    ApplyEnabled(static_cast<THeld>(Which));
  }

  FToolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0,
                             0, 0, 0, FWindow, nullptr, FInstance, nullptr);
  TOOLINFOW Tool = {};
  Tool.cbSize = sizeof Tool;
  Tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  Tool.hwnd = FWindow;
  Tool.uId = reinterpret_cast<UINT_PTR>(FChipLabel);
  Tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(FToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&Tool));
}

void TWinMainView::ScaleToDpi() {
  const TDpiCalls& Calls = DpiCalls();
  if (Calls.GetDpiForWindow != nullptr) {
    FDpi = Calls.GetDpiForWindow(FWindow);
  } else {
    HDC Screen = GetDC(nullptr);
    FDpi = static_cast<UINT>(GetDeviceCaps(Screen, LOGPIXELSY));
    ReleaseDC(nullptr, Screen);
  }
  NONCLIENTMETRICSW Metrics = {};
  Metrics.cbSize = sizeof Metrics;
  if (Calls.SystemParametersInfoForDpi != nullptr) {
    Calls.SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof Metrics, &Metrics, 0, FDpi);
  } else {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof Metrics, &Metrics, 0);
  }
  // The old fonts go once the controls have the new ones.
  const HGDIOBJ OldFonts[] = {FFont, FChipFont};
  FFont = CreateFontIndirectW(&Metrics.lfMessageFont);

  HDC Context = GetDC(FWindow);
  HGDIOBJ Old = SelectObject(Context, FFont);
  TEXTMETRICW Text = {};
  GetTextMetricsW(Context, &Text);
  SelectObject(Context, Old);
  ReleaseDC(FWindow, Context);
  FLineHeight = Text.tmHeight;
  FScale = std::max(FDpi / 96.0, FLineHeight / DesignLineHeight);

  LOGFONTW Chip = Metrics.lfMessageFont;
  Chip.lfHeight = -static_cast<LONG>(std::lround(24 * FScale));
  Chip.lfWidth = 0;
  Chip.lfWeight = FW_BOLD;
  FChipFont = CreateFontIndirectW(&Chip);

  for (HWND Control : {FGroupTargetChip, FMemSizeGroup, FMemSize2KB, FMemSize4KB, FStatusPanel,
                       FGroupOption, FLock, FFastVerify, FSend, FRead, FPortNote, FToolTip}) {
    SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  }
  SendMessageW(FChipLabel, WM_SETFONT, reinterpret_cast<WPARAM>(FChipFont), FALSE);
  for (HGDIOBJ Font : OldFonts) {
    if (Font != nullptr) {
      DeleteObject(Font);
    }
  }

  // The pictures, drawn afresh at this scale.
  const auto Picture = [this](HWND Button, TPicture Kind, HIMAGELIST& List) {
    if (List != nullptr) {
      ImageList_Destroy(List);
    }
    const SIZE Size = PictureSize(Kind, FScale);
    // One picture for each of the button's states: normal, hot, pressed,
    // disabled (greyed), default, stylus-hot.
    List = ImageList_Create(Size.cx, Size.cy, ILC_COLOR32, 6, 0);
    HBITMAP Normal = DrawPicture(Kind, FScale, false);
    HBITMAP Greyed = DrawPicture(Kind, FScale, true);
    for (HBITMAP State : {Normal, Normal, Normal, Greyed, Normal, Normal}) {
      ImageList_Add(List, State, nullptr);
    }
    DeleteObject(Normal);
    DeleteObject(Greyed);
    BUTTON_IMAGELIST Image = {};
    Image.himl = List;
    Image.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
    const int Margin = static_cast<int>(std::lround(2 * FScale));
    Image.margin = {Margin, 0, 0, 0};
    SendMessageW(Button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&Image));
  };
  Picture(FSend, TPicture::LightningBolt, FSendPicture);
  Picture(FRead, TPicture::FloppyPencil, FReadPicture);
  Arrange();
}

void TWinMainView::Arrange() {
  const auto Px = [this](double Design) { return static_cast<int>(std::lround(Design * FScale)); };
  HDC Context = GetDC(FWindow);
  const auto Width = [&](HFONT Font, const std::wstring& Text) {
    return static_cast<int>(TextSize(Context, Font, Text).cx);
  };

  // Group 1: the chip's name, the code-memory choice, the status line; wide
  // enough for every chip name and every status text.
  int ChipWidth = 0;
  for (const TChipKind& Kind : ChipKinds()) {
    ChipWidth = std::max(ChipWidth, Width(FChipFont, Widen(std::string(Kind.Name))));
  }
  // Every status text fits the panel's room inside its bevel and margins,
  // the close refusal's too.
  int StatusWidth = 0;
  for (const std::string& Text : StatusTextsToFit(WidestPortName)) {
    StatusWidth = std::max(StatusWidth, Width(FFont, Widen(Text)));
  }
  const int Check = GetSystemMetrics(SM_CXMENUCHECK) * static_cast<int>(FDpi) / 96;
  const int Group1 = std::max(
      {Px(217), ChipWidth + Px(8), StatusWidth + Px(4) + 2 * StatusBevel + 2 * Px(StatusMargin)});
  const int PanelHeight = std::max(Px(20), FLineHeight + Px(6));
  const int RadioLine = std::max(FLineHeight, Check) + Px(2);
  const int MemSizeHeight = std::max(Px(35), FLineHeight + RadioLine + Px(6));
  HGDIOBJ Old = SelectObject(Context, FChipFont);
  TEXTMETRICW ChipMetrics = {};
  GetTextMetricsW(Context, &ChipMetrics);
  SelectObject(Context, Old);
  // The name's glyphs, without the leading above them that no digit uses.
  const int LabelHeight =
      std::max(Px(26), static_cast<int>(ChipMetrics.tmHeight - ChipMetrics.tmInternalLeading));
  const int LabelTopUnder = std::max(Px(15), FLineHeight + Px(2));
  // The label ends where the code-memory choice begins.
  const int Group1Height = LabelTopUnder + LabelHeight + MemSizeHeight + PanelHeight + Px(2);

  // Group 2: the options and the two buttons, each check box as wide as
  // the design's or as its box, gap and text need.
  const int CheckHeight = std::max(Px(17), FLineHeight + Px(4));
  const auto CheckBoxWidth = [&](int Design, const wchar_t* Text) {
    return std::max(Px(Design), Check + Px(CheckTextGap) + Width(FFont, Text) + Px(CheckTextEnd));
  };
  const int LockWidth = CheckBoxWidth(53, L"Lock");
  const int FastVerifyWidth = CheckBoxWidth(78, L"Fast Verify");
  const SIZE Bolt = PictureSize(TPicture::LightningBolt, FScale);
  const SIZE Floppy = PictureSize(TPicture::FloppyPencil, FScale);
  const int ButtonWidth = std::max(Bolt.cx, Floppy.cx) +
                          std::max(Width(FFont, L"Send"), Width(FFont, L"Read")) + Px(20);
  const int Group2 = std::max({Px(85), Px(3) + FastVerifyWidth + Px(4), ButtonWidth + Px(8)});
  const int SendHeight = std::max<int>(Px(25), std::max<int>(FLineHeight, Bolt.cy) + Px(8));
  const int ReadHeight = std::max<int>(Px(23), std::max<int>(FLineHeight, Floppy.cy) + Px(6));
  const int LockTop = std::max(Px(13), FLineHeight);
  // Fast Verify overlaps Lock by 2 px, Send follows it after 1 px, Read Send.
  const int Group2Height =
      LockTop + 2 * CheckHeight - Px(2) + Px(1) + SendHeight + Px(1) + ReadHeight + Px(3);

  const int GroupHeight = std::max({Px(98), Group1Height, Group2Height});
  const int ClientWidth = Group1 + Group2;
  int NoteHeight = 0;
  if (!FPortNoteText.empty()) {
    RECT Room = {0, 0, ClientWidth - 2 * Px(4), 0};
    HGDIOBJ Previous = SelectObject(Context, FFont);
    DrawTextW(Context, FPortNoteText.c_str(), -1, &Room, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(Context, Previous);
    NoteHeight = Room.bottom + Px(4);
  }
  ReleaseDC(FWindow, Context);
  const int ProgressHeight = Px(20);

  const auto Place = [](HWND Control, int X, int Y, int W, int H) {
    SetWindowPos(Control, nullptr, X, Y, W, H, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  Place(FGroupTargetChip, 0, 0, Group1, GroupHeight);
  const int PanelTop = GroupHeight - Px(2) - PanelHeight;
  Place(FStatusPanel, Px(2), PanelTop, Group1 - Px(4), PanelHeight);
  const int MemSizeTop = PanelTop - MemSizeHeight;
  Place(FMemSizeGroup, Px(2), MemSizeTop, Group1 - Px(4), MemSizeHeight);
  const int RadioTop = MemSizeTop + FLineHeight + (MemSizeHeight - FLineHeight - RadioLine) / 2;
  const int Column = (Group1 - Px(4) - 2 * Px(8)) / 2;
  Place(FMemSize2KB, Px(2) + Px(8), RadioTop, Column, RadioLine);
  Place(FMemSize4KB, Px(2) + Px(8) + Column, RadioTop, Column, RadioLine);
  // The label's two places: under the group's caption while the code-memory
  // choice is shown; otherwise the design's top 30, moved by half of what
  // the room above the status line grew more than the label did.
  Place(FChipLabel, Px(2), 0, Group1 - Px(4), LabelHeight);
  FChipLabelTopUnder = LabelTopUnder;
  FChipLabelTopMiddle = Px(30) + ((PanelTop - Px(76)) - (LabelHeight - Px(26))) / 2;
  PlaceChipLabel();

  Place(FGroupOption, Group1, 0, Group2, GroupHeight);
  Place(FLock, Group1 + Px(3), LockTop, LockWidth, CheckHeight);
  Place(FFastVerify, Group1 + Px(3), LockTop + CheckHeight - Px(2), FastVerifyWidth, CheckHeight);
  const int ReadTop = GroupHeight - Px(3) - ReadHeight;
  Place(FRead, Group1 + Px(4), ReadTop, Group2 - Px(8), ReadHeight);
  Place(FSend, Group1 + Px(4), ReadTop - Px(1) - SendHeight, Group2 - Px(8), SendHeight);

  Place(FPortNote, Px(4), GroupHeight + Px(2), ClientWidth - 2 * Px(4),
        std::max(0, NoteHeight - Px(4)));
  Place(FProgress, 0, GroupHeight + NoteHeight, ClientWidth, ProgressHeight);

  RECT Frame = {0, 0, ClientWidth, GroupHeight + NoteHeight + ProgressHeight};
  if (DpiCalls().AdjustWindowRectExForDpi != nullptr) {
    DpiCalls().AdjustWindowRectExForDpi(&Frame, WindowStyle, FALSE, WindowExStyle, FDpi);
  } else {
    AdjustWindowRectEx(&Frame, WindowStyle, FALSE, WindowExStyle);
  }
  SetWindowPos(FWindow, nullptr, 0, 0, Frame.right - Frame.left, Frame.bottom - Frame.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  RepaintAll();
}

void TWinMainView::RepaintAll() {
  // The group boxes are transparent and the window paints under its
  // children: both are painted again, or the boxes' lines go missing.
  RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TWinMainView::PlaceChipLabel() {
  const int Top = FMemSizeShown ? FChipLabelTopUnder : FChipLabelTopMiddle;
  RECT Bounds = {};
  GetWindowRect(FChipLabel, &Bounds);
  MapWindowPoints(nullptr, FWindow, reinterpret_cast<POINT*>(&Bounds), 2);
  SetWindowPos(FChipLabel, nullptr, Bounds.left, Top, 0, 0,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
  RepaintAll();
}

void TWinMainView::Show(int CmdShow) {
  ShowWindow(FWindow, CmdShow);
  UpdateWindow(FWindow);
}

int TWinMainView::Run() {
  MSG Message;
  while (!FQuitReceived) {
    const BOOL Got = GetMessageW(&Message, nullptr, 0, 0);
    if (Got == 0) {
      FExitCode = static_cast<int>(Message.wParam);
      break;
    }
    if (Got < 0) {
      return 1;
    }
    // Tab, the arrow keys, Enter for the default button, Alt and the marked
    // letters, as in a dialog.
    if (!IsDialogMessageW(FWindow, &Message)) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
  }
  return FExitCode;
}

LRESULT CALLBACK TWinMainView::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    auto* View = static_cast<TWinMainView*>(Create->lpCreateParams);
    View->FWindow = Window;
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(View));
  }
  auto* View = reinterpret_cast<TWinMainView*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (View == nullptr) {
    return DefWindowProcW(Window, Message, WParam, LParam);
  }
  return View->HandleMessage(Message, WParam, LParam);
}

LRESULT TWinMainView::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_COMMAND:
      if (HIWORD(WParam) == BN_CLICKED) {
        const auto Call = [](const std::function<void()>& Handler) {
          if (Handler) {
            Handler();
          }
        };
        switch (LOWORD(WParam)) {
          case idSend:
            Call(FEvents.SendClick);
            return 0;
          case idRead:
            Call(FEvents.ReadClick);
            return 0;
          case idMemSize2KB:
          case idMemSize4KB:
            Call(FEvents.MemSizeClick);
            return 0;
          default:
            break;
        }
      }
      break;
    case DM_GETDEFID:
      return MAKELRESULT(idSend, DC_HASDEFID);
    case WM_TIMER:
      if (WParam == PollTimerId && FEvents.PollTick) {
        FEvents.PollTick();
      }
      return 0;
    case WM_CTLCOLORSTATIC: {
      HDC Context = reinterpret_cast<HDC>(WParam);
      SetBkMode(Context, TRANSPARENT);
      if (reinterpret_cast<HWND>(LParam) == FChipLabel) {
        SetTextColor(Context, FChipShown ? GetSysColor(COLOR_WINDOWTEXT) : NoChipColour);
      } else {
        SetTextColor(Context, GetSysColor(COLOR_WINDOWTEXT));
      }
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DRAWITEM: {
      const auto* Item = reinterpret_cast<const DRAWITEMSTRUCT*>(LParam);
      if (Item->CtlID == idStatusPanel) {
        DrawStatusPanel(*Item);
        return TRUE;
      }
      break;
    }
    case WM_SETCURSOR:
      if (FWaitCursorDepth > 0 && !FArrowOverWait) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DPICHANGED: {
      const auto* Suggested = reinterpret_cast<const RECT*>(LParam);
      SetWindowPos(FWindow, nullptr, Suggested->left, Suggested->top, 0, 0,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
      ScaleToDpi();
      return 0;
    }
    case WM_SETTINGCHANGE:
      if (WParam == SPI_SETNONCLIENTMETRICS) {
        ScaleToDpi();
      }
      break;
    case WM_CLOSE:
      if (!FEvents.CloseQuery || FEvents.CloseQuery()) {
        DestroyWindow(FWindow);
      }
      return 0;
    case WM_DESTROY:
      KillTimer(FWindow, PollTimerId);
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
      FWindow = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(FWindow, Message, WParam, LParam);
}

void TWinMainView::DrawStatusPanel(const DRAWITEMSTRUCT& Item) const {
  RECT Room = Item.rcItem;
  FillRect(Item.hDC, &Room, GetSysColorBrush(COLOR_BTNFACE));
  // A raised outer and a lowered inner bevel.
  DrawEdge(Item.hDC, &Room, BDR_RAISEDOUTER | BDR_SUNKENINNER, BF_RECT | BF_ADJUST);
  const int Length = GetWindowTextLengthW(FStatusPanel);
  std::wstring Text(static_cast<size_t>(Length) + 1, L'\0');
  GetWindowTextW(FStatusPanel, Text.data(), Length + 1);
  Text.resize(static_cast<size_t>(Length));
  HGDIOBJ Old = SelectObject(Item.hDC, FFont);
  SetBkMode(Item.hDC, TRANSPARENT);
  SetTextColor(Item.hDC, StatusColour);
  InflateRect(&Room, -static_cast<int>(std::lround(StatusMargin * FScale)), 0);
  DrawTextW(Item.hDC, Text.c_str(), Length, &Room,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(Item.hDC, Old);
}

// --- The chip and its code-memory choice ------------------------------------

void TWinMainView::SetChipLabel(const std::string& Name, const std::string& ToolTip) {
  FChipShown = !Name.empty();
  SetWindowTextW(FChipLabel, Widen(Name).c_str());
  const std::wstring Tip = Widen(ToolTip);
  TOOLINFOW Tool = {};
  Tool.cbSize = sizeof Tool;
  Tool.hwnd = FWindow;
  Tool.uId = reinterpret_cast<UINT_PTR>(FChipLabel);
  Tool.lpszText = const_cast<wchar_t*>(Tip.c_str());
  SendMessageW(FToolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&Tool));
  InvalidateRect(FChipLabel, nullptr, TRUE);
}

void TWinMainView::ShowMemSizeChoice(bool Visible) {
  FMemSizeShown = Visible;
  for (HWND Control : {FMemSizeGroup, FMemSize2KB, FMemSize4KB}) {
    ShowWindow(Control, Visible ? SW_SHOWNA : SW_HIDE);
  }
  PlaceChipLabel();
}

int TWinMainView::MemSizeItemIndex() const {
  return SendMessageW(FMemSize4KB, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

// --- Options and controls ---------------------------------------------------

bool TWinMainView::LockTicked() const {
  return SendMessageW(FLock, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool TWinMainView::FastVerifyTicked() const {
  return SendMessageW(FFastVerify, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TWinMainView::EnableControl(TMainControl Control, bool Enabled) {
  THeld Which = heldSend;
  switch (Control) {
    case TMainControl::btnSend:
      Which = heldSend;
      break;
    case TMainControl::BtnRead:
      Which = heldRead;
      break;
    case TMainControl::chkFastVerify:
      Which = heldFastVerify;
      break;
  }
  FWantedEnabled[Which] = Enabled;
  ApplyEnabled(Which);
}

void TWinMainView::ApplyEnabled(THeld Which) {
  EnableWindow(FHeldControls[Which], FWantedEnabled[Which] && !FInputHeld ? TRUE : FALSE);
}

void TWinMainView::HoldInput() {
  if (FInputHeld) {
    return;
  }
  FFocusBeforeHold = GetFocus();
  FInputHeld = true;
  for (int Which = 0; Which < heldCount; ++Which) {
    ApplyEnabled(static_cast<THeld>(Which));
  }
}

void TWinMainView::ReleaseInput() {
  if (!FInputHeld) {
    return;
  }
  // Input that came during the operation and still waits in the queue is
  // dropped before the controls come back.
  ProcessPendingEvents();
  FInputHeld = false;
  for (int Which = 0; Which < heldCount; ++Which) {
    ApplyEnabled(static_cast<THeld>(Which));
  }
  if (FFocusBeforeHold != nullptr && IsWindow(FFocusBeforeHold) &&
      IsWindowEnabled(FFocusBeforeHold) && IsWindowVisible(FFocusBeforeHold)) {
    SetFocus(FFocusBeforeHold);
  }
  FFocusBeforeHold = nullptr;
}

bool TWinMainView::IsInputForWindow(const MSG& Message) const {
  if (!IsUserInputMessage(Message.message)) {
    return false;
  }
  // Alt+F4 is the close request, which the rules answer.
  if (Message.message == WM_SYSKEYDOWN && Message.wParam == VK_F4) {
    return false;
  }
  return Message.hwnd == FWindow || IsChild(FWindow, Message.hwnd);
}

// --- Status line, port note and progress bar ---------------------------------

void TWinMainView::SetStatusLine(const std::string& Text) {
  const std::wstring Wide = Widen(Text);
  const int Length = GetWindowTextLengthW(FStatusPanel);
  std::wstring Shown(static_cast<size_t>(Length) + 1, L'\0');
  GetWindowTextW(FStatusPanel, Shown.data(), Length + 1);
  Shown.resize(static_cast<size_t>(Length));
  if (Shown != Wide) {
    SetWindowTextW(FStatusPanel, Wide.c_str());
    InvalidateRect(FStatusPanel, nullptr, TRUE);
  }
}

void TWinMainView::SetPortNote(const std::string& Text) {
  const std::wstring Wide = Widen(Text);
  if (Wide == FPortNoteText) {
    return;
  }
  FPortNoteText = Wide;
  SetWindowTextW(FPortNote, Wide.c_str());
  ShowWindow(FPortNote, Wide.empty() ? SW_HIDE : SW_SHOWNA);
  Arrange();
}

void TWinMainView::SetProgressRange(int Min, int Max) {
  // An empty range would leave the bar without a scale.
  SendMessageW(FProgress, PBM_SETRANGE32, Min, std::max(Max, Min + 1));
}

void TWinMainView::SetProgressPosition(int Position) {
  SendMessageW(FProgress, PBM_SETPOS, static_cast<WPARAM>(Position), 0);
}

void TWinMainView::ProcessPendingEvents() {
  // While the input is held, everything is taken from the queue and the
  // user's input aimed at the window dropped; otherwise (a poll) the input
  // waits in the queue for the loop.
  const UINT Filter = FInputHeld ? 0 : (PM_QS_POSTMESSAGE | PM_QS_PAINT | PM_QS_SENDMESSAGE);
  // A close request during a poll waits for the poll's end as the user's
  // input does; during a workflow the rules answer it at once.
  bool CloseDeferred = false;
  MSG Message;
  while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE | Filter)) {
    if (Message.message == WM_QUIT) {
      FQuitReceived = true;
      FExitCode = static_cast<int>(Message.wParam);
      continue;
    }
    if (FInputHeld && IsInputForWindow(Message)) {
      continue;
    }
    if (!FInputHeld && Message.message == WM_CLOSE && Message.hwnd == FWindow) {
      CloseDeferred = true;
      continue;
    }
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  if (CloseDeferred) {
    PostMessageW(FWindow, WM_CLOSE, 0, 0);
  }
}

// --- Dialogs and boxes ------------------------------------------------------

std::string TWinMainView::AskFileName(bool Save, const std::string& StartFolder) {
  std::wstring Buffer(32768, L'\0');
  const std::wstring Folder = FromFileName(StartFolder);
  OPENFILENAMEW Dialog = {};
  Dialog.lStructSize = sizeof Dialog;
  Dialog.hwndOwner = FWindow;
  Dialog.lpstrFile = Buffer.data();
  Dialog.nMaxFile = static_cast<DWORD>(Buffer.size());
  Dialog.lpstrInitialDir = Folder.empty() ? nullptr : Folder.c_str();
  const TFileFilter& Filter = Save ? SaveFileFilter() : OpenFileFilter();
  // "Intel Hex File\0*.hex;*.ihx\0", ended by a second NUL.
  std::wstring FilterText = Widen(Filter.Name) + L'\0';
  for (size_t I = 0; I < Filter.Patterns.size(); ++I) {
    FilterText += (I > 0 ? L";" : L"") + Widen(Filter.Patterns[I]);
  }
  FilterText += L'\0';
  const std::wstring Extension = Widen(Filter.DefaultExtension);
  Dialog.lpstrFilter = FilterText.c_str();
  Dialog.lpstrDefExt = Extension.c_str();
  Dialog.Flags =
      OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (Save) {
    Dialog.Flags |= OFN_OVERWRITEPROMPT;
  } else {
    Dialog.Flags |= OFN_FILEMUSTEXIST;
  }
  // The dialog waits for the user: the ordinary arrow over it.
  FArrowOverWait = true;
  const BOOL Chosen = Save ? GetSaveFileNameW(&Dialog) : GetOpenFileNameW(&Dialog);
  FArrowOverWait = false;
  if (!Chosen) {
    return {};
  }
  std::string FileName;
  if (!ToFileName(Buffer.c_str(), FileName)) {
    ShowError("The file name \"" + Narrow(Buffer.c_str()) +
              "\" has characters that this system's code page cannot pass on; choose a name "
              "without them.");
    return {};
  }
  return FileName;
}

std::string TWinMainView::AskOpenFileName(const std::string& StartFolder) {
  return AskFileName(false, StartFolder);
}

std::string TWinMainView::AskSaveFileName(const std::string& StartFolder) {
  return AskFileName(true, StartFolder);
}

void TWinMainView::ShowError(const std::string& Text) {
  FArrowOverWait = true;
  MessageBoxW(FWindow, Widen(Text).c_str(), Widen(ApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
  FArrowOverWait = false;
}

void TWinMainView::ShowMessage(const std::string& Text) {
  FArrowOverWait = true;
  MessageBoxW(FWindow, WidenBytes(Text).c_str(), Widen(ApplicationTitle).c_str(), MB_OK);
  FArrowOverWait = false;
}

// --- Cursor and poll timer --------------------------------------------------

void TWinMainView::SetCursorShape() {
  // The operation holds the thread: the shape changes now, not at the next
  // mouse move.
  POINT Mouse = {};
  GetCursorPos(&Mouse);
  HWND Under = WindowFromPoint(Mouse);
  if (Under == FWindow || IsChild(FWindow, Under)) {
    SetCursor(LoadCursorW(nullptr, FWaitCursorDepth > 0 ? IDC_WAIT : IDC_ARROW));
  }
}

void TWinMainView::ShowWaitCursor() {
  ++FWaitCursorDepth;
  SetCursorShape();
}

void TWinMainView::RestoreCursor() {
  if (FWaitCursorDepth > 0) {
    --FWaitCursorDepth;
    SetCursorShape();
  }
}

void TWinMainView::StartPollTimer() {
  SetTimer(FWindow, PollTimerId, PollIntervalMs, nullptr);
}

void TWinMainView::StopPollTimer() {
  KillTimer(FWindow, PollTimerId);
}

}  // namespace korvane::win32ui
