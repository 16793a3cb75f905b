#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "BoardBrokerProtocol.h"
#include "TestBoard.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

// The folder korvane-board-broker watches, as scripts/test-windows.sh names it.
const char FolderVariable[] = "KORVANE_BOARD_BROKER_DIR";
constexpr auto AnswerLimit = std::chrono::seconds(30);

// Sends Request; the answer after its "ok ".
std::string Ask(const std::string& Request) {
  const fs::path Folder = std::getenv(FolderVariable);
  const fs::path Draft = Folder / (std::string(broker::RequestFile) + ".new");
  std::ofstream(Draft, std::ios::binary) << Request;
  fs::rename(Draft, Folder / broker::RequestFile);
  const fs::path AnswerPath = Folder / broker::AnswerFile;
  const auto Deadline = std::chrono::steady_clock::now() + AnswerLimit;
  while (!fs::exists(AnswerPath)) {
    if (std::chrono::steady_clock::now() > Deadline) {
      throw std::runtime_error("korvane-board-broker did not answer '" + Request + "'");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::ostringstream Text;
  Text << std::ifstream(AnswerPath, std::ios::binary).rdbuf();
  fs::remove(AnswerPath);
  std::string Answer = Text.str();
  while (!Answer.empty() && (Answer.back() == '\n' || Answer.back() == '\r')) {
    Answer.pop_back();
  }
  if (Answer.rfind("ok", 0) != 0) {
    throw std::runtime_error("korvane-board-broker: '" + Request + "': " + Answer);
  }
  return Answer.size() > 3 ? Answer.substr(3) : "";
}

class TBrokeredBoard : public TTestBoard {
 public:
  explicit TBrokeredBoard(const sim::TBoardSimOptions& Options) {
    std::istringstream Answer(Ask("start\n" + broker::OptionLines(Options)));
    Answer >> FId >> FPort;
  }
  ~TBrokeredBoard() override {
    try {
      Ask("stop " + FId);
    } catch (const std::exception&) {
      // The broker stops every board it still holds when it ends.
    }
  }
  const std::string& Port() const override { return FPort; }
  std::vector<uint8_t> Flash() const override {
    const std::string Bytes = broker::BytesOf(Ask("flash " + FId));
    return {Bytes.begin(), Bytes.end()};
  }
  void SetFlash(const std::vector<uint8_t>& Contents) override {
    Ask("setflash " + FId + " " + broker::HexOf(std::string(Contents.begin(), Contents.end())));
  }
  bool Locked() const override { return Ask("locked " + FId) == "1"; }
  std::string ReceivedBytes() const override { return broker::BytesOf(Ask("received " + FId)); }

 private:
  std::string FId;
  std::string FPort;
};

}  // namespace

std::string TestBoardMissing() {
  return std::getenv(FolderVariable) != nullptr
             ? ""
             : std::string(FolderVariable) +
                   " (korvane-board-broker's folder) is set by scripts/test-windows.sh";
}

std::unique_ptr<TTestBoard> StartTestBoard(const sim::TBoardSimOptions& Options) {
  return std::make_unique<TBrokeredBoard>(Options);
}

}  // namespace korvane::test
