// The window under a real X server with a window manager, for what the window
// system delivers while a workflow holds the thread: a close request is
// refused on the spot and not acted on afterwards, clicks and keys are
// dropped instead of replayed, and the box a workflow opens still takes its
// click; the window program whose display is lost mid-write finishes the
// board's stream before it ends. The input comes from xdotool, as a user's
// would, while the workflow runs. (A board lost mid-write is the rules' case,
// tests/ui_rules.)
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>

#include "CliTestSupport.h"
#include "TestFiles.h"
#include "UiTestSupport.h"
#include "X11Session.h"

namespace korvane::test {
namespace {

// The X session comes up before the application, which then runs on it.
class TX11Environment : public TApplicationEnvironment {
 public:
  TX11Environment() : TApplicationEnvironment("xcb") {}
  void SetUp() override {
    Session = std::make_unique<TX11Session>();
    if (Session->Ready()) {
      TApplicationEnvironment::SetUp();
    }
  }
  void TearDown() override {
    TApplicationEnvironment::TearDown();
    Session.reset();
  }

  static inline std::unique_ptr<TX11Session> Session;
};

[[maybe_unused]] const auto* const Environment =
    ::testing::AddGlobalTestEnvironment(new TX11Environment);

const char* const BusyText = "Please wait: an operation is running";

// A click that a box does not answer is repeated after this long (the window
// manager may still have been placing it), and the box is closed by the test
// after the guard, which only keeps a broken box from hanging the suite.
constexpr qint64 ReclickMs = 2000;
constexpr qint64 HangGuardMs = 30000;

int Xdotool(const std::vector<std::string>& Args) {
  std::vector<std::string> Argv = {"xdotool"};
  Argv.insert(Argv.end(), Args.begin(), Args.end());
  return RunProgram(Argv);
}

// A real click at Local inside Widget (its centre by default).
void Click(const QWidget* Widget, std::optional<QPoint> Local = std::nullopt) {
  const QPoint At = Widget->mapToGlobal(Local.value_or(Widget->rect().center()));
  EXPECT_EQ(Xdotool({"mousemove", "--sync", std::to_string(At.x()), std::to_string(At.y()), "click",
                     "1"}),
            0);
}

// A click on a check box's or radio button's indicator, where it takes
// clicks whatever the width of the button.
void ClickIndicator(const QAbstractButton* Button) {
  Click(Button, QPoint(6, Button->height() / 2));
}

sim::TBoardSimOptions Paced(const std::string& Chip) {
  sim::TBoardSimOptions Options = BoardWith(Chip);
  Options.Realtime = true;
  return Options;
}

class X11WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TX11Environment::Session->Ready()) {
      GTEST_SKIP() << "no X server with a window manager: " << TX11Environment::Session->WhyNot();
    }
    ASSERT_TRUE(Folder.isValid());
    for (size_t I = 0; I < Bytes.size(); ++I) {
      Bytes[I] = static_cast<uint8_t>(I % 0xFF);
    }
    WriteFile(Sample, IntelHex({{0, Bytes}}));
  }
  void TearDown() override {
    Window.reset();
    Board.reset();
  }

  // The window, shown and active, with the board's chip found.
  void Connect(const sim::TBoardSimOptions& Options, uint8_t Chip) {
    Window = std::make_unique<TTestMainWindow>();
    Board = std::make_unique<TBoardOnPort>(Options, Window->Ports);
    Window->OnAskOpenFileName = [this] { return ++OpenAsked, Sample; };
    Window->OnAskSaveFileName = [this] { return ++SaveAsked, QString(); };
    Window->show();
    Window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Window->Rules().Timer1Timer();
    ASSERT_EQ(Window->Rules().TargetChip(), Chip);
  }

  template <typename T>
  T* Find(const char* Name) const {
    T* Widget = Window->findChild<T*>(Name);
    EXPECT_NE(Widget, nullptr) << Name;
    return Widget;
  }
  // The controls a workflow must hold: whether each is enabled.
  std::vector<bool> ControlsEnabled() const {
    std::vector<bool> Enabled;
    for (const char* Name :
         {"btnSend", "BtnRead", "chkLock", "chkFastVerify", "rdoMemSize2KB", "rdoMemSize4KB"}) {
      Enabled.push_back(Find<QWidget>(Name)->isEnabled());
    }
    return Enabled;
  }

  // Clicks Send; Act runs once, when the write stream is at byte 100, and
  // Then at every byte of the streams after that.
  void SendActingMidWrite(
      const std::function<void()>& Act, const std::function<void()>& Then = [] {}) {
    bool Acted = false;
    Window->OnProgressPosition = [&](int Position) {
      if (Acted) {
        Then();
      } else if (Position == 100 && Window->Rules().StatusText().starts_with("Writing")) {
        Acted = true;
        Act();
      }
    };
    Window->Rules().btnSendClick();
    Window->OnProgressPosition = nullptr;
    EXPECT_TRUE(Acted);
  }

  // What the window system still holds for the window is delivered now, as
  // the event loop would once the workflow is over: anything queued during it
  // would take effect here.
  static void DeliverWhatIsLeft() {
    QGuiApplication::sync();
    QCoreApplication::processEvents();
  }

  // Clicks the box's OK button for real, once, again if it stays up, and
  // closes it directly only past the hang guard (recorded in Forced).
  void ClickOk(QMessageBox* Box) {
    if (Box->windowHandle() == nullptr || !Box->windowHandle()->isExposed()) {
      return;
    }
    if (Box != FClickedBox || FSinceClick.elapsed() >= ReclickMs) {
      if (Box != FClickedBox) {
        FFirstClick.start();
      }
      FClickedBox = Box;
      FSinceClick.start();
      if (FFirstClick.elapsed() >= HangGuardMs) {
        Forced = true;
        Box->button(QMessageBox::Ok)->click();
      } else {
        Click(Box->button(QMessageBox::Ok));
      }
    }
  }

  bool FlashHoldsTheSample() const {
    const std::vector<uint8_t> Flash = Board->Board().Flash();
    return Flash.size() >= Bytes.size() && std::equal(Bytes.begin(), Bytes.end(), Flash.begin());
  }

  QTemporaryDir Folder;
  const QString Sample = Folder.filePath("sample.hex");
  std::vector<uint8_t> Bytes = std::vector<uint8_t>(600);
  std::unique_ptr<TBoardOnPort> Board;
  std::unique_ptr<TTestMainWindow> Window;
  int OpenAsked = 0;
  int SaveAsked = 0;
  bool Forced = false;

 private:
  QMessageBox* FClickedBox = nullptr;
  QElapsedTimer FSinceClick;
  QElapsedTimer FFirstClick;
};

