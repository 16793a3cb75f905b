// The virtual board in-process: its state, and the serve loop on a thread of
// its own.
#include "UBoardSim.h"

#include <mutex>
#include <thread>

#include "UBoardServer.h"
#include "UBoardState.h"

namespace korvane::sim {

struct TBoardSim::TImpl {
  explicit TImpl(TBoardSimOptions Opts)
      : Options(std::move(Opts)), State(Options), Server(Options, State) {}

  TBoardSimOptions Options;
  TBoardState State;
  TBoardServer Server;
  std::thread Thread;
};

TBoardSim::TBoardSim(TBoardSimOptions Options)
    : FImpl(std::make_unique<TImpl>(std::move(Options))) {}

TBoardSim::~TBoardSim() {
  Stop();
}

void TBoardSim::Start() {
  TImpl& I = *FImpl;
  if (I.Thread.joinable()) {
    return;
  }
  try {
    I.Server.Open();
  } catch (...) {
    Stop();
    throw;
  }
  I.Thread = std::thread([&I] { I.Server.Serve(); });
}

void TBoardSim::Stop() {
  TImpl& I = *FImpl;
  if (I.Thread.joinable()) {
    I.Server.RequestStop();
    I.Thread.join();
  }
  I.Server.Close();
}

const std::string& TBoardSim::DevicePath() const {
  return FImpl->Server.Device();
}

std::vector<uint8_t> TBoardSim::Flash() const {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  return FImpl->State.Chip.Cells();
}

void TBoardSim::SetFlash(const std::vector<uint8_t>& Contents) {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  FImpl->State.Chip.SetCells(Contents);
}

bool TBoardSim::Locked() const {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  return FImpl->State.Chip.Locked();
}

TBoardSimCounters TBoardSim::Counters() const {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  return FImpl->State.Counters;
}

std::string TBoardSim::ReceivedBytes() const {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  return FImpl->State.Received;
}

}  // namespace korvane::sim
