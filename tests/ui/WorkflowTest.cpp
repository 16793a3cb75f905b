// The Qt window while a workflow runs, against the virtual board: its progress
// bar, its timer ticking (but not re-entering) while the window stays served,
// and the board's raw bytes in its message box. The rules themselves are
// tested without a display in tests/ui_rules.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "UHexFile.h"
#include "UiTestSupport.h"

namespace korvane::test {
namespace {

std::vector<uint8_t> Pattern(size_t Length, uint8_t Seed) {
  std::vector<uint8_t> Bytes(Length);
  for (size_t I = 0; I < Length; ++I) {
    // Never FF, so the last byte is the last one written.
    Bytes[I] = static_cast<uint8_t>((I * 7 + Seed) % 0xFF);
  }
  return Bytes;
}

class WorkflowTest : public ::testing::Test {
 protected:
  void SetUp() override { Connect(BoardWith("89C52")); }
  // A new window that has found a new board with Options.
  void Connect(const sim::TBoardSimOptions& Options) {
    ASSERT_TRUE(Folder.isValid());
    Window.reset();
    Board.reset();
    Window = std::make_unique<TTestFrmMain>();
    Board = std::make_unique<TBoardOnPort>(Options, Window->Ports);
    Window->show();
    Window->Rules().Timer1Timer();
    ASSERT_TRUE(Window->Rules().Busy() == false);
    ASSERT_EQ(Window->Rules().TargetChip(), chip89C52);
  }
  void TearDown() override {
    Window.reset();
    Board.reset();
  }

  // A sample file: a block at 0 and a short one further up, FF between them.
  QString WriteSample(size_t FirstBlock = 1024) {
    const QString Path = Folder.filePath("sample.hex");
    WriteFile(Path, IntelHex({{0, Pattern(FirstBlock, 3)}, {0x1800, Pattern(20, 9)}}));
    return Path;
  }
  static std::vector<uint8_t> ImageOf(const QString& Path, uint16_t Size) {
    THexFile Image;
    Image.SetSize(Size);
    Image.LoadFromFile(Path.toStdString());
    std::vector<uint8_t> Bytes(Size);
    for (uint16_t Address = 0; Address < Size; ++Address) {
      Bytes[Address] = Image.GetByte(Address);
    }
    return Bytes;
  }
  void Send(const QString& Path) {
    Window->OnAskOpenFileName = [Path] { return Path; };
    Window->Rules().btnSendClick();
  }
  void Read(const QString& Path) {
    Window->OnAskSaveFileName = [Path] { return Path; };
    Window->Rules().BtnReadClick();
  }
  sim::TBoardSim& Sim() { return Board->Board(); }

  QTemporaryDir Folder;
  std::unique_ptr<TBoardOnPort> Board;
  std::unique_ptr<TTestFrmMain> Window;
};

TEST_F(WorkflowTest, AOneByteFileNeverTurnsTheBarBusy) {
  const QString OneByte = Folder.filePath("one.hex");
  WriteFile(OneByte, IntelHex({{0, {0x42}}}));
  const QProgressBar* Bar = Window->findChild<QProgressBar*>("pbLoading");
  int Positions = 0;
  bool EverBusy = false;
  Window->OnProgressPosition = [&](int) {
    ++Positions;
    EverBusy = EverBusy || Bar->minimum() == Bar->maximum();
  };
  Send(OneByte);

  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  EXPECT_EQ(Sim().Flash()[0], 0x42);
  EXPECT_GT(Positions, 0);
  EXPECT_FALSE(EverBusy);
  EXPECT_LT(Bar->minimum(), Bar->maximum());
  EXPECT_EQ(Bar->value(), Bar->minimum());
}

TEST_F(WorkflowTest, TimerTicksDuringAWorkflowDoNothing) {
  const QString Sample = WriteSample(2048);
  Window->OnAskOpenFileName = [&] { return Sample; };

  // Ticks arrive while the bytes stream, since the window keeps being
  // served; any poll among them would break the stream.
  QTimer* Timer1 = Window->findChild<QTimer*>("Timer1");
  Timer1->setInterval(1);
  int Ticks = 0;
  QObject::connect(Timer1, &QTimer::timeout, [&] { ++Ticks; });
  Timer1->start();
  Window->Rules().btnSendClick();
  Timer1->setInterval(1000);

  EXPECT_GT(Ticks, 0);
  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  EXPECT_EQ(Sim().Flash(), ImageOf(Sample, 8192));
  EXPECT_TRUE(Window->Errors.empty());
}

TEST_F(WorkflowTest, AWrongEchoIsShownAsTheOneCharacterOfItsByte) {
  for (const uint8_t Echo : {uint8_t{'x'}, uint8_t{0x80}, uint8_t{0xE9}, uint8_t{0xFF}}) {
    sim::TBoardSimOptions Options = BoardWith("89C52");
    Options.WrongReadEcho = Echo;
    Connect(Options);
    Window->RealMessageBox = true;
    QString Shown;
    const TModalWatcher Closer([&](QWidget* Modal) {
      if (auto* Box = qobject_cast<QMessageBox*>(Modal)) {
        Shown = Box->text();
        Box->button(QMessageBox::Ok)->click();
      }
    });
    Read(Folder.filePath("readback.hex"));

    EXPECT_EQ(Shown, QString(QChar(Echo))) << "echo " << static_cast<int>(Echo);
    EXPECT_EQ(Window->Rules().StatusText(), "Read Failed!");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

}  // namespace
}  // namespace korvane::test
