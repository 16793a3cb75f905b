// Saving over the user's files: a save replaces the previous file whole or
// not at all, never leaves a temporary file behind, and reports real
// failures of the file system in words.
#include <gtest/gtest.h>

#include <grp.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "HexTestFiles.h"
#include "UHexFile.h"

using korvane::EInOutError;
using korvane::THexFile;
using korvane::test::ReadFileText;
using korvane::test::SplitCrLfLines;
using korvane::test::TTempFolder;
using korvane::test::WriteFileText;

namespace {

const std::string kPrevious = ";the user's previous file\r\n:0400000001020304F2\r\n:00000001FF\r\n";

THexFile ErasedImage(uint16_t Size) {
  THexFile Image;
  Image.SetSize(Size);
  Image.Clear();
  return Image;
}

// The message of the EInOutError that saving raises, or "" when none.
std::string SaveError(const THexFile& Image, const std::string& Path) {
  try {
    Image.SaveToFile(Path);
  } catch (const EInOutError& E) {
    return E.what();
  }
  return "";
}

// For a child process: saves, prints the outcome on stderr and exits with 0
// when saved, 3 on an input/output error, 4 on anything else.
[[noreturn]] void SaveAndExit(const THexFile& Image, const std::string& Path) {
  try {
    Image.SaveToFile(Path);
    std::fputs("saved", stderr);
    ::_exit(0);
  } catch (const EInOutError& E) {
    std::fputs(E.what(), stderr);
    ::_exit(3);
  } catch (const std::exception& E) {
    std::fputs(E.what(), stderr);
    ::_exit(4);
  }
}

// For a child process: saves under a file size limit of 1000 bytes.
[[noreturn]] void SaveWithSizeLimitAndExit(const THexFile& Image, const std::string& Path) {
  std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of killing
  const rlimit Limit{1000, 1000};
  if (::setrlimit(RLIMIT_FSIZE, &Limit) != 0)
    ::_exit(5);
  SaveAndExit(Image, Path);
}

constexpr uid_t kNobody = 65534;

// For a child process: saves as the user nobody when running as root.
[[noreturn]] void SaveUnprivilegedAndExit(const THexFile& Image, const std::string& Path) {
  if (::geteuid() == 0 &&
      (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
    ::_exit(5);
  SaveAndExit(Image, Path);
}

// A folder in which the user nobody (the user of the unprivileged child)
// may create and rename files: nobody's own when running as root.
std::string FolderOfNobody(const TTempFolder& Folder) {
  const std::string Path = Folder / "nobody";
  EXPECT_EQ(::chmod(Folder.Path().c_str(), 0711), 0);
  EXPECT_EQ(::mkdir(Path.c_str(), 0755), 0);
  if (::geteuid() == 0) {
    EXPECT_EQ(::chown(Path.c_str(), kNobody, kNobody), 0);
  }
  return Path;
}

// A file of nobody's (when running as root) with Text and Mode.
void WriteFileOfNobody(const std::string& Path, const std::string& Text, mode_t Mode) {
  WriteFileText(Path, Text);
  if (::geteuid() == 0) {
    EXPECT_EQ(::chown(Path.c_str(), kNobody, kNobody), 0);
  }
  EXPECT_EQ(::chmod(Path.c_str(), Mode), 0);
}

struct stat StatusOf(const std::string& Path) {
  struct stat Status {};
  EXPECT_EQ(::stat(Path.c_str(), &Status), 0) << Path;
  return Status;
}

THexFile PatternImage(uint16_t Size, unsigned Step) {
  THexFile Image;
  Image.SetSize(Size);
  for (unsigned A = 0; A < Size; ++A)
    Image.SetByte(static_cast<uint16_t>(A), static_cast<uint8_t>(A * Step));
  return Image;
}

std::vector<uint8_t> BytesOf(const THexFile& Image) {
  std::vector<uint8_t> Bytes;
  for (unsigned A = 0; A < Image.Size(); ++A)
    Bytes.push_back(Image.GetByte(static_cast<uint16_t>(A)));
  return Bytes;
}

mode_t ModeOf(const std::string& Path) {
  struct stat Status {};
  EXPECT_EQ(::lstat(Path.c_str(), &Status), 0) << Path;
  return Status.st_mode;
}

}  // namespace

TEST(HexSaving, ReplacesThePreviousFileKeepingItsPermissions) {
  TTempFolder Folder;
  const std::string Target = Folder / "chip.hex";
  WriteFileText(Target, kPrevious + std::string(100000, ';'));
  ASSERT_EQ(::chmod(Target.c_str(), 0640), 0);

  EXPECT_TRUE(ErasedImage(20).SaveToFile(Target));
  EXPECT_EQ(SplitCrLfLines(ReadFileText(Target)).size(), 4u);
  EXPECT_EQ(ModeOf(Target) & 07777, 0640u);
  EXPECT_EQ(Folder.Entries(), std::vector<std::string>{"chip.hex"});
}

TEST(HexSaving, SavingThroughASymbolicLinkReplacesTheFileItLeadsTo) {
  TTempFolder Folder;
  WriteFileText(Folder / "real.hex", kPrevious);
  ASSERT_EQ(::symlink("real.hex", (Folder / "link.hex").c_str()), 0);

  EXPECT_TRUE(ErasedImage(16).SaveToFile(Folder / "link.hex"));
  EXPECT_TRUE(S_ISLNK(ModeOf(Folder / "link.hex")));
  EXPECT_EQ(SplitCrLfLines(ReadFileText(Folder / "real.hex")).size(), 3u);
  EXPECT_EQ(Folder.Entries(), (std::vector<std::string>{"link.hex", "real.hex"}));
}

TEST(HexSaving, FileNameWithoutFolderIsSavedInTheWorkingFolder) {
  TTempFolder Folder;
  char Previous[4096];
  ASSERT_NE(::getcwd(Previous, sizeof Previous), nullptr);
  ASSERT_EQ(::chdir(Folder.Path().c_str()), 0);
  const std::string Error = SaveError(ErasedImage(16), "plain.hex");
  ASSERT_EQ(::chdir(Previous), 0);
  EXPECT_EQ(Error, "");
  EXPECT_EQ(Folder.Entries(), std::vector<std::string>{"plain.hex"});
}

TEST(HexSaving, ReportsFailuresOfTheFileSystemInWords) {
  TTempFolder Folder;
  const THexFile Image = ErasedImage(4096);
  EXPECT_EQ(SaveError(Image, Folder / "no-such-folder/chip.hex"), "File not found");
  EXPECT_EQ(SaveError(Image, Folder.Path()), "I/O error 21");
  EXPECT_EQ(SaveError(Image, Folder / "chip.hex/"), "File not found");
  EXPECT_EQ(Folder.Entries(), std::vector<std::string>{});
}

TEST(HexSaving, FullDeviceGivesDiskFullAndStaysADevice) {
  if (::access("/dev/full", W_OK) != 0)
    GTEST_SKIP() << "/dev/full is not available here";
  TTempFolder Folder;
  ASSERT_EQ(::symlink("/dev/full", (Folder / "full.hex").c_str()), 0);
  const THexFile Image = ErasedImage(4096);

  EXPECT_EQ(SaveError(Image, "/dev/full"), "Disk full");
  EXPECT_EQ(SaveError(Image, Folder / "full.hex"), "Disk full");
  EXPECT_TRUE(S_ISCHR(ModeOf("/dev/full")));
  EXPECT_TRUE(S_ISLNK(ModeOf(Folder / "full.hex")));
  EXPECT_EQ(Folder.Entries(), std::vector<std::string>{"full.hex"});
}

// A real write failure in the middle of the save: the file size limit stops
// the write after 1000 bytes (EFBIG), as a full disk would.
TEST(HexSavingDeathTest, FailedWriteLeavesThePreviousFileAndNoTemporaryFile) {
  TTempFolder Folder;
  const std::string Target = Folder / "chip.hex";
  WriteFileText(Target, kPrevious);
  const THexFile Image = ErasedImage(4096);

  EXPECT_EXIT(SaveWithSizeLimitAndExit(Image, Target), ::testing::ExitedWithCode(3),
              "I/O error 27");
  EXPECT_EQ(ReadFileText(Target), kPrevious);
  EXPECT_EQ(Folder.Entries(), std::vector<std::string>{"chip.hex"});
}

// Permission bits do not stop root, so as root the child gives up its
// privileges before it saves.
TEST(HexSavingDeathTest, ReadOnlyFolderIsRefusedAndThePreviousFileKept) {
  TTempFolder Folder;
  const std::string ReadOnly = Folder / "read-only";
  const std::string Target = ReadOnly + "/chip.hex";
  ASSERT_EQ(::chmod(Folder.Path().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(ReadOnly.c_str(), 0755), 0);
  WriteFileText(Target, kPrevious);
  ASSERT_EQ(::chmod(Target.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(ReadOnly.c_str(), 0555), 0);
  const THexFile Image = ErasedImage(2048);

  EXPECT_EXIT(SaveUnprivilegedAndExit(Image, Target), ::testing::ExitedWithCode(3),
              "File access denied");
  EXPECT_EQ(ReadFileText(Target), kPrevious);
  EXPECT_EQ(korvane::test::FolderEntries(ReadOnly), std::vector<std::string>{"chip.hex"});
}

// The folder would allow the rename; the file's own mode says no, and the
// file must come through byte for byte.
TEST(HexSavingDeathTest, ReadOnlyFileIsRefusedAndLeftByteIdentical) {
  TTempFolder Folder;
  const std::string Target = FolderOfNobody(Folder) + "/golden.hex";
  const std::string Golden = kPrevious + std::string(5000, ';') + "\r\n";
  WriteFileOfNobody(Target, Golden, 0444);
  const struct stat Before = StatusOf(Target);

  EXPECT_EXIT(SaveUnprivilegedAndExit(ErasedImage(4096), Target), ::testing::ExitedWithCode(3),
              "^File access denied$");
  EXPECT_TRUE(ReadFileText(Target) == Golden) << "the file's contents changed";
  const struct stat After = StatusOf(Target);
  EXPECT_EQ(After.st_ino, Before.st_ino) << "the file was replaced";
  EXPECT_EQ(After.st_mode, Before.st_mode);
  EXPECT_EQ(korvane::test::FolderEntries(Folder / "nobody"),
            std::vector<std::string>{"golden.hex"});
}

TEST(HexSavingDeathTest, WritableFileOfTheUserIsReplacedKeepingItsMode) {
  TTempFolder Folder;
  const std::string Target = FolderOfNobody(Folder) + "/chip.hex";
  WriteFileOfNobody(Target, kPrevious, 0620);

  EXPECT_EXIT(SaveUnprivilegedAndExit(ErasedImage(16), Target), ::testing::ExitedWithCode(0),
              "saved");
  EXPECT_EQ(SplitCrLfLines(ReadFileText(Target)).size(), 3u);
  EXPECT_EQ(ModeOf(Target) & 07777, 0620u);
}

// Only root may hand a file to another owner: a save by root over a file of
// nobody's gives it back to nobody, with its mode.
TEST(HexSaving, ReplacedFileKeepsItsOwnerGroupAndModeWhereTheProcessMay) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "only root may give a file to another owner";
  TTempFolder Folder;
  const std::string Target = Folder / "chip.hex";
  for (const mode_t Mode : {0600u, 0640u, 0604u, 0751u, 02640u}) {
    WriteFileOfNobody(Target, kPrevious, Mode);
    const ino_t Previous = StatusOf(Target).st_ino;
    ASSERT_TRUE(ErasedImage(16).SaveToFile(Target));
    const struct stat Status = StatusOf(Target);
    EXPECT_NE(Status.st_ino, Previous) << "not saved by renaming";
    EXPECT_EQ(Status.st_uid, kNobody) << std::oct << Mode;
    EXPECT_EQ(Status.st_gid, kNobody) << std::oct << Mode;
    EXPECT_EQ(Status.st_mode & 07777, Mode) << std::oct << Mode;
    EXPECT_EQ(SplitCrLfLines(ReadFileText(Target)).size(), 3u);
  }
}

// Whatever the thread's signal mask was, a save leaves it so, whether it
// succeeds or fails.
TEST(HexSaving, SaveLeavesTheSignalMaskAsItFoundIt) {
  TTempFolder Folder;
  const THexFile Image = ErasedImage(64);
  const int Watched[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1};
  struct TCase {
    std::vector<int> HeldBefore;
    std::string Target;
  };
  const TCase Cases[] = {
      {{}, Folder / "chip.hex"},
      {{}, Folder / "no-such-folder/chip.hex"},
      {{SIGINT, SIGUSR1}, Folder / "chip.hex"},
      {{SIGTERM}, Folder / "no-such-folder/chip.hex"},
  };
  sigset_t Original;
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &Original), 0);
  for (const TCase& Case : Cases) {
    sigset_t Mask = Original;
    for (const int Signal : Watched)
      sigdelset(&Mask, Signal);
    for (const int Signal : Case.HeldBefore)
      sigaddset(&Mask, Signal);
    ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, &Mask, nullptr), 0);
    SaveError(Image, Case.Target);
    sigset_t After;
    ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, &Original, &After), 0);
    for (const int Signal : Watched)
      EXPECT_EQ(sigismember(&After, Signal), sigismember(&Mask, Signal))
          << "signal " << Signal << " saving to " << Case.Target;
  }
}

