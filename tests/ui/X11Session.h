// A real X server of the test's own (Xvfb, on a display no one else uses)
// with a window manager on it (openbox), for the window tests whose behaviour
// depends on the window system, and the programs that drive it (xdotool).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace korvane::test {

class TX11Session {
 public:
  // Starts the server and the window manager, and points DISPLAY at them.
  // When a program is missing or does not come up, Ready() is false and
  // WhyNot() says why.
  TX11Session();
  // Stops both.
  ~TX11Session();
  TX11Session(const TX11Session&) = delete;
  TX11Session& operator=(const TX11Session&) = delete;

  bool Ready() const { return FWhyNot.empty(); }
  const std::string& WhyNot() const { return FWhyNot; }
  // ":5"
  const std::string& Display() const { return FDisplay; }

 private:
  void Start();
  void StartServer();
  void StartWindowManager();

  std::string FFolder;
  std::string FDisplay;
  std::string FWhyNot;
  pid_t FServer = -1;
  pid_t FManager = -1;
};

// Runs Argv[0] (looked up on PATH) with the rest as its arguments, its output
// discarded, and waits for it; its exit status, or -1 when it could not be
// run or was killed.
int RunProgram(const std::vector<std::string>& Argv);

}  // namespace korvane::test
