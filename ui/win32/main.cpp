// The desktop program on Windows: one main window, run until it is closed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <exception>

#include "UFrmMainStandIn.h"
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
    korvane::win32ui::TFrmMainStandIn FrmMain(
        View, korvane::PortListFromSetting(std::getenv("KORVANE_PORTS")));
    View.SetEvents({
        [&FrmMain] { FrmMain.btnSendClick(); },
        [&FrmMain] { FrmMain.BtnReadClick(); },
        [&FrmMain] { FrmMain.rdoMemSizeClick(); },
        [&FrmMain] { FrmMain.Timer1Timer(); },
        [&FrmMain] { return FrmMain.CloseQuery(); },
    });
    View.Show(CmdShow);
    return View.Run();
  } catch (const std::exception& E) {
    MessageBoxW(nullptr, korvane::win32ui::Widen(korvane::win32ui::ErrorBoxText(E.what())).c_str(),
                korvane::win32ui::ApplicationTitle, MB_OK | MB_ICONERROR);
    return 1;
  }
}
