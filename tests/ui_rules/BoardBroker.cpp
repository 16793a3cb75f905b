// korvane-board-broker FOLDER DOSDEVICES: keeps the virtual boards of the
// rule suite while it runs under wine. It answers the requests the suite
// leaves in FOLDER (BoardBrokerProtocol.h), and links each board it starts
// as a COM port of its own (com10 and up) in the wine prefix's DOSDEVICES
// folder. It ends on SIGINT or SIGTERM, or after an hour, and stops its
// boards, which removes their links.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "BoardBrokerProtocol.h"
#include "UBoardSim.h"

namespace {

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::test::broker;

volatile sig_atomic_t StopRequested = 0;

void RequestStop(int) {
  StopRequested = 1;
}

class TBroker {
 public:
  explicit TBroker(fs::path DosDevices) : FDosDevices(std::move(DosDevices)) {}

  std::string Answer(std::istream& Request) {
    std::string Verb;
    int Id = -1;
    Request >> Verb;
    if (Verb == "start") {
      sim::TBoardSimOptions Options = OptionsFromLines(Request);
      const std::string Name = "COM" + std::to_string(10 + FNext % 90);
      Options.LinkPath = (FDosDevices / ("com" + std::to_string(10 + FNext % 90))).string();
      auto Board = std::make_unique<sim::TBoardSim>(Options);
      Board->Start();
      FBoards[FNext] = std::move(Board);
      return "ok " + std::to_string(FNext++) + " " + Name;
    }
    Request >> Id;
    const auto Found = FBoards.find(Id);
    if (Found == FBoards.end()) {
      return "error no board " + std::to_string(Id) + " for '" + Verb + "'";
    }
    sim::TBoardSim& Board = *Found->second;
    if (Verb == "stop") {
      FBoards.erase(Found);
      return "ok";
    }
    if (Verb == "flash") {
      const std::vector<uint8_t> Flash = Board.Flash();
      return "ok " + HexOf(std::string(Flash.begin(), Flash.end()));
    }
    if (Verb == "setflash") {
      std::string Hex;
      Request >> Hex;
      const std::string Bytes = BytesOf(Hex);
      Board.SetFlash(std::vector<uint8_t>(Bytes.begin(), Bytes.end()));
      return "ok";
    }
    if (Verb == "locked") {
      return Board.Locked() ? "ok 1" : "ok 0";
    }
    if (Verb == "received") {
      return "ok " + HexOf(Board.ReceivedBytes());
    }
    return "error unknown request '" + Verb + "'";
  }

 private:
  fs::path FDosDevices;
  int FNext = 0;
  std::map<int, std::unique_ptr<sim::TBoardSim>> FBoards;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: korvane-board-broker FOLDER DOSDEVICES\n");
    return 2;
  }
  signal(SIGINT, RequestStop);
  signal(SIGTERM, RequestStop);
  const fs::path Folder = argv[1];
  TBroker Broker(argv[2]);
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::hours(1);
  while (StopRequested == 0 && std::chrono::steady_clock::now() < Deadline) {
    const fs::path Request = Folder / RequestFile;
    if (!fs::exists(Request)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    std::ostringstream Text;
    Text << std::ifstream(Request, std::ios::binary).rdbuf();
    fs::remove(Request);
    std::istringstream Lines(Text.str());
    std::string Answer;
    try {
      Answer = Broker.Answer(Lines);
    } catch (const std::exception& E) {
      Answer = std::string("error ") + E.what();
    }
    const fs::path Draft = Folder / (std::string(AnswerFile) + ".new");
    std::ofstream(Draft, std::ios::binary) << Answer << '\n';
    fs::rename(Draft, Folder / AnswerFile);
  }
  return 0;
}