// A save interrupted from outside, at moments spread over the save: the
// signal still ends the process, but only once the temporary file is renamed
// or removed, so the folder holds the target alone, old or new and whole.
TEST(HexSaving, InterruptedSaveLeavesNoTemporaryFileAndAWholeTarget) {
  TTempFolder Folder;
  const std::string Target = Folder / "chip.hex";
  const THexFile Images[] = {PatternImage(65535, 7), PatternImage(65535, 13)};
  const std::vector<uint8_t> Contents[] = {BytesOf(Images[0]), BytesOf(Images[1])};
  ASSERT_TRUE(Images[0].SaveToFile(Target));
  THexFile Reference;
  Reference.SetSize(65535);
  ASSERT_TRUE(Reference.LoadFromFile(Target));
  const uint32_t WholeRecords = Reference.LoadedRecords();

  for (unsigned Round = 0; Round < 40; ++Round) {
    const int Signal = Round % 2 == 0 ? SIGINT : SIGTERM;
    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
      for (unsigned Save = 1;; ++Save)
        Images[Save % 2].SaveToFile(Target);
    }
    ::usleep((Round * 7919u) % 30000u);
    ASSERT_EQ(::kill(Child, Signal), 0);
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal)
        << "round " << Round << ": status " << Status;

    ASSERT_EQ(Folder.Entries(), std::vector<std::string>{"chip.hex"}) << "round " << Round;
    THexFile Loaded;
    Loaded.SetSize(65535);
    ASSERT_TRUE(Loaded.LoadFromFile(Target)) << "round " << Round;
    EXPECT_EQ(Loaded.LoadedRecords(), WholeRecords) << "round " << Round;
    const std::vector<uint8_t> Bytes = BytesOf(Loaded);
    EXPECT_TRUE(Bytes == Contents[0] || Bytes == Contents[1]) << "round " << Round;
  }
}