TEST_F(X11WindowTest, ACloseRequestDuringAWriteIsRefusedOnTheSpotAndNotActedOnLater) {
  Connect(Paced("89C52"), chip89C52);
  bool RefusalShown = false;
  // Alt+F4: the window manager's close, sent to the window as WM_DELETE_WINDOW.
  SendActingMidWrite(
      [] {
        EXPECT_EQ(Xdotool({"key", "alt+F4"}), 0);
      },
      [&] {
        RefusalShown =
            RefusalShown || (Window->Rules().StatusText() == BusyText && Window->Rules().Busy());
      });
  DeliverWhatIsLeft();

  EXPECT_TRUE(RefusalShown) << "the refusal was not on the status line during the write";
  EXPECT_TRUE(Window->isVisible());
  EXPECT_EQ(Xdotool({"search", "--onlyvisible", "--name", "^Korvane V4\\.1$"}), 0)
      << "the window is gone from the screen";
  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  EXPECT_TRUE(FlashHoldsTheSample());
  EXPECT_EQ(OpenAsked, 1);
}

enum class TInput { ClickRead, PressEnter, ClickLock, Click4KB };

struct TInputCase {
  const char* Name;
  TInput Input;
  const char* Chip;
  uint8_t Code;
  uint16_t ImageSize;
};

