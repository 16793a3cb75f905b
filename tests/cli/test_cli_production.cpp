// Production runs: korvane-cli program --repeat against a virtual board
// whose socket the test empties and fills, with a log, serial numbers and a
// serial file; and the pieces they are built from.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "CliTestSupport.h"
#include "UBoardSim.h"
#include "UCliOptions.h"
#include "UHexFile.h"
#include "UHexFileIO.h"
#include "UJsonLine.h"
#include "USerialCounter.h"
#include "USha256.h"

namespace korvane::test {
namespace {

using namespace std::chrono_literals;
using cli::TSerialFormat;

constexpr uid_t kNobody = 65534;

TEST(Sha256, GivesTheStandardDigests) {
  EXPECT_EQ(cli::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(cli::Sha256Hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the padding needs a second block.
  EXPECT_EQ(cli::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(cli::Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(SerialFormat, ReadsEachFormAndWritesItsBytes) {
  const TSerialFormat Decimal = cli::ParseSerialFormat("0x1FF0:dec6:42");
  EXPECT_EQ(Decimal.Address, 0x1FF0);
  EXPECT_EQ(Decimal.Bytes(42), "000042");
  EXPECT_EQ(Decimal.Largest(), 999999u);
  EXPECT_EQ(cli::ParseSerialFormat("16:le2:0").Bytes(0x1234), std::string("\x34\x12", 2));
  EXPECT_EQ(cli::ParseSerialFormat("0x10:be3:0").Bytes(0x010203), std::string("\x01\x02\x03", 3));
  for (const char* Bad : {"0x10:dec6", "0x10000:le2:0", "0x10:hex2:0", "0x10:dec0:0", "0x10:le9:0",
                          "0x10:le1:256", "0x10:dec2:100", "0xFFFF:le2:0"}) {
    EXPECT_THROW(cli::ParseSerialFormat(Bad), cli::ECliUsage) << Bad;
  }
  EXPECT_THROW(cli::ParseCommandLine({"program", "f.hex", "--serial-file", "n.txt"}),
               cli::ECliUsage);

  // Every number of one place used: the file holds the one after the largest.
  const TTempDir Dir;
  const std::string Numbers = Dir.File("serial.txt");
  WriteTextFile(Numbers, "9\n");
  cli::TSerialCounter Counter(cli::ParseSerialFormat("0x10:dec1:0"), Numbers);
  EXPECT_EQ(Counter.Take(), 9u);
  try {
    Counter.Take();
    ADD_FAILURE() << "a tenth number in one place";
  } catch (const EHexFile& Error) {
    EXPECT_STREQ(Error.what(), "Serial number 10 does not fit in 1 place of --serial");
  }
  EXPECT_EQ(ReadTextFile(Numbers), "10\n");

  // Numbers given back out of turn (another board took one since) go to the
  // next chips first, and back to the file with the one just below the top.
  cli::TSerialCounter Shared(cli::ParseSerialFormat("0x10:dec4:1"), std::nullopt);
  for (const uint64_t Number : {1u, 2u, 3u}) {
    EXPECT_EQ(Shared.Take(), Number);
  }
  EXPECT_TRUE(Shared.GiveBack(1).has_value());
  EXPECT_EQ(Shared.Take(), 1u) << "a number kept for this run";
  EXPECT_TRUE(Shared.GiveBack(1).has_value());
  EXPECT_TRUE(Shared.GiveBack(2).has_value());
  EXPECT_EQ(Shared.Spare(), (std::set<uint64_t>{1, 2}));
  EXPECT_FALSE(Shared.GiveBack(3).has_value());
  EXPECT_TRUE(Shared.Spare().empty());
  EXPECT_EQ(Shared.Take(), 1u);
}

TEST(JsonLine, GivesUtf8AsItsCharactersOtherBytesAsLatin1AndTenths) {
  const struct {
    const char* Text;
    const char* Json;
  } Cases[] = {
      {"blink-\xC3\xBC.hex", "\"blink-\\u00FC.hex\""},                  // one UTF-8 character
      {"\xE2\x82\xAC \xF0\x9F\x98\x80", "\"\\u20AC \\uD83D\\uDE00\""},  // three and four bytes
      {"\xFF\xC3(\x80", "\"\\u00FF\\u00C3(\\u0080\""},  // not UTF-8: the bytes as Latin-1
      {"\xC0\xAF\xED\xA0\x80", "\"\\u00C0\\u00AF\\u00ED\\u00A0\\u0080\""},  // overlong, surrogate
      {"a\"\\\n\x7F", "\"a\\\"\\\\\\u000A\\u007F\""},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(cli::JsonString(Case.Text), Case.Json) << Case.Text;
  }
  EXPECT_EQ(cli::TJsonLine().AddDecimal("seconds", 1.44, 1).AddDecimal("s", 12, 1).Text(),
            "{\"seconds\":1.4,\"s\":12.0}");
}

class CliProduction : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSocket("89C52");
    sim::TBoardSimOptions Options;
    Options.SocketPath = FSocket;
    FBoard = std::make_unique<sim::TBoardSim>(Options);
    FBoard->Start();
  }
  // The four bytes at 0x1000 of the chip in the socket.
  std::string SerialOnChip() const {
    const std::vector<uint8_t> Flash = FBoard->Flash();
    return {Flash.begin() + 0x1000, Flash.begin() + 0x1004};
  }
  void SetSocket(const std::string& Chip) { WriteTextFile(FSocket, Chip + "\n"); }
  // Lets the user nobody use the board and the test's folder, and gives
  // them a folder of their own, "rw"; the copy of the firmware is readable.
  TProcessOptions AsNobody() {
    EXPECT_EQ(chown(FBoard->DevicePath().c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(chmod(FDir.Path().c_str(), 0755), 0);
    std::filesystem::create_directories(FDir.File("rw"));
    EXPECT_EQ(chown(FDir.File("rw").c_str(), kNobody, kNobody), 0);
    TProcessOptions Options;
    Options.Unprivileged = true;
    return Options;
  }
  // A file of nobody's with Text and Mode.
  std::string NobodysFile(const std::string& Name, const std::string& Text, mode_t Mode) {
    const std::string Path = FDir.File(Name);
    WriteTextFile(Path, Text);
    EXPECT_EQ(chown(Path.c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(chmod(Path.c_str(), Mode), 0);
    return Path;
  }
  // Takes the chip out and puts Chip in, a poll's time apart each.
  void Swap(const std::string& Chip) {
    SetSocket("empty");
    std::this_thread::sleep_for(2500ms);
    SetSocket(Chip);
  }

  TTempDir FDir;
  std::string FSocket = FDir.File("socket");
  std::unique_ptr<sim::TBoardSim> FBoard;
  std::string Blink = ExampleFile("blink/blink.hex");
};

// The one JSON object of each line of a log or of --json's stdout that
// holds Key.
std::vector<std::string> LinesWith(const std::string& Text, const std::string& Key) {
  std::vector<std::string> Found;
  for (const std::string& Line : Lines(Text)) {
    if (Line.find(Key) != std::string::npos) {
      Found.push_back(Line);
    }
  }
  return Found;
}

TEST_F(CliProduction, AnUnusableSerialFileOrLogIsRefusedBeforeAnyPortIsOpened) {
  const TProcessOptions Nobody = AsNobody();
  std::filesystem::create_directories(FDir.File("ro"));
  const std::string ReadOnly = NobodysFile("rw/read-only.txt", "5\n", 0444);
  // Writable itself, in a folder nobody may not write.
  const std::string InReadOnlyFolder = NobodysFile("ro/serial.txt", "5\n", 0644);
  const std::string Unreadable = NobodysFile("rw/unreadable.txt", "5\n", 0200);
  const std::string Junk = NobodysFile("rw/junk.txt", "12 junk\n", 0644);
  const std::string ReadOnlyLog = NobodysFile("rw/read-only.log", "", 0444);
  const std::string Firmware = NobodysFile("rw/firmware.hex", ReadTextFile(Blink), 0644);
  const std::string FirmwareLink = FDir.File("rw/link.hex");
  std::filesystem::create_symlink(Firmware, FirmwareLink);
  const std::string Shared = NobodysFile("rw/shared.txt", "5\n", 0644);
  const struct {
    std::string Option;
    std::string Path;
    std::string Error;
    std::vector<std::string> More = {};
  } Cases[] = {
      // Two of FILE, the log and the serial file that are one file.
      {"--log", FirmwareLink,
       "FILE " + Firmware + " and the log " + FirmwareLink + " are one file; name another"},
      {"--serial-file", Firmware,
       "FILE " + Firmware + " and the serial file " + Firmware + " are one file; name another"},
      {"--log",
       Shared,
       "the log " + Shared + " and the serial file " + FDir.File("rw/../rw/shared.txt") +
           " are one file; name another",
       {"--serial-file", FDir.File("rw/../rw/shared.txt")}},
      {"--serial-file", ReadOnly,
       "Serial file " + ReadOnly + " cannot be rewritten: File access denied"},
      {"--serial-file", InReadOnlyFolder,
       "Serial file " + InReadOnlyFolder + " cannot be rewritten: File access denied"},
      {"--serial-file", Unreadable, "Serial file " + Unreadable + ": File access denied"},
      {"--serial-file", Junk, "Serial file " + Junk + " holds no number that 4 places hold"},
      {"--serial-file", "/dev/full",
       "Serial file /dev/full: Not a regular file (character device)"},
      {"--log", "/dev/full", "Log /dev/full: Not a regular file (character device)"},
      {"--log", "/dev/null", "Log /dev/null: Not a regular file (character device)"},
      {"--log", FDir.File("rw"), "Log " + FDir.File("rw") + ": Not a regular file (folder)"},
      {"--log", ReadOnlyLog, "Log " + ReadOnlyLog + ": File access denied"},
      {"--log", FDir.File("ro/new.log"), "Log " + FDir.File("ro/new.log") + ": File access denied"},
  };
  for (const auto& Case : Cases) {
    std::vector<std::string> Args{"program", Firmware, Case.Option, Case.Path};
    Args.insert(Args.end(), Case.More.begin(), Case.More.end());
    if (std::find(Args.begin(), Args.end(), "--serial-file") != Args.end()) {
      Args.insert(Args.end(), {"--serial", "0x1000:dec4:7"});
    }
    const TProcessResult Run = RunCli(Args, FBoard->DevicePath(), Nobody);
    EXPECT_EQ(Run.ExitCode, 4) << Case.Path << "\n" << Run.Err;
    EXPECT_EQ(Run.Err, "error: " + Case.Error + "\n") << Case.Path;
  }
  EXPECT_EQ(FBoard->ReceivedBytes(), "") << "no port was opened";
  for (const std::string& Kept : {ReadOnly, InReadOnlyFolder, Unreadable, Shared}) {
    EXPECT_EQ(ReadTextFile(Kept), "5\n") << Kept;
  }
  EXPECT_EQ(ReadTextFile(Firmware), ReadTextFile(Blink));
  EXPECT_EQ(ReadTextFile(Junk), "12 junk\n");
  EXPECT_EQ(ReadTextFile(ReadOnlyLog), "");
  EXPECT_FALSE(std::filesystem::exists(FDir.File("ro/new.log")));
}

TEST_F(CliProduction, ASerialFileThatCannotBeAdvancedStopsTheRunBeforeTheNextChip) {
  const TProcessOptions Nobody = AsNobody();
  const std::string Numbers = NobodysFile("rw/serial.txt", "7\n", 0644);
  const std::string Log = NobodysFile("rw/run.jsonl", "", 0644);
  auto Cli = StartCli({"program", Blink, "--repeat", "--log", Log, "--serial", "0x1000:dec4:0",
                       "--serial-file", Numbers},
                      FBoard->DevicePath(), Nobody);
  ASSERT_TRUE(Cli->Await("chip 1: OK in "));
  const size_t SentForChip1 = FBoard->ReceivedBytes().size();
  // The folder no longer takes the file's replacement.
  ASSERT_EQ(chmod(FDir.File("rw").c_str(), 0555), 0);
  Swap("89C52");
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 4) << Run.Err;
  EXPECT_TRUE(Run.Out.ends_with("1 programmed, 0 failed, 0 skipped\n")) << Run.Out;
  EXPECT_NE(Run.Err.find("error: Serial file " + Numbers +
                         " cannot be rewritten: File access denied; chip 2 was not programmed\n"),
            std::string::npos)
      << Run.Err;
  EXPECT_EQ(FBoard->ReceivedBytes().substr(SentForChip1).find('e'), std::string::npos)
      << "the second chip was not even erased";
  EXPECT_EQ(ReadTextFile(Numbers), "8\n");
  EXPECT_EQ(Lines(ReadTextFile(Log)).size(), 1u);
}

TEST_F(CliProduction, ALogThatStopsTakingRecordsStopsTheRunAfterThatChip) {
  const TProcessOptions Nobody = AsNobody();
  const std::string Numbers = NobodysFile("rw/serial.txt", "7\n", 0644);
  const std::string Log = NobodysFile("rw/run.jsonl", "", 0644);
  auto Cli = StartCli({"program", Blink, "--repeat", "--log", Log, "--serial", "0x1000:dec4:0",
                       "--serial-file", Numbers},
                      FBoard->DevicePath(), Nobody);
  ASSERT_TRUE(Cli->Await("chip 1: OK in "));
  ASSERT_EQ(chmod(Log.c_str(), 0444), 0);
  Swap("89C52");
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 4) << Run.Err;
  EXPECT_NE(Run.Out.find("chip 2: OK in "), std::string::npos) << Run.Out;
  EXPECT_TRUE(Run.Out.ends_with("2 programmed, 0 failed, 0 skipped\n")) << Run.Out;
  EXPECT_NE(Run.Err.find("error: Log " + Log +
                         ": File access denied; the record of chip 2 is not in it\n"),
            std::string::npos)
      << Run.Err;
  EXPECT_EQ(SerialOnChip(), "0008");
  EXPECT_EQ(ReadTextFile(Numbers), "9\n") << "the number is used up all the same";
  EXPECT_EQ(Lines(ReadTextFile(Log)).size(), 1u);
}

// A disk of 64 KB (tmpfs) that fills up: before the run, or between chips.
TEST_F(CliProduction, ALogOnAFullDiskStopsTheRunBeforeTheChip) {
  const std::string Disk = FDir.File("disk");
  std::filesystem::create_directories(Disk);
  if (mount("tmpfs", Disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
  }
  const struct TMounted {
    std::string Path;
    ~TMounted() { umount(Path.c_str()); }
  } Mounted{Disk};
  const auto Fill = [&](const std::string& Name) {
    std::ofstream Filler(Disk + "/" + Name, std::ios::binary);
    const std::string Block(4096, 'x');
    while (Filler.write(Block.data(), Block.size())) {
    }
  };
  const std::string Log = Disk + "/run.jsonl";
  auto Cli = StartCli({"program", Blink, "--repeat", "--log", Log}, FBoard->DevicePath());
  ASSERT_TRUE(Cli->Await("chip 1: OK in "));
  Fill("filler-1");
  Swap("89C52");
  TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 4) << Run.Err;
  EXPECT_NE(Run.Err.find("error: Log " + Log +
                         ": No space left on device (0 bytes free); chip 2 was not programmed"),
            std::string::npos)
      << Run.Err;
  EXPECT_EQ(Lines(ReadTextFile(Log)).size(), 1u);

  // Full before the run: no port is opened.
  const size_t Sent = FBoard->ReceivedBytes().size();
  Fill("filler-2");
  Run = RunCli({"program", Blink, "--log", Disk + "/second.jsonl"}, FBoard->DevicePath());
  EXPECT_EQ(Run.ExitCode, 4) << Run.Err;
  EXPECT_EQ(FBoard->ReceivedBytes().size(), Sent);
}

TEST_F(CliProduction, The2051RunEndsAtTheEndOfItsInputAsBetweenChips) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C2051";
  sim::TBoardSim Board2051(Options);
  Board2051.Start();
  const std::string Numbers = FDir.File("serial.txt");
  TProcessOptions OneEnter;
  OneEnter.Input = "\n";
  OneEnter.TimeoutSeconds = 30;
  const TProcessResult Run =
      RunCli({"program", Blink, "--repeat", "--serial", "0x700:dec4:1", "--serial-file", Numbers},
             Board2051.DevicePath(), OneEnter);
  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;
  EXPECT_TRUE(Run.Out.ends_with("2 programmed, 0 failed, 0 skipped\n")) << Run.Out;
  EXPECT_EQ(LinesWith(Run.Out, ": OK in ").size(), 2u) << Run.Out;
  EXPECT_TRUE(Run.Err.ends_with(
      "Interrupted: the input ended between chips; every chip counted above is finished\n"))
      << Run.Err;
  EXPECT_EQ(ReadTextFile(Numbers), "3\n");
}

TEST_F(CliProduction, ABoardLostMidChipGivesTheChipItsRecordAndTheRunItsSummary) {
  sim::TBoardSimOptions Options;
  Options.HangUpAtWriteByte = 50;
  sim::TBoardSim Board(Options);
  Board.Start();
  const std::string Log = FDir.File("run.jsonl");
  const std::string Numbers = FDir.File("serial.txt");
  WriteTextFile(Numbers, "7\n");
  const TProcessResult Run = RunCli({"program", Blink, "--repeat", "--json", "--log", Log,
                                     "--serial", "0x1000:dec4:0", "--serial-file", Numbers},
                                    Board.DevicePath());
  EXPECT_EQ(Run.ExitCode, 3) << Run.Err;
  const std::vector<std::string> Chips = LinesWith(Run.Out, "\"chip_no\":1,");
  ASSERT_EQ(Chips.size(), 1u) << Run.Out;
  EXPECT_NE(Chips[0].find("\"exit\":1,\"status\":\"Writing... [4100 Bytes]\""), std::string::npos)
      << Chips[0];
  EXPECT_NE(Chips[0].find("\"serial\":7,\"error\":\""), std::string::npos) << Chips[0];
  EXPECT_TRUE(Lines(Run.Out).back().starts_with(
      "{\"event\":\"summary\",\"command\":\"program\",\"exit\":3,"))
      << Run.Out;
  EXPECT_NE(Lines(Run.Out).back().find("\"programmed\":0,\"failed\":1,\"skipped\":0"),
            std::string::npos);
  const std::vector<std::string> Records = Lines(ReadTextFile(Log));
  ASSERT_EQ(Records.size(), 1u);
  EXPECT_NE(Records[0].find("\"result\":\"failed\",\"status\":\"Writing... [4100 Bytes]\","
                            "\"error\":\""),
            std::string::npos)
      << Records[0];
  EXPECT_EQ(ReadTextFile(Numbers), "7\n") << "a chip not verified gives its number back";
}

TEST_F(CliProduction, TheFileIsReadOnceAndEveryChipGetsThatImage) {
  const std::string File = FDir.File("firmware.hex");
  std::filesystem::copy_file(Blink, File);
  const std::string Sha = cli::Sha256Hex(ReadTextFile(File));
  const std::string Log = FDir.File("run.jsonl");
  auto Cli = StartCli({"program", File, "--repeat", "--log", Log, "--serial", "0x1000:dec4:1"},
                      FBoard->DevicePath());
  ASSERT_TRUE(Cli->Await("chip 1: OK in "));
  const std::vector<uint8_t> First = FBoard->Flash();
  // Replaced by a file that uses the serial number's place, then gone.
  WriteHexFile(File, std::vector<uint8_t>(0x1010, 0x5A));
  Swap("89C52");
  ASSERT_TRUE(Cli->Await("chip 2: OK in "));
  std::filesystem::remove(File);
  Swap("89C52");
  ASSERT_TRUE(Cli->Await("chip 3: OK in "));
  std::this_thread::sleep_for(300ms);
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;
  std::vector<uint8_t> Third = FBoard->Flash();
  EXPECT_EQ(SerialOnChip(), "0003");
  std::copy_n("0001", 4, Third.begin() + 0x1000);
  EXPECT_EQ(Third, First) << "the image of the first file, with its own number";
  const std::vector<std::string> Records = Lines(ReadTextFile(Log));
  ASSERT_EQ(Records.size(), 3u);
  for (const std::string& Record : Records) {
    EXPECT_NE(Record.find("\"file_sha256\":\"" + Sha + "\""), std::string::npos) << Record;
    EXPECT_NE(Record.find("\"result\":\"ok\""), std::string::npos) << Record;
  }
}

TEST_F(CliProduction, OneChipWithALogIsRecordedInTenthsWithItsNameInUtf8) {
  const std::string File = FDir.File("blink-\xC3\xBC-\xFF.hex");
  std::filesystem::copy_file(Blink, File);
  const std::string Log = FDir.File("one.jsonl");
  const TProcessResult Run =
      RunCli({"program", File, "--log", Log, "--json"}, FBoard->DevicePath());
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  const std::regex Tenths(".*\"seconds\":[0-9]+\\.[0-9][,}].*");
  const std::vector<std::string> Chips = LinesWith(Run.Out, "\"chip_no\":1,");
  ASSERT_EQ(Chips.size(), 1u) << Run.Out;
  EXPECT_TRUE(std::regex_match(Chips[0], Tenths)) << Chips[0];
  const std::vector<std::string> Records = Lines(ReadTextFile(Log));
  ASSERT_EQ(Records.size(), 1u) << "--log alone records its one chip";
  EXPECT_TRUE(std::regex_match(Records[0], Tenths)) << Records[0];
  EXPECT_NE(Records[0].find("blink-\\u00FC-\\u00FF.hex\",\"file_sha256\""), std::string::npos)
      << Records[0];
  EXPECT_NE(Records[0].find("\"result\":\"ok\",\"status\":\"Complete!\""), std::string::npos);
}

TEST_F(CliProduction, ProgramsEachNewChipSkipsAnotherKindAndLogsEveryOne) {
  const std::string Log = FDir.File("run.jsonl");
  const std::string Numbers = FDir.File("serial.txt");
  auto Cli = StartCli({"program", Blink, "--repeat", "--log", Log, "--serial", "0x1000:dec4:7",
                       "--serial-file", Numbers},
                      FBoard->DevicePath());
  ASSERT_TRUE(Cli->Await("chip 1: OK in "));
  EXPECT_EQ(SerialOnChip(), "0007");
  Swap("89C51");
  ASSERT_TRUE(Cli->Await("chip 2: SKIPPED (89C51 in the socket, the run is for 89C52)"));
  Swap("89C52");
  ASSERT_TRUE(Cli->Await("chip 3: OK in "));
  EXPECT_EQ(SerialOnChip(), "0008") << "a new chip, the next number";
  std::this_thread::sleep_for(300ms);
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();

  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;
  EXPECT_TRUE(Run.Out.ends_with("2 programmed, 0 failed, 1 skipped\n")) << Run.Out;
  EXPECT_NE(Run.Err.find("Remove the chip and insert the next one (Ctrl-C ends)"),
            std::string::npos);
  EXPECT_TRUE(
      Run.Err.ends_with("Interrupted: between chips; every chip counted above is "
                        "finished\n"))
      << Run.Err;
  EXPECT_EQ(ReadTextFile(Numbers), "9\n");
  const std::vector<std::string> Records = Lines(ReadTextFile(Log));
  ASSERT_EQ(Records.size(), 3u);
  const std::string Sha = cli::Sha256Hex(ReadTextFile(Blink));
  EXPECT_NE(Records[0].find("\"chip_no\":1,\"port\":\"" + FBoard->DevicePath() +
                            "\",\"chip\":\"89C52\",\"file\":\"" + Blink + "\",\"file_sha256\":\"" +
                            Sha + "\",\"serial\":7,"),
            std::string::npos)
      << Records[0];
  EXPECT_NE(Records[0].find("\"result\":\"ok\",\"status\":\"Complete!\",\"seconds\":"),
            std::string::npos);
  EXPECT_NE(Records[1].find("\"chip\":\"89C51\""), std::string::npos) << Records[1];
  EXPECT_NE(Records[1].find("\"result\":\"skipped\""), std::string::npos);
  EXPECT_NE(Records[2].find("\"serial\":8,"), std::string::npos) << Records[2];
}

// A number that reached a chip's flash is that chip's, whatever the result;
// one that reached none is given back; two runs on one file take turns.
TEST_F(CliProduction, NoSerialNumberIsGivenTwiceAcrossFailuresSignalsAndTwoRuns) {
  const std::string Numbers = FDir.File("serial.txt");
  WriteTextFile(Numbers, "900\n");
  const std::vector<std::string> Args = {"program",       Blink,           "--json", "--serial",
                                         "0x0400:dec4:0", "--serial-file", Numbers};
  const auto Carried = [](const sim::TBoardSim& Board) {
    const std::vector<uint8_t> Flash = Board.Flash();
    return std::string(Flash.begin() + 0x400, Flash.begin() + 0x404);
  };
  sim::TBoardSimOptions Corrupt;
  Corrupt.CorruptByteAt = 3;
  sim::TBoardSim Faulty(Corrupt);
  Faulty.Start();
  for (const char* Number : {"0900", "0901", "0902"}) {
    EXPECT_EQ(RunCli(Args, Faulty.DevicePath()).ExitCode, 1);
    EXPECT_EQ(Carried(Faulty), Number) << "each failed chip carries a number of its own";
  }
  EXPECT_EQ(ReadTextFile(Numbers), "903\n");

  // A stop before the write reaches the number's place, and one after it.
  sim::TBoardSimOptions Paced;
  Paced.Realtime = true;
  sim::TBoardSim Slow(Paced);
  Slow.Start();
  for (const auto& [Moment, After] :
       {std::pair{"\"phase\":\"write\"", "903\n"}, std::pair{"\"text\":\"Verify...\"", "904\n"}}) {
    auto Cli = StartCli(Args, Slow.DevicePath());
    ASSERT_TRUE(Cli->Await(Moment));
    Cli->Signal(SIGINT);
    EXPECT_EQ(Cli->Finish().ExitCode, 130);
    EXPECT_EQ(ReadTextFile(Numbers), After) << Moment;
  }
  EXPECT_EQ(Carried(Slow), "0903");

  // Two boards, one file: both runs wait for the file's lock, which the
  // test holds while they start, and then take their numbers in turn.
  sim::TBoardSim Second(sim::TBoardSimOptions{});
  Second.Start();
  std::vector<std::unique_ptr<TChildProcess>> Runs;
  {
    const TFileLock Held(Numbers + ".lock");
    for (const sim::TBoardSim* Board : {FBoard.get(), &Second}) {
      Runs.push_back(StartCli(Args, Board->DevicePath()));
    }
    std::this_thread::sleep_for(1s);
  }
  std::set<std::string> Given;
  for (auto& Run : Runs) {
    const TProcessResult Result = Run->Finish();
    EXPECT_EQ(Result.ExitCode, 0) << Result.Err;
    std::smatch Serial;
    ASSERT_TRUE(std::regex_search(Result.Out, Serial, std::regex("\"serial\":(\\d+)")));
    Given.insert(Serial[1]);
  }
  EXPECT_EQ(Given, (std::set<std::string>{"904", "905"}));
  EXPECT_EQ(ReadTextFile(Numbers), "906\n");
}

TEST_F(CliProduction, AUsedPlaceOrOnePastTheChipIsRefused) {
  // The file itself uses address 0x10: no number may go there.
  const std::string Sent = FBoard->ReceivedBytes();
  const TProcessResult Run =
      RunCli({"program", Blink, "--serial", "0x10:dec2:0"}, FBoard->DevicePath());
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_NE(Run.Err.find(": The serial number's place 0x0010-0x0011 is not free"),
            std::string::npos)
      << Run.Err;
  EXPECT_EQ(FBoard->ReceivedBytes(), Sent) << "the board was not touched";

  // A place past the chip in the socket is refused naming the option.
  SetSocket("89C51");
  const TProcessResult Past =
      RunCli({"program", Blink, "--serial", "0x1FF0:dec4:1"}, FBoard->DevicePath());
  EXPECT_EQ(Past.ExitCode, 4);
  EXPECT_NE(Past.Err.find("error: --serial's place 0x1FF0-0x1FF3 is past the 89C51's memory "
                          "(0x0000-0x0FFF)"),
            std::string::npos)
      << Past.Err;
  EXPECT_EQ(FBoard->ReceivedBytes().find('e'), std::string::npos);
}

TEST_F(CliProduction, ARunStartedWithAnEmptySocketWaitsForTheFirstChip) {
  SetSocket("empty");
  auto Cli = StartCli({"program", Blink, "--repeat"}, FBoard->DevicePath());
  ASSERT_TRUE(Cli->Await("No chip in the socket: insert the first one (Ctrl-C ends)"));
  SetSocket("89C52");
  ASSERT_TRUE(Cli->Await("chip 1: OK in "));
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;
  EXPECT_TRUE(Run.Out.ends_with("1 programmed, 0 failed, 0 skipped\n")) << Run.Out;
}

// The second Ctrl-C leaves the board in its stream, not the bookkeeping;
// the scans after it say that the board needs a reset.
TEST_F(CliProduction, ASecondStopAbandonsTheBoardButWritesTheRecordAndTheSummary) {
  sim::TBoardSimOptions Paced;
  Paced.Realtime = true;
  sim::TBoardSim Slow(Paced);
  Slow.Start();
  const std::string Log = FDir.File("run.jsonl");
  const std::string Numbers = FDir.File("serial.txt");
  WriteTextFile(Numbers, "500\n");
  auto Cli = StartCli({"program", Blink, "--repeat", "--json", "--log", Log, "--serial",
                       "0x1000:dec4:0", "--serial-file", Numbers},
                      Slow.DevicePath());
  const TProcessResult Run = StopTwiceMidWrite(*Cli);
  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;
  const std::vector<std::string> Chip = LinesWith(Run.Out, "\"chip_no\":1,");
  ASSERT_EQ(Chip.size(), 1u) << Run.Out;
  EXPECT_NE(Chip[0].find("\"error\":\"abandoned in its stream by a second stop"), std::string::npos)
      << Chip[0];
  EXPECT_TRUE(Lines(Run.Out).back().starts_with("{\"event\":\"summary\""));
  EXPECT_NE(Lines(Run.Out).back().find("reset it"), std::string::npos) << Run.Out;
  const std::vector<std::string> Records = Lines(ReadTextFile(Log));
  ASSERT_EQ(Records.size(), 1u);
  EXPECT_NE(Records[0].find("\"result\":\"failed\""), std::string::npos) << Records[0];
  EXPECT_EQ(ReadTextFile(Numbers), "500\n") << "the write never reached the number's place";

  const TProcessResult Detect = RunCli({"detect"}, Slow.DevicePath());
  EXPECT_EQ(Detect.ExitCode, 3);
  EXPECT_NE(Detect.Err.find("fix: reset the board"), std::string::npos) << Detect.Err;
  const TProcessResult Doctor = RunCli({"doctor"}, Slow.DevicePath());
  EXPECT_NE(Doctor.Out.find(": stuck in its stream"), std::string::npos) << Doctor.Out;
}

TEST_F(CliProduction, ARunWhoseBoardGoesEndsWithItsSummaryAndExitThree) {
  auto Cli = StartCli({"program", Blink, "--repeat", "--json"}, FBoard->DevicePath());
  ASSERT_TRUE(Cli->Await("\"chip_no\":1"));
  SetSocket("empty");
  std::this_thread::sleep_for(2500ms);
  FBoard->Stop();
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 3) << Run.Err;
  const std::vector<std::string> Events = Lines(Run.Out);
  ASSERT_FALSE(Events.empty());
  EXPECT_TRUE(
      Events.back().starts_with("{\"event\":\"summary\",\"command\":\"program\",\"exit\":3"))
      << Events.back();
  EXPECT_NE(Events.back().find("\"programmed\":1,\"failed\":0,\"skipped\":0"), std::string::npos);
  EXPECT_NE(Run.Err.find("error: the programmer board is gone from "), std::string::npos)
      << Run.Err;
}

}  // namespace
}  // namespace korvane::test
