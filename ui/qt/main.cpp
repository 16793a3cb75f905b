// The desktop program: one main window, run until it is closed.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "UDisplayLink.h"
#include "UInterrupt.h"
#include "UMainWindow.h"
#include "UPictures.h"
#include "UStandardStreams.h"

int main(int argc, char* argv[]) {
  korvane::KeepStandardStreamsOpen();
  QApplication Application(argc, argv);
  QApplication::setApplicationName("korvane");
  QApplication::setApplicationVersion(KORVANE_VERSION);
  // Lets Wayland desktops match the window with the menu entry and its icon.
  QGuiApplication::setDesktopFileName("korvane");
  QApplication::setWindowIcon(korvane::ApplicationIcon());
  // SIGTERM or Ctrl-C in the terminal that started the window: a workflow
  // ends at its next safe point first, then the window closes; a second
  // signal ends at once.
  korvane::TInterruptWatch Watch;
  Watch.SetDeferred(true);
  try {
    // KORVANE_PORTS, when set, names the ports to scan instead of the machine's.
    korvane::TMainWindow Window(korvane::PortListFromSetting(std::getenv("KORVANE_PORTS")));
    korvane::TFrmMain& FrmMain = Window.Rules();
    if (const char* Root = std::getenv("KORVANE_SYSFS_ROOT")) {
      FrmMain.ComPort().SetSysfsRoot(Root);
    }
    // Where the port notes a latency timer it owes its old value.
    FrmMain.ComPort().SetStateDir(korvane::TComPort::StateDirFromSettings(
        std::getenv("XDG_RUNTIME_DIR"), std::getenv("XDG_CACHE_HOME"), std::getenv("HOME")));
    Watch.GuardPort(&FrmMain.ComPort());
    korvane::TInterruptWatch::ReleasePortAtExit();
    // A lost display is a stop: the workflow finishes the board's stream,
    // and Qt's exit on the broken connection then finds the port given back.
    FrmMain.SetStopRequest([&Watch] {
      if (korvane::DisplayLost() && !Watch.Requested()) {
        std::cerr << "The display was lost: finishing the board's stream" << std::endl;
        Watch.RecordStop();
      }
      return Watch.Requested();
    });
    QTimer StopCheck;
    QObject::connect(&StopCheck, &QTimer::timeout, [&] {
      if (Watch.Requested() && !FrmMain.OperationRunning() && !FrmMain.Busy()) {
        std::cerr << "Interrupted" << std::endl;
        QApplication::exit(korvane::TInterruptWatch::ExitCode);
      }
    });
    StopCheck.start(100);
    Window.show();
    const int Code = QApplication::exec();
    Watch.GuardPort(nullptr);
    return Code;
  } catch (const std::exception& E) {
    QMessageBox::critical(nullptr, korvane::ApplicationTitle,
                          QString::fromStdString(korvane::ErrorBoxText(E.what())));
    return 1;
  }
}
