// The desktop program on Windows: one main window, run until it is closed.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <exception>

#include "UMain.h"
#include "UWinControls.h"
#include "UWinMainView.h"
#include "UWinText.h"

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int CmdShow) {
  INITCOMMONCONTROLSEX Controls = {sizeof Controls,
                                   ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&Controls);
  try {
    korvane::win32ui::TWinMainView View(Instance);
    // KORVANE_PORTS, when set, names the ports to scan instead of the machine's.
    korvane::TFrmMain FrmMain(View, korvane::PortListFromSetting(std::getenv("KORVANE_PORTS")));
    View.SetEvents({
        [&FrmMain] { FrmMain.btnSendClick(); },
        [&FrmMain] { FrmMain.BtnReadClick(); },
        [&FrmMain] { FrmMain.rdoMemSizeClick(); },
        [&FrmMain] { FrmMain.Timer1Timer(); },
        [&FrmMain] { return FrmMain.CloseQuery(); },
    });
    FrmMain.FormCreate();
    View.Show(CmdShow);
    const int Code = View.Run();
    FrmMain.FormDestroy();
    return Code;
  } catch (const std::exception& E) {
    MessageBoxW(nullptr, korvane::win32ui::Widen(korvane::ErrorBoxText(E.what())).c_str(),
                korvane::win32ui::Widen(korvane::ApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
    return 1;
  }
}
