#include "CliTestSupport.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "UHexFile.h"

extern char** environ;

namespace korvane::test {

namespace {

std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& Overrides) {
  std::vector<std::string> Env;
  for (char** Entry = environ; *Entry != nullptr; ++Entry) {
    const std::string Text = *Entry;
    if (!Overrides.contains(Text.substr(0, Text.find('=')))) {
      Env.push_back(Text);
    }
  }
  for (const auto& [Name, Value] : Overrides) {
    Env.push_back(Name + "=" + Value);
  }
  return Env;
}

std::vector<char*> CStrings(std::vector<std::string>& Texts) {
  std::vector<char*> Pointers;
  for (std::string& Text : Texts) {
    Pointers.push_back(Text.data());
  }
  Pointers.push_back(nullptr);
  return Pointers;
}

// Reads Fd into Text; false once it has nothing more to give (end of file,
// or EIO from a pseudo-terminal whose far side is closed).
bool Drain(int Fd, std::string& Text) {
  char Chunk[4096];
  const ssize_t Got = read(Fd, Chunk, sizeof Chunk);
  if (Got > 0) {
    Text.append(Chunk, static_cast<size_t>(Got));
    return true;
  }
  return Got < 0 && errno == EINTR;
}

}  // namespace

TChildProcess::TChildProcess(const std::string& Program, const std::vector<std::string>& Args,
                             const TProcessOptions& Options)
    : FOptions(Options),
      FProgram(Program),
      FDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(Options.TimeoutSeconds)) {
  std::vector<std::string> ArgTexts{Program};
  ArgTexts.insert(ArgTexts.end(), Args.begin(), Args.end());
  std::vector<std::string> EnvTexts = ChildEnvironment(Options.Env);
  std::vector<char*> Argv = CStrings(ArgTexts);
  std::vector<char*> Envp = CStrings(EnvTexts);

  int OutPipe[2];
  int ErrWrite = -1;
  if (pipe(OutPipe) != 0) {
    ADD_FAILURE() << "pipe failed: errno " << errno;
    return;
  }
  if (Options.ErrOnTerminal) {
    termios Settings{};
    cfmakeraw(&Settings);
    winsize Size{};
    Size.ws_row = 24;
    Size.ws_col = Options.TerminalColumns;
    if (openpty(&FErr, &ErrWrite, nullptr, &Settings, &Size) != 0) {
      ADD_FAILURE() << "openpty failed: errno " << errno;
      return;
    }
  } else {
    int ErrPipe[2];
    if (pipe(ErrPipe) != 0) {
      ADD_FAILURE() << "pipe failed: errno " << errno;
      return;
    }
    FErr = ErrPipe[0];
    ErrWrite = ErrPipe[1];
  }

  int InPipe[2] = {-1, -1};
  if (Options.Input) {
    // Small enough for the pipe's buffer: written whole before the child runs.
    if (pipe(InPipe) != 0 || write(InPipe[1], Options.Input->data(), Options.Input->size()) !=
                                 static_cast<ssize_t>(Options.Input->size())) {
      ADD_FAILURE() << "input pipe failed: errno " << errno;
      return;
    }
    close(InPipe[1]);
  }

  FChild = fork();
  if (FChild == 0) {
    if (Options.Input) {
      dup2(InPipe[0], STDIN_FILENO);
    }
    if (Options.OwnProcessGroup) {
      setpgid(0, 0);
    }
    if (Options.Unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(126);
    }
    dup2(OutPipe[1], STDOUT_FILENO);
    dup2(ErrWrite, STDERR_FILENO);
    // Nothing else of this process goes along: a virtual board that hangs
    // up must not stay open through a copy of its side held by the child.
    close_range(3, ~0U, 0);
    if (Options.Closed) {
      close(*Options.Closed);
    }
    execve(Program.c_str(), Argv.data(), Envp.data());
    _exit(127);
  }
  FOut = OutPipe[0];
  close(OutPipe[1]);
  if (Options.Input) {
    close(InPipe[0]);
  }
  close(ErrWrite);
  if (FChild < 0) {
    ADD_FAILURE() << "fork failed: errno " << errno;
  }
}

TChildProcess::~TChildProcess() {
  if (FChild > 0) {
    kill(FChild, SIGKILL);
    Finish();
  }
}

