// Shared pieces of the window tests: the test program's application, a window
// whose dialogs and boxes are replaced by recorders, a virtual board wired in
// through KORVANE_PORTS, and Intel HEX files written by hand.
#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UBoardSim.h"
#include "UMainWindow.h"

namespace korvane::test {

// The one application of a test program, on the named platform plugin
// ("offscreen", "xcb").
class TApplicationEnvironment : public ::testing::Environment {
 public:
  explicit TApplicationEnvironment(const char* Platform) : FPlatform(Platform) {}
  void SetUp() override;
  void TearDown() override { FApplication.reset(); }

 private:
  const char* FPlatform;
  int FArgc = 1;
  char FName[16] = "korvane-tests";
  char* FArgv[2] = {FName, nullptr};
  std::unique_ptr<QApplication> FApplication;
};

// The window with its seams replaced: file dialogs answer from the test,
// boxes are recorded instead of shown, progress can be watched.
class TTestFrmMain : public TMainWindow {
 public:
  // The poll scans exactly Ports, empty at first.
  TTestFrmMain();
  std::vector<std::string> Ports;
  std::function<QString()> OnAskOpenFileName = [] { return QString(); };
  std::function<QString()> OnAskSaveFileName = [] { return QString(); };
  // The folder the last file dialog was to start in.
  std::string LastStartFolder;
  std::function<void(int)> OnProgressPosition;
  // When set, errors and messages are also shown in the real boxes, which
  // wait for a click.
  bool RealErrorBox = false;
  bool RealMessageBox = false;
  // When set, the real file dialogs ask instead of OnAsk...FileName.
  bool RealFileDialogs = false;

  std::vector<QString> Errors;
  std::vector<std::string> Messages;
  // Every text the status line showed, in order.
  std::vector<std::string> Statuses;

  std::string AskOpenFileName(const std::string& StartFolder) override;
  std::string AskSaveFileName(const std::string& StartFolder) override;
  void ShowError(const std::string& Text) override;
  void ShowMessage(const std::string& Text) override;
  void SetStatusLine(const std::string& Text) override;
  void SetProgressPosition(int Position) override;
};

// While it lives, hands the modal box or dialog that is up, if any, to Act,
// from the event loop every few milliseconds; Act is to close it.
class TModalWatcher {
 public:
  explicit TModalWatcher(std::function<void(QWidget*)> Act);

 private:
  QTimer FTimer;
};

// A virtual board serving on its own thread; Ports (a window's) is set to its
// device alone.
class TBoardOnPort {
 public:
  TBoardOnPort(const sim::TBoardSimOptions& Options, std::vector<std::string>& Ports);
  ~TBoardOnPort();
  sim::TBoardSim& Board() { return *FBoard; }

 private:
  std::unique_ptr<sim::TBoardSim> FBoard;
};

// A board with the given chip and no faults, answering at once.
sim::TBoardSimOptions BoardWith(const std::string& Chip);

// Intel HEX text for Data placed from address 0 upward in 16-byte records,
// skipping runs of FF; Corrupt makes the checksum of record Line (1-based)
// wrong.
std::string IntelHex(const std::map<uint16_t, std::vector<uint8_t>>& Blocks, int CorruptLine = 0);
void WriteFile(const QString& Path, const std::string& Contents);

}  // namespace korvane::test
