#include "X11Session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace korvane::test {

namespace {

// How long the server and the window manager may take to come up before the
// session gives up on them; only a guard against a hang.
constexpr std::chrono::seconds StartGuard{30};

std::string FindOnPath(const std::string& Name) {
  const char* Path = std::getenv("PATH");
  std::string Rest = Path != nullptr ? Path : "/usr/bin:/bin";
  while (!Rest.empty()) {
    const size_t Colon = Rest.find(':');
    const std::string Folder = Rest.substr(0, Colon);
    Rest = Colon == std::string::npos ? std::string() : Rest.substr(Colon + 1);
    const std::string Candidate = (Folder.empty() ? "." : Folder) + "/" + Name;
    if (access(Candidate.c_str(), X_OK) == 0) {
      return Candidate;
    }
  }
  return {};
}

std::vector<char*> CStrings(std::vector<std::string>& Strings) {
  std::vector<char*> Result;
  for (std::string& Text : Strings) {
    Result.push_back(Text.data());
  }
  Result.push_back(nullptr);
  return Result;
}

// Starts Argv with its output in LogFile, the environment with Extra added,
// and Keep (if not -1) as its descriptor 3. The child's id; throws when it
// cannot be started.
pid_t Spawn(std::vector<std::string> Argv, const std::string& LogFile,
            std::vector<std::string> Extra = {}, int Keep = -1) {
  const std::string Program = FindOnPath(Argv.front());
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&Actions, 1, LogFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&Actions, 1, 2);
  if (Keep >= 0) {
    posix_spawn_file_actions_adddup2(&Actions, Keep, 3);
  }
  for (char** Entry = environ; *Entry != nullptr; ++Entry) {
    Extra.emplace_back(*Entry);
  }
  std::vector<char*> CArgv = CStrings(Argv);
  std::vector<char*> CEnv = CStrings(Extra);
  pid_t Child = -1;
  const int Error =
      posix_spawn(&Child, Program.c_str(), &Actions, nullptr, CArgv.data(), CEnv.data());
  posix_spawn_file_actions_destroy(&Actions);
  if (Error != 0) {
    throw std::runtime_error(Argv.front() + " could not be started: " + std::strerror(Error));
  }
  return Child;
}

void Stop(pid_t& Child) {
  if (Child > 0) {
    kill(Child, SIGTERM);
    waitpid(Child, nullptr, 0);
    Child = -1;
  }
}

bool Exited(pid_t Child) {
  int Status = 0;
  return waitpid(Child, &Status, WNOHANG) == Child;
}

}  // namespace

TX11Session::TX11Session() {
  std::string Missing;
  for (const char* Program : {"Xvfb", "openbox", "xdotool"}) {
    if (FindOnPath(Program).empty()) {
      Missing += std::string(Missing.empty() ? "" : ", ") + Program;
    }
  }
  if (!Missing.empty()) {
    FWhyNot = "needs Xvfb, openbox and xdotool; not found: " + Missing +
              " (scripts/install-deps.sh test installs them)";
    return;
  }
  try {
    Start();
  } catch (const std::exception& E) {
    FWhyNot = E.what();
    Stop(FManager);
    Stop(FServer);
  }
}

TX11Session::~TX11Session() {
  Stop(FManager);
  Stop(FServer);
  if (!FFolder.empty()) {
    std::error_code Ignored;
    std::filesystem::remove_all(FFolder, Ignored);
  }
}

void TX11Session::Start() {
  std::string Template = (std::filesystem::temp_directory_path() / "korvane-x11-XXXXXX").string();
  if (mkdtemp(Template.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed for " + Template);
  }
  FFolder = Template;
  StartServer();
  setenv("DISPLAY", FDisplay.c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
  // The folder is the user's alone (mkdtemp), as a runtime folder must be.
  setenv("XDG_RUNTIME_DIR", FFolder.c_str(), 0);
  StartWindowManager();
}

void TX11Session::StartServer() {
  // The server picks a free display itself and names it on the pipe once it
  // takes connections, so that sessions running side by side never meet.
  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe failed: ") + std::strerror(errno));
  }
  try {
    FServer = Spawn(
        {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
        FFolder + "/Xvfb.log", {}, Pipe[1]);
  } catch (...) {
    close(Pipe[0]);
    close(Pipe[1]);
    throw;
  }
  close(Pipe[1]);
  std::string Number;
  const auto Deadline = std::chrono::steady_clock::now() + StartGuard;
  while (Number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < Deadline) {
    pollfd Wait{Pipe[0], POLLIN, 0};
    if (poll(&Wait, 1, 100) <= 0) {
      continue;
    }
    char Buffer[16];
    const ssize_t Got = read(Pipe[0], Buffer, sizeof Buffer);
    if (Got <= 0) {
      break;
    }
    Number.append(Buffer, static_cast<size_t>(Got));
  }
  close(Pipe[0]);
  if (Number.find('\n') == std::string::npos) {
    throw std::runtime_error("Xvfb did not come up (see its log in " + FFolder + ")");
  }
  FDisplay = ":" + Number.substr(0, Number.find('\n'));
}

void TX11Session::StartWindowManager() {
  // The window manager runs the start-up command once it manages windows
  // and has its key bindings; its own defaults, not a user's configuration.
  const std::string ReadyFile = FFolder + "/wm-ready";
  FManager = Spawn({"openbox", "--sm-disable", "--startup", FindOnPath("touch") + " " + ReadyFile},
                   FFolder + "/openbox.log", {"XDG_CONFIG_HOME=" + FFolder});
  const auto Deadline = std::chrono::steady_clock::now() + StartGuard;
  while (access(ReadyFile.c_str(), F_OK) != 0) {
    if (Exited(FManager)) {
      FManager = -1;
      throw std::runtime_error("openbox ended at its start");
    }
    if (std::chrono::steady_clock::now() >= Deadline) {
      throw std::runtime_error("openbox did not come up");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int RunProgram(const std::vector<std::string>& Argv) {
  std::vector<std::string> Args = Argv;
  std::vector<char*> CArgv = CStrings(Args);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t Child = -1;
  const int Error = posix_spawnp(&Child, CArgv[0], &Actions, nullptr, CArgv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Error != 0) {
    return -1;
  }
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

}  // namespace korvane::test
