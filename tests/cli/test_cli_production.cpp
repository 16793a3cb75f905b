// Production runs: korvane-cli program --repeat against a virtual board
// whose socket the test empties and fills, with a log, serial numbers and a
// serial file; and the pieces they are built from.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "CliTestSupport.h"
#include "UBoardSim.h"
#include "UCliOptions.h"
#include "USha256.h"

namespace korvane::test {
namespace {

using namespace std::chrono_literals;
using cli::TSerialFormat;

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

TEST_F(CliProduction, AFailedChipKeepsItsNumberAndAUsedPlaceIsRefused) {
  const std::string Numbers = FDir.File("serial.txt");
  WriteTextFile(Numbers, "41\n");
  sim::TBoardSimOptions Corrupt;
  Corrupt.CorruptByteAt = 3;
  sim::TBoardSim Faulty(Corrupt);
  Faulty.Start();
  TProcessResult Run =
      RunCli({"program", Blink, "--serial", "0x1000:le2:0", "--serial-file", Numbers},
             Faulty.DevicePath());
  EXPECT_EQ(Run.ExitCode, 1) << Run.Err;
  EXPECT_EQ(ReadTextFile(Numbers), "41\n");
  Run = RunCli({"program", Blink, "--serial", "0x1000:le2:0", "--serial-file", Numbers},
               FBoard->DevicePath());
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(ReadTextFile(Numbers), "42\n");
  EXPECT_EQ(FBoard->Flash()[0x1000], 41);

  // The file itself uses address 0x10: no number may go there.
  const std::string Sent = FBoard->ReceivedBytes();
  Run = RunCli({"program", Blink, "--serial", "0x10:dec2:0"}, FBoard->DevicePath());
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_NE(Run.Err.find("error: The serial number's place 0x0010-0x0011 is not free"),
            std::string::npos)
      << Run.Err;
  EXPECT_EQ(FBoard->ReceivedBytes(), Sent) << "the board was not touched";
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
