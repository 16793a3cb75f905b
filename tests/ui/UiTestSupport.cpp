#include "UiTestSupport.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace korvane::test {

namespace {

std::string Record(uint16_t Address, uint8_t Type, const std::vector<uint8_t>& Data, bool Corrupt) {
  unsigned Sum = Data.size() + (Address >> 8) + (Address & 0xFF) + Type;
  char Text[16];
  std::snprintf(Text, sizeof Text, ":%02X%04X%02X", static_cast<unsigned>(Data.size()), Address,
                Type);
  std::string Line = Text;
  for (const uint8_t Byte : Data) {
    std::snprintf(Text, sizeof Text, "%02X", Byte);
    Line += Text;
    Sum += Byte;
  }
  std::snprintf(Text, sizeof Text, "%02X\r\n", (0x100 - (Sum & 0xFF) + (Corrupt ? 1 : 0)) & 0xFF);
  return Line + Text;
}

}  // namespace

void TApplicationEnvironment::SetUp() {
  qputenv("QT_QPA_PLATFORM", FPlatform);
  FApplication = std::make_unique<QApplication>(FArgc, FArgv);
}

TTestFrmMain::TTestFrmMain()
    : TMainWindow([this](std::vector<std::string>& List) { List = Ports; }) {}

std::string TTestFrmMain::AskOpenFileName(const std::string& StartFolder) {
  LastStartFolder = StartFolder;
  return RealFileDialogs ? TMainWindow::AskOpenFileName(StartFolder)
                         : QFile::encodeName(OnAskOpenFileName()).toStdString();
}

std::string TTestFrmMain::AskSaveFileName(const std::string& StartFolder) {
  LastStartFolder = StartFolder;
  return RealFileDialogs ? TMainWindow::AskSaveFileName(StartFolder)
                         : QFile::encodeName(OnAskSaveFileName()).toStdString();
}

void TTestFrmMain::ShowMessage(const std::string& Text) {
  Messages.push_back(Text);
  if (RealMessageBox) {
    TMainWindow::ShowMessage(Text);
  }
}

void TTestFrmMain::ShowError(const std::string& Text) {
  Errors.push_back(QString::fromStdString(Text));
  if (RealErrorBox) {
    TMainWindow::ShowError(Text);
  }
}

void TTestFrmMain::SetStatusLine(const std::string& Text) {
  Statuses.push_back(Text);
  TMainWindow::SetStatusLine(Text);
}

void TTestFrmMain::SetProgressPosition(int Position) {
  TMainWindow::SetProgressPosition(Position);
  if (OnProgressPosition) {
    OnProgressPosition(Position);
  }
}

TModalWatcher::TModalWatcher(std::function<void(QWidget*)> Act) {
  QObject::connect(&FTimer, &QTimer::timeout, [Act = std::move(Act)] {
    if (QWidget* Modal = QApplication::activeModalWidget()) {
      Act(Modal);
    }
  });
  FTimer.start(10);
}

TBoardOnPort::TBoardOnPort(const sim::TBoardSimOptions& Options, std::vector<std::string>& Ports)
    : FBoard(std::make_unique<sim::TBoardSim>(Options)) {
  FBoard->Start();
  Ports = {FBoard->DevicePath()};
}

TBoardOnPort::~TBoardOnPort() = default;

sim::TBoardSimOptions BoardWith(const std::string& Chip) {
  sim::TBoardSimOptions Options;
  Options.Chip = Chip;
  return Options;
}

std::string IntelHex(const std::map<uint16_t, std::vector<uint8_t>>& Blocks, int CorruptLine) {
  std::string Text;
  int Line = 0;
  for (const auto& [Start, Bytes] : Blocks) {
    for (size_t Offset = 0; Offset < Bytes.size(); Offset += 16) {
      const size_t End = std::min(Bytes.size(), Offset + 16);
      const std::vector<uint8_t> Chunk(Bytes.begin() + Offset, Bytes.begin() + End);
      ++Line;
      Text += Record(static_cast<uint16_t>(Start + Offset), 0, Chunk, Line == CorruptLine);
    }
  }
  return Text + Record(0, 1, {}, false);
}

void WriteFile(const QString& Path, const std::string& Contents) {
  QFile File(Path);
  if (!File.open(QIODevice::WriteOnly) ||
      File.write(Contents.data(), static_cast<qint64>(Contents.size())) !=
          static_cast<qint64>(Contents.size())) {
    throw std::runtime_error("cannot write " + Path.toStdString());
  }
}

}  // namespace korvane::test
