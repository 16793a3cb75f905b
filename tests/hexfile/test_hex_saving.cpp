// Saving over the user's files: a save replaces the previous file whole or
// not at all, never leaves a temporary file behind, and reports real
// failures of the file system in words.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// For a child process: saves as the user nobody when running as root.
[[noreturn]] void SaveUnprivilegedAndExit(const THexFile& Image, const std::string& Path) {
  const uid_t Nobody = 65534;
  if (::geteuid() == 0 &&
      (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
    ::_exit(5);
  SaveAndExit(Image, Path);
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