bool TChildProcess::Collect(int TimeoutMs) {
  if (FOut < 0 && FErr < 0) {
    return false;
  }
  pollfd Fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
  if (poll(Fds, 2, TimeoutMs) < 0 && errno != EINTR) {
    return false;
  }
  int* Ends[2] = {&FOut, &FErr};
  std::string* Texts[2] = {&FResult.Out, &FResult.Err};
  for (int Index = 0; Index < 2; ++Index) {
    if (*Ends[Index] >= 0 && Fds[Index].revents != 0 && !Drain(*Ends[Index], *Texts[Index])) {
      close(*Ends[Index]);
      *Ends[Index] = -1;
    }
  }
  return true;
}

bool TChildProcess::Await(const std::string& Text, int Seconds) {
  const auto Seen = [&] {
    return FResult.Out.find(Text) != std::string::npos ||
           FResult.Err.find(Text) != std::string::npos;
  };
  const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
  while (!Seen()) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Until - std::chrono::steady_clock::now());
    if (Left.count() <= 0 || !Collect(static_cast<int>(Left.count()))) {
      return Seen();
    }
  }
  return true;
}

void TChildProcess::Signal(int Signal) {
  if (FChild > 0) {
    kill(FChild, Signal);
  }
}

TProcessResult TChildProcess::Finish() {
  if (FChild <= 0) {
    return FResult;
  }
  bool TimedOut = false;
  while (FOut >= 0 || FErr >= 0) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        FDeadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) {
      TimedOut = true;
      break;
    }
    if (!Collect(static_cast<int>(Left.count()))) {
      break;
    }
  }
  for (int* End : {&FOut, &FErr}) {
    if (*End >= 0) {
      close(*End);
      *End = -1;
    }
  }
  if (TimedOut) {
    kill(FOptions.OwnProcessGroup ? -FChild : FChild, SIGKILL);
    ADD_FAILURE() << FProgram << " ran longer than " << FOptions.TimeoutSeconds << " s";
  }
  int Status = 0;
  while (waitpid(FChild, &Status, 0) < 0 && errno == EINTR) {
  }
  FResult.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  if (FOptions.OwnProcessGroup) {
    FResult.GroupGone = kill(-FChild, 0) != 0 && errno == ESRCH;
  }
  FChild = -1;
  return FResult;
}

TProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Args,
                          const TProcessOptions& Options) {
  return TChildProcess(Program, Args, Options).Finish();
}

std::string CliPath() {
  return KORVANE_CLI_PATH;
}

namespace {

// The notes korvane-cli keeps about latency timers go here, not into the
// home folder of whoever runs the tests; a child that runs as nobody gets a
// folder of nobody's own, as a user's runtime folder is.
const std::string& NotesFolder(bool Unprivileged) {
  static const TTempDir Folder;
  static const TTempDir NobodysFolder;
  static const bool Given = chown(NobodysFolder.Path().c_str(), 65534, 65534) == 0;
  return Unprivileged && Given ? NobodysFolder.Path() : Folder.Path();
}

}  // namespace

TProcessResult RunCli(const std::vector<std::string>& Args, const std::string& Ports,
                      TProcessOptions Options) {
  Options.Env.emplace("KORVANE_PORTS", Ports);
  Options.Env.emplace("XDG_RUNTIME_DIR", NotesFolder(Options.Unprivileged));
  return RunProcess(KORVANE_CLI_PATH, Args, Options);
}

std::unique_ptr<TChildProcess> StartCli(const std::vector<std::string>& Args,
                                        const std::string& Ports, TProcessOptions Options) {
  Options.Env.emplace("KORVANE_PORTS", Ports);
  Options.Env.emplace("XDG_RUNTIME_DIR", NotesFolder(Options.Unprivileged));
  return std::make_unique<TChildProcess>(KORVANE_CLI_PATH, Args, Options);
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Result;
  std::istringstream Stream(Text);
  for (std::string Line; std::getline(Stream, Line);) {
    Result.push_back(Line);
  }
  return Result;
}

std::string ExampleFile(const std::string& RelativePath) {
  return std::string(KORVANE_SOURCE_DIR) + "/examples/" + RelativePath;
}

TProcessResult StopTwiceMidWrite(TChildProcess& Cli) {
  const bool Writing = Cli.Await("\"phase\":\"write\"");
  EXPECT_TRUE(Writing) << "no write stream";
  Cli.Signal(SIGINT);
  const bool Stopping = Writing && Cli.Await("\"event\":\"stopping\"");
  EXPECT_TRUE(Stopping) << "the first stop was not seen";
  if (Stopping) {
    Cli.Signal(SIGINT);
  }
  return Cli.Finish();
}

}  // namespace korvane::test
