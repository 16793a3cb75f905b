#include "TestBoard.h"
#include "UBoardSim.h"

namespace korvane::test {
namespace {

class TInProcessBoard : public TTestBoard {
 public:
  explicit TInProcessBoard(const sim::TBoardSimOptions& Options) : FBoard(Options) {
    FBoard.Start();
  }
  const std::string& Port() const override { return FBoard.DevicePath(); }
  std::vector<uint8_t> Flash() const override { return FBoard.Flash(); }
  void SetFlash(const std::vector<uint8_t>& Contents) override { FBoard.SetFlash(Contents); }
  bool Locked() const override { return FBoard.Locked(); }
  std::string ReceivedBytes() const override { return FBoard.ReceivedBytes(); }

 private:
  sim::TBoardSim FBoard;
};

}  // namespace

std::string TestBoardMissing() {
  return "";
}

std::unique_ptr<TTestBoard> StartTestBoard(const sim::TBoardSimOptions& Options) {
  return std::make_unique<TInProcessBoard>(Options);
}

}  // namespace korvane::test