void PrintTo(const TInputCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class X11InputTest : public X11WindowTest, public ::testing::WithParamInterface<TInputCase> {};

TEST_P(X11InputTest, DuringAWriteIsDroppedWithTheControlsUnavailableAndNotReplayed) {
  const TInputCase& Case = GetParam();
  Connect(Paced(Case.Chip), Case.Code);
  const std::vector<bool> Before = ControlsEnabled();
  std::vector<bool> During;
  SendActingMidWrite([&] {
    During = ControlsEnabled();
    switch (Case.Input) {
      case TInput::ClickRead:
        Click(Find<QPushButton>("BtnRead"));
        break;
      case TInput::PressEnter:
        EXPECT_EQ(Xdotool({"key", "Return"}), 0);
        break;
      case TInput::ClickLock:
        ClickIndicator(Find<QCheckBox>("chkLock"));
        break;
      case TInput::Click4KB:
        ClickIndicator(Find<QRadioButton>("rdoMemSize4KB"));
        break;
    }
  });
  DeliverWhatIsLeft();

  EXPECT_EQ(During, std::vector<bool>(Before.size(), false));
  EXPECT_EQ(ControlsEnabled(), Before);
  EXPECT_EQ(Window->Rules().StatusText(), "Complete!");
  EXPECT_TRUE(FlashHoldsTheSample());
  // Nothing of the input took effect, then or later.
  EXPECT_EQ(OpenAsked, 1);
  EXPECT_EQ(SaveAsked, 0);
  EXPECT_FALSE(Find<QCheckBox>("chkLock")->isChecked());
  EXPECT_FALSE(Board->Board().Locked());
  EXPECT_TRUE(Find<QRadioButton>("rdoMemSize2KB")->isChecked());
  EXPECT_EQ(Window->Rules().SourceImage().Size(), Case.ImageSize);
}

INSTANTIATE_TEST_SUITE_P(
    Window, X11InputTest,
    ::testing::Values(TInputCase{"ClickOnRead", TInput::ClickRead, "89C52", chip89C52, 8192},
                      TInputCase{"Enter", TInput::PressEnter, "89C52", chip89C52, 8192},
                      TInputCase{"ClickOnLock", TInput::ClickLock, "89C52", chip89C52, 8192},
                      TInputCase{"ClickOn4KB", TInput::Click4KB, "89C2051", chip89C2051, 2048}),
    [](const ::testing::TestParamInfo<TInputCase>& Info) { return std::string(Info.param.Name); });

TEST_F(X11WindowTest, TheBoxAWorkflowOpensTakesItsClick) {
  sim::TBoardSimOptions Options = Paced("89C52");
  Options.WrongReadEcho = 'x';
  Connect(Options, chip89C52);
  Window->RealMessageBox = true;
  Window->OnAskSaveFileName = [this] { return ++SaveAsked, Folder.filePath("readback.hex"); };
  const TModalWatcher Clicker([&](QWidget* Modal) {
    if (auto* Box = qobject_cast<QMessageBox*>(Modal)) {
      ClickOk(Box);
    }
  });
  Window->Rules().BtnReadClick();

  EXPECT_FALSE(Forced) << "the box took no click: its input was dropped with the window's";
  EXPECT_EQ(Window->Messages, std::vector<std::string>{"x"});
  EXPECT_EQ(Window->Rules().StatusText(), "Read Failed!");
}

// Waits until the board has received Command.
void AwaitReceived(const sim::TBoardSim& Board, char Command) {
  for (int Tries = 0; Tries < 3000 && Board.ReceivedBytes().find(Command) == std::string::npos;
       ++Tries) {
    QTest::qWait(10);
  }
}

// xdotool's answer on stdout, its line feed dropped.
std::string XdotoolAnswer(const std::vector<std::string>& Args) {
  const TProcessResult Run = RunProcess("/usr/bin/xdotool", Args);
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  return Run.Out.substr(0, Run.Out.find('\n'));
}

TEST_F(X11WindowTest, TheProgramWhoseDisplayIsLostMidWriteFinishesTheStreamFirst) {
  sim::TBoardSim Slow(Paced("89C52"));
  Slow.Start();
  const TFakeSysfs Sysfs(Slow.DevicePath(), "16\n");
  const TTempDir Notes;
  TProcessOptions Options;
  Options.Env = {{"KORVANE_PORTS", Slow.DevicePath()},
                 {"KORVANE_SYSFS_ROOT", Sysfs.Root()},
                 {"XDG_RUNTIME_DIR", Notes.Path()}};
  TChildProcess Program(KORVANE_WINDOW_PATH, {}, Options);
  const std::string Id =
      XdotoolAnswer({"search", "--sync", "--onlyvisible", "--name", "^Korvane V4\\.1$"});
  // Send has the focus once the poll has found the chip; its open dialog
  // takes the file's name.
  AwaitReceived(Slow, 'p');
  QTest::qWait(1000);
  EXPECT_EQ(Xdotool({"windowactivate", "--sync", Id, "key", "Return"}), 0);
  XdotoolAnswer({"search", "--sync", "--onlyvisible", "--name", "^Open$"});
  EXPECT_EQ(Xdotool({"type", Sample.toStdString()}), 0);
  EXPECT_EQ(Xdotool({"key", "Return"}), 0);
  AwaitReceived(Slow, 'w');
  QTest::qWait(300);
  ASSERT_EQ(Sysfs.Value(), "1\n") << "the write runs with the timer lowered";

  EXPECT_EQ(Xdotool({"windowkill", Id}), 0);
  const TProcessResult Ended = Program.Finish();
  EXPECT_NE(Ended.Err.find("The display was lost: finishing the board's stream"), std::string::npos)
      << Ended.Err;
  EXPECT_EQ(Sysfs.Value(), "16\n") << "the latency timer put back";
  const TProcessResult Detect = RunCli({"detect"}, Slow.DevicePath());
  EXPECT_EQ(Detect.ExitCode, 0) << "the board is at its prompt\n" << Detect.Err;
  const std::vector<uint8_t> Flash = Slow.Flash();
  // The bytes written before the display went, then FF.
  EXPECT_TRUE(std::equal(Bytes.begin(), Bytes.begin() + 20, Flash.begin()));
  EXPECT_EQ(Flash[Bytes.size() - 1], 0xFF);
}

}  // namespace
}  // namespace korvane::test
