// Send and Read from the window's buttons, against the virtual board: the
// chip ends up holding the file, the file read back equals it, a bad file
// sends nothing, and the window stays served (but not re-entered) meanwhile.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
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
  void SetUp() override {
    ASSERT_TRUE(Folder.isValid());
    Window = std::make_unique<TTestFrmMain>();
    Board = std::make_unique<TBoardOnPort>(BoardWith("89C52"), Window->Ports);
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
  sim::TBoardSim& Sim() { return Board->Board(); }

  QTemporaryDir Folder;
  std::unique_ptr<TBoardOnPort> Board;
  std::unique_ptr<TTestFrmMain> Window;
};

TEST_F(WorkflowTest, SendProgramsTheFileAndReadSavesAnEqualFile) {
  const QString Sample = WriteSample();
  Send(Sample);

  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  EXPECT_TRUE(Window->Errors.empty());
  const std::vector<uint8_t> Expected = ImageOf(Sample, 8192);
  EXPECT_EQ(Sim().Flash(), Expected);
  EXPECT_NE(std::find(Window->Statuses.begin(), Window->Statuses.end(),
                      "Writing... [" + std::to_string(0x1800 + 20) + " Bytes]"),
            Window->Statuses.end());
  EXPECT_EQ(Window->findChild<QProgressBar*>("pbLoading")->value(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(Window->Rules().Busy());

  const QString Saved = Folder.filePath("readback.hex");
  Window->OnAskSaveFileName = [Saved] { return Saved; };
  Window->Rules().BtnReadClick();
  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  EXPECT_TRUE(Window->Errors.empty());
  ASSERT_TRUE(QFileInfo::exists(Saved));
  EXPECT_EQ(ImageOf(Saved, 8192), Expected);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(Window->Rules().Busy());
}

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

TEST_F(WorkflowTest, FastVerifyAndLockAsTicked) {
  Window->findChild<QCheckBox*>("chkFastVerify")->setChecked(true);
  Window->findChild<QCheckBox*>("chkLock")->setChecked(true);
  Send(WriteSample(256));

  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  const auto& Seen = Window->Statuses;
  EXPECT_NE(std::find(Seen.begin(), Seen.end(), "Fast Verify..."), Seen.end());
  EXPECT_EQ(std::find(Seen.begin(), Seen.end(), "Verify..."), Seen.end());
  EXPECT_NE(std::find(Seen.begin(), Seen.end(), "Verify Locked code"), Seen.end());
  EXPECT_TRUE(Sim().Locked());
}

TEST_F(WorkflowTest, ABadFileIsShownWithAFullStopAndSendsNothing) {
  const QString Bad = Folder.filePath("bad.hex");
  WriteFile(Bad, IntelHex({{0, Pattern(64, 1)}}, 2));
  std::string Expected;
  try {
    THexFile Probe;
    Probe.SetSize(8192);
    Probe.LoadFromFile(Bad.toStdString());
  } catch (const EHexFile& E) {
    Expected = E.what();
  }
  ASSERT_FALSE(Expected.empty()) << "the corrupted file loads";

  const size_t SentBefore = Sim().ReceivedBytes().size();
  const size_t StatusesBefore = Window->Statuses.size();
  Send(Bad);

  ASSERT_EQ(Window->Errors.size(), 1U);
  EXPECT_EQ(Window->Errors[0], QString::fromStdString(Expected + "."));
  EXPECT_EQ(Sim().ReceivedBytes().size(), SentBefore);
  EXPECT_EQ(Window->Statuses.size(), StatusesBefore);
  EXPECT_FALSE(Window->Rules().Busy());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(Window->findChild<QWidget*>("btnSend")->isEnabled());
}

TEST_F(WorkflowTest, TimerTicksDuringAWorkflowDoNothing) {
  // A tick inside the file dialog sends nothing to the board.
  const QString Sample = WriteSample(2048);
  size_t SentDuringTick = 1;
  Window->OnAskOpenFileName = [&] {
    const size_t Before = Sim().ReceivedBytes().size();
    Window->Rules().Timer1Timer();
    SentDuringTick = Sim().ReceivedBytes().size() - Before;
    return Sample;
  };

  // Ticks also arrive while the bytes stream, since the window keeps being
  // served; any poll among them would break the stream.
  QTimer* Timer1 = Window->findChild<QTimer*>("Timer1");
  Timer1->setInterval(1);
  int Ticks = 0;
  QObject::connect(Timer1, &QTimer::timeout, [&] { ++Ticks; });
  Timer1->start();
  Window->Rules().btnSendClick();
  Timer1->setInterval(1000);

  EXPECT_EQ(SentDuringTick, 0U);
  EXPECT_GT(Ticks, 0);
  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  EXPECT_EQ(Sim().Flash(), ImageOf(Sample, 8192));
  EXPECT_TRUE(Window->Errors.empty());
}

TEST_F(WorkflowTest, CloseDuringAWriteIsRefusedAndTheWriteCompletes) {
  const QString Sample = WriteSample();
  bool Closed = true;
  Window->OnProgressPosition = [&](int Position) {
    if (Position == 100 && Window->Rules().Busy()) {
      Closed = Window->close();
    }
  };
  Send(Sample);

  EXPECT_FALSE(Closed);
  EXPECT_TRUE(Window->isVisible());
  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  EXPECT_EQ(Sim().Flash(), ImageOf(Sample, 8192));
  EXPECT_TRUE(Window->close());
}

TEST_F(WorkflowTest, AStopDuringAWriteFinishesItWithFFAndLeavesTheBoardAtItsPrompt) {
  const QString Sample = WriteSample();
  bool Stop = false;
  Window->Rules().SetStopRequest([&Stop] { return Stop; });
  Window->OnProgressPosition = [&](int Position) { Stop = Stop || Position == 100; };
  Send(Sample);

  EXPECT_TRUE(Window->Rules().LastOutcome().Interrupted);
  EXPECT_EQ(Window->Rules().LastOutcome().Step, TStep::stepWrite);
  EXPECT_NE(Window->Rules().StatusText(), "Complete!");
  const std::vector<uint8_t> Flash = Sim().Flash();
  const std::vector<uint8_t> Image = ImageOf(Sample, 8192);
  const uint32_t Written = Window->Rules().ChipProgress().Written;
  EXPECT_EQ(Written, 101u);
  for (size_t Address = 0; Address < Flash.size(); ++Address) {
    ASSERT_EQ(Flash[Address], Address < Written ? Image[Address] : 0xFF) << Address;
  }
  EXPECT_TRUE(Window->Errors.empty());
  Window->Rules().SetStopRequest(nullptr);
  Window->Rules().Timer1Timer();
  EXPECT_EQ(Window->Rules().TargetChip(), chip89C52) << "the board answers the next poll";
}

TEST_F(WorkflowTest, TheChipLabelSaysOnWhichPortTheBoardWasFound) {
  const auto* Label = Window->findChild<QLabel*>("LblTargetChip");
  ASSERT_NE(Label, nullptr);
  EXPECT_EQ(Label->toolTip(), QString::fromStdString("Found on " + Window->Rules().Port().Port()));
}

}  // namespace
}  // namespace korvane::test
