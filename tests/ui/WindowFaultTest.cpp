// The window when the board misbehaves: whatever fails, the user is told (a
// status line or a box), the window is left ready for the next click, and a
// file that was already on disk is not harmed.
#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "UiTestSupport.h"

namespace korvane::test {
namespace {

class WindowFaultTest : public ::testing::Test {
 protected:
  void Connect(sim::TBoardSimOptions Options) {
    ASSERT_TRUE(Folder.isValid());
    Window = std::make_unique<TTestFrmMain>();
    Board = std::make_unique<TBoardOnPort>(Options, Window->Ports);
    Window->show();
    Window->Rules().Timer1Timer();
    ASSERT_EQ(Window->Rules().TargetChip(), chip89C52);
  }
  void TearDown() override {
    Window.reset();
    Board.reset();
  }

  QString WriteSample() {
    const QString Path = Folder.filePath("sample.hex");
    std::vector<uint8_t> Bytes(600);
    for (size_t I = 0; I < Bytes.size(); ++I) {
      Bytes[I] = static_cast<uint8_t>(I % 0xFF);
    }
    WriteFile(Path, IntelHex({{0, Bytes}}));
    return Path;
  }
  void Send(const QString& Path) {
    Window->OnAskOpenFileName = [Path] { return Path; };
    Window->Rules().btnSendClick();
  }
  void Read(const QString& Path) {
    Window->OnAskSaveFileName = [Path] { return Path; };
    Window->Rules().BtnReadClick();
  }
  static QByteArray Contents(const QString& Path) {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }

  static size_t VisibleBoxes() {
    size_t Count = 0;
    for (const QWidget* Widget : QApplication::topLevelWidgets()) {
      Count += qobject_cast<const QMessageBox*>(Widget) != nullptr && Widget->isVisible() ? 1 : 0;
    }
    return Count;
  }

  // The window is ready for the next click: nothing running, the cursor back.
  void ExpectSettled() {
    EXPECT_FALSE(Window->Rules().Busy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Window->findChild<QPushButton*>("btnSend")->isEnabled());
  }

  QTemporaryDir Folder;
  std::unique_ptr<TBoardOnPort> Board;
  std::unique_ptr<TTestFrmMain> Window;
};

TEST_F(WindowFaultTest, AVerifyFailureIsTheStatusLine) {
  sim::TBoardSimOptions Options = BoardWith("89C52");
  Options.CorruptByteAt = 321;
  Connect(Options);
  Send(WriteSample());

  EXPECT_EQ(Window->Rules().StatusText(), "Verify Failed!");
  EXPECT_TRUE(Window->Errors.empty());
  ExpectSettled();
}

TEST_F(WindowFaultTest, ABoardHangingUpMidWriteIsOneBoxAndTheBoardIsFoundAgain) {
  sim::TBoardSimOptions Options = BoardWith("89C52");
  Options.HangUpAtWriteByte = 100;
  Connect(Options);
  Window->RealErrorBox = true;

  // Under the box, a poll comes; then the box is closed with its button.
  size_t MostBoxesUp = 0;
  bool Polled = false;
  std::optional<uint8_t> ChipUnderTheBox;
  bool PortOpenUnderTheBox = true;
  std::string StatusUnderTheBox;
  const TModalWatcher Closer([&](QWidget* Modal) {
    MostBoxesUp = std::max(MostBoxesUp, VisibleBoxes());
    if (!ChipUnderTheBox) {
      ChipUnderTheBox = Window->Rules().TargetChip();
      PortOpenUnderTheBox = Window->Rules().Port().Connected();
      StatusUnderTheBox = Window->Rules().StatusText();
    }
    if (!Polled) {
      Polled = true;
      // A tick of its own: a box it may open gets the watcher's attention.
      QTimer::singleShot(0, Window.get(), [this] { Window->Rules().Timer1Timer(); });
    } else if (auto* Box = qobject_cast<QMessageBox*>(Modal)) {
      Box->button(QMessageBox::Ok)->click();
    }
  });
  Send(WriteSample());

  ASSERT_EQ(Window->Errors.size(), 1U);
  // The lost line is the read of the next DC1: EIO.
  EXPECT_EQ(Window->Errors[0], "ReadFile function failed (win error code: 5)");
  EXPECT_EQ(MostBoxesUp, 1U);
  EXPECT_EQ(StatusUnderTheBox, "Writing... [600 Bytes]");
  // Port and chip were let go of before the box came up.
  EXPECT_EQ(ChipUnderTheBox, chipNone);
  EXPECT_FALSE(PortOpenUnderTheBox);
  EXPECT_FALSE(Window->findChild<QPushButton*>("btnSend")->isEnabled());

  // The board comes back: the next poll finds it, without another box.
  Board = std::make_unique<TBoardOnPort>(BoardWith("89C52"), Window->Ports);
  Window->Rules().Timer1Timer();
  EXPECT_EQ(Window->Rules().TargetChip(), chip89C52);
  EXPECT_EQ(Window->Errors.size(), 1U);
  ExpectSettled();
}

TEST_F(WindowFaultTest, AFailedReadLeavesTheFileOnDiskAlone) {
  sim::TBoardSimOptions Options = BoardWith("89C52");
  Options.WrongReadEcho = 'x';
  Connect(Options);
  const QString Existing = Folder.filePath("firmware.hex");
  const QByteArray Before = IntelHex({{0, {1, 2, 3, 4}}}).c_str();
  WriteFile(Existing, Before.toStdString());

  Read(Existing);

  EXPECT_EQ(Window->Rules().StatusText(), "Read Failed!");
  ASSERT_EQ(Window->Messages.size(), 1U);
  EXPECT_EQ(Window->Messages[0], "x");
  EXPECT_EQ(Contents(Existing), Before);
  ExpectSettled();
}

TEST_F(WindowFaultTest, AWrongEchoIsShownAsTheOneCharacterOfItsByte) {
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
    ExpectSettled();
  }
}

TEST_F(WindowFaultTest, AReadThatCannotBeSavedIsShownAndLeavesNoFile) {
  Connect(BoardWith("89C52"));
  const QString Nowhere = Folder.filePath("no-such-folder/readback.hex");

  Read(Nowhere);

  ASSERT_EQ(Window->Errors.size(), 1U);
  EXPECT_EQ(Window->Errors[0], "File not found.");
  EXPECT_NE(Window->Rules().StatusText(), "Complete!");
  EXPECT_FALSE(QFile::exists(Nowhere));
  ExpectSettled();
}

}  // namespace
}  // namespace korvane::test
