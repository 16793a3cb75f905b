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

TProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Args,
                          const TProcessOptions& Options) {
  TProcessResult Result;
  std::vector<std::string> ArgTexts{Program};
  ArgTexts.insert(ArgTexts.end(), Args.begin(), Args.end());
  std::vector<std::string> EnvTexts = ChildEnvironment(Options.Env);
  std::vector<char*> Argv = CStrings(ArgTexts);
  std::vector<char*> Envp = CStrings(EnvTexts);

  int OutPipe[2];
  int ErrRead = -1;
  int ErrWrite = -1;
  if (pipe(OutPipe) != 0) {
    ADD_FAILURE() << "pipe failed: errno " << errno;
    return Result;
  }
  if (Options.ErrOnTerminal) {
    termios Settings{};
    cfmakeraw(&Settings);
    if (openpty(&ErrRead, &ErrWrite, nullptr, &Settings, nullptr) != 0) {
      ADD_FAILURE() << "openpty failed: errno " << errno;
      return Result;
    }
  } else {
    int ErrPipe[2];
    if (pipe(ErrPipe) != 0) {
      ADD_FAILURE() << "pipe failed: errno " << errno;
      return Result;
    }
    ErrRead = ErrPipe[0];
    ErrWrite = ErrPipe[1];
  }

  const pid_t Child = fork();
  if (Child == 0) {
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
    execve(Program.c_str(), Argv.data(), Envp.data());
    _exit(127);
  }
  close(OutPipe[1]);
  close(ErrWrite);
  if (Child < 0) {
    ADD_FAILURE() << "fork failed: errno " << errno;
    close(OutPipe[0]);
    close(ErrRead);
    return Result;
  }

  const auto Deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(Options.TimeoutSeconds);
  bool OutOpen = true;
  bool ErrOpen = true;
  bool TimedOut = false;
  while (OutOpen || ErrOpen) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) {
      TimedOut = true;
      break;
    }
    pollfd Fds[2] = {{OutOpen ? OutPipe[0] : -1, POLLIN, 0}, {ErrOpen ? ErrRead : -1, POLLIN, 0}};
    if (poll(Fds, 2, static_cast<int>(Left.count())) < 0 && errno != EINTR) {
      break;
    }
    if (OutOpen && Fds[0].revents != 0) {
      OutOpen = Drain(OutPipe[0], Result.Out);
    }
    if (ErrOpen && Fds[1].revents != 0) {
      ErrOpen = Drain(ErrRead, Result.Err);
    }
  }
  close(OutPipe[0]);
  close(ErrRead);
  if (TimedOut) {
    kill(Options.OwnProcessGroup ? -Child : Child, SIGKILL);
    ADD_FAILURE() << Program << " ran longer than " << Options.TimeoutSeconds << " s";
  }
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
  Result.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  if (Options.OwnProcessGroup) {
    Result.GroupGone = kill(-Child, 0) != 0 && errno == ESRCH;
  }
  return Result;
}

TProcessResult RunCli(const std::vector<std::string>& Args, const std::string& Ports,
                      TProcessOptions Options) {
  Options.Env.emplace("KORVANE_PORTS", Ports);
  return RunProcess(KORVANE_CLI_PATH, Args, Options);
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

}  // namespace korvane::test
