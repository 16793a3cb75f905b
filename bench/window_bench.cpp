// Programs one HEX file through the main window, as the Send button does once
// its file dialog has given a name, and reports how long that took and what it
// cost the process. The window runs on whatever Qt platform is chosen
// (offscreen for the benchmarks) and finds the board through the port list.
//
//   korvane-window-bench FILE
//
// Prints one line: "window: wall-s=W user-s=U sys-s=S status=TEXT".
#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "UMainWindow.h"

namespace {

class TBenchWindow : public korvane::TMainWindow {
 public:
  TBenchWindow(korvane::TPortListSource Ports, std::string FileName)
      : TMainWindow(std::move(Ports)), FFileName(std::move(FileName)) {}
  std::string Error;

  std::string AskOpenFileName(const std::string&) override { return FFileName; }
  void ShowError(const std::string& Text) override { Error = Text; }

 private:
  std::string FFileName;
};

double Seconds(const timeval& Time) {
  return Time.tv_sec + Time.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvane-window-bench FILE\n");
    return 2;
  }
  TBenchWindow Window(korvane::PortListFromSetting(std::getenv("KORVANE_PORTS")), argv[1]);
  Window.show();
  QApplication::processEvents();

  // The poll finds the board; a few ticks at most.
  for (int Tick = 0; Tick < 10 && Window.Rules().TargetChip() == korvane::chipNone; ++Tick) {
    Window.Rules().Timer1Timer();
  }
  if (Window.Rules().TargetChip() == korvane::chipNone) {
    std::fprintf(stderr, "window: no board found (%s)\n", Window.Error.c_str());
    return 1;
  }

  rusage Before{};
  getrusage(RUSAGE_SELF, &Before);
  const auto Start = std::chrono::steady_clock::now();
  Window.Rules().btnSendClick();
  const auto End = std::chrono::steady_clock::now();
  rusage After{};
  getrusage(RUSAGE_SELF, &After);

  const std::string Status = Window.Rules().StatusText();
  std::printf("window: wall-s=%.3f user-s=%.3f sys-s=%.3f status=%s\n",
              std::chrono::duration<double>(End - Start).count(),
              Seconds(After.ru_utime) - Seconds(Before.ru_utime),
              Seconds(After.ru_stime) - Seconds(Before.ru_stime), Status.c_str());
  if (!Window.Error.empty()) {
    std::fprintf(stderr, "window: %s\n", Window.Error.c_str());
  }
  return Status == "Complete!" ? 0 : 1;
}
