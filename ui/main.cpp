// The desktop program: one main window, run until it is closed.
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <exception>

#include "UMain.h"
#include "UPictures.h"

int main(int argc, char* argv[]) {
  QApplication Application(argc, argv);
  QApplication::setApplicationName("korvane");
  QApplication::setApplicationVersion("4.1");
  // Lets Wayland desktops match the window with the menu entry and its icon.
  QGuiApplication::setDesktopFileName("korvane");
  QApplication::setWindowIcon(korvane::ApplicationIcon());
  try {
    // KORVANE_PORTS, when set, names the ports to scan instead of the machine's.
    korvane::TFrmMain FrmMain(korvane::PortListFromSetting(std::getenv("KORVANE_PORTS")));
    FrmMain.show();
    return QApplication::exec();
  } catch (const std::exception& E) {
    QMessageBox::critical(nullptr, korvane::ApplicationTitle, korvane::ErrorBoxText(E.what()));
    return 1;
  }
}
