// Bad input at the edges, given to korvane-cli as a user would: each gives
// its own message and exit status, touches neither the chip nor any file it
// should not, and leaves nothing behind.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "CliTestSupport.h"
#include "UBoardSim.h"

namespace korvane::test {
namespace {

// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& Path) {
  std::vector<std::string> Names;
  if (DIR* Folder = opendir(Path.c_str())) {
    while (dirent* Entry = readdir(Folder)) {
      const std::string Name = Entry->d_name;
      if (Name != "." && Name != "..") {
        Names.push_back(Name);
      }
    }
    closedir(Folder);
  }
  std::sort(Names.begin(), Names.end());
  return Names;
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::TBoardSimOptions Options;
    Options.Chip = "89C51";
    FBoard = std::make_unique<sim::TBoardSim>(Options);
    FBoard->Start();
    // The unprivileged runs need to reach the folder and the board's line.
    chmod(FDir.Path().c_str(), 0755);
    chmod(FBoard->DevicePath().c_str(), 0666);
  }
  TProcessResult Cli(const std::vector<std::string>& Args, bool Unprivileged = false) {
    TProcessOptions Options;
    Options.Unprivileged = Unprivileged;
    Options.TimeoutSeconds = 60;
    return RunCli(Args, FBoard->DevicePath(), Options);
  }
  // The file is refused with Message before the chip is touched; what the
  // run said on stderr.
  std::string ExpectRefused(const std::string& File, const std::string& Message,
                            bool Unprivileged = false) {
    const auto Before = FolderNames(FDir.Path());
    const TProcessResult Run = Cli({"program", File}, Unprivileged);
    EXPECT_EQ(Run.ExitCode, 4) << Run.Out << Run.Err;
    EXPECT_EQ(Run.Out, "");
    EXPECT_NE(Run.Err.find("error: " + File + ": " + Message + "\n"), std::string::npos) << Run.Err;
    EXPECT_EQ(FBoard->ReceivedBytes().find('e'), std::string::npos) << "the chip was erased";
    EXPECT_EQ(FolderNames(FDir.Path()), Before);
    return Run.Err;
  }

  TTempDir FDir;
  std::unique_ptr<sim::TBoardSim> FBoard;
};

TEST_F(BadInput, MissingFile) {
  ExpectRefused(FDir.File("missing.hex"), "File not found");
}

TEST_F(BadInput, Folder) {
  mkdir(FDir.File("folder.hex").c_str(), 0755);
  ExpectRefused(FDir.File("folder.hex"), "Not a regular file (folder)");
}

TEST_F(BadInput, UnreadableFile) {
  const std::string File = FDir.File("secret.hex");
  WriteTextFile(File, ":00000001FF\r\n");
  chmod(File.c_str(), 0000);
  ExpectRefused(File, "File access denied", true);
}

// An empty file (a save that failed, a download cut off) gives the chip
// nothing: refused, named, the chip left as it was. Erasing is "erase".
TEST_F(BadInput, EmptyFileIsRefusedAndNamed) {
  const std::string File = FDir.File("empty.hex");
  WriteTextFile(File, "");
  FBoard->SetFlash(std::vector<uint8_t>(4096, 0x12));
  const std::string Said = ExpectRefused(File, "No HEX record in file");
  EXPECT_NE(Said.find("hint: " + File + " holds no Intel HEX record at all"), std::string::npos)
      << Said;
  EXPECT_EQ(FBoard->Flash(), std::vector<uint8_t>(4096, 0x12));
}

TEST_F(BadInput, HundredMegabytesOfZeros) {
  const std::string File = FDir.File("huge.hex");
  const int Handle = open(File.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(Handle, 0);
  ASSERT_EQ(ftruncate(Handle, 100 * 1024 * 1024), 0);
  close(Handle);
  ExpectRefused(File, "File too large (104857600 bytes; at most 16777216)");
}

TEST_F(BadInput, BinaryGarbage) {
  std::string Bytes(4096, '\0');
  std::mt19937 Random(3);
  for (char& Byte : Bytes) {
    Byte = static_cast<char>(Random() % 256);
  }
  WriteTextFile(FDir.File("garbage.hex"), Bytes);
  ExpectRefused(FDir.File("garbage.hex"), "No HEX record in file");
}

TEST_F(BadInput, LineOfAMillionCharacters) {
  // Count 11, address 1111, type 11: the type is refused whatever follows.
  WriteTextFile(FDir.File("long.hex"), ":" + std::string(1000000, '1') + "\r\n:00000001FF\r\n");
  ExpectRefused(FDir.File("long.hex"), "Non subport block type at line:1");
}

TEST_F(BadInput, NamesWithSpacesAndNonAsciiCharactersWork) {
  const std::string In = FDir.File("my fïrmware ✓.hex");
  WriteTextFile(In, ":0400000001020304F2\r\n:00000001FF\r\n");
  TProcessResult Run = Cli({"program", In});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  EXPECT_NE(Run.Out.find("\nComplete!\n4 bytes written and verified in "), std::string::npos)
      << Run.Out;

  const std::string Out = FDir.File("rückgelesen – chip.hex");
  Run = Cli({"read", Out});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  const std::vector<uint8_t> Read = LoadHexFile(Out, 4096);
  EXPECT_EQ(std::vector<uint8_t>(Read.begin(), Read.begin() + 4),
            (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(BadInput, ReadIntoAReadOnlyFolderKeepsItsFile) {
  const std::string Folder = FDir.File("read-only");
  mkdir(Folder.c_str(), 0755);
  const std::string Out = Folder + "/chip.hex";
  WriteTextFile(Out, "previous contents\n");
  chmod(Folder.c_str(), 0555);

  const TProcessResult Run = Cli({"read", Out}, true);
  EXPECT_EQ(Run.ExitCode, 4) << Run.Out << Run.Err;
  EXPECT_TRUE(Run.Err.ends_with("error: " + Out + ": File access denied\n")) << Run.Err;
  EXPECT_EQ(ReadTextFile(Out), "previous contents\n");
  EXPECT_EQ(FolderNames(Folder), (std::vector<std::string>{"chip.hex"}));
  chmod(Folder.c_str(), 0755);
}

TEST_F(BadInput, ReadOntoAFolderLeavesItAlone) {
  const std::string Folder = FDir.File("out.hex");
  mkdir(Folder.c_str(), 0755);
  const TProcessResult Run = Cli({"read", Folder});
  EXPECT_EQ(Run.ExitCode, 4) << Run.Out << Run.Err;
  EXPECT_NE(Run.Err.find("error: "), std::string::npos) << Run.Err;
  struct stat Info {};
  ASSERT_EQ(stat(Folder.c_str(), &Info), 0);
  EXPECT_TRUE(S_ISDIR(Info.st_mode));
  EXPECT_EQ(FolderNames(FDir.Path()), (std::vector<std::string>{"out.hex"}));
}

}  // namespace
}  // namespace korvane::test
