#include "UInterrupt.h"

#include <atomic>
#include <cstdlib>

#include "UInterruptBinding.h"

namespace korvane {

namespace {

// The one watch's state; a signal handler can reach nothing else.
std::atomic<const TComPort*> GuardedPort{nullptr};
std::atomic<bool> Deferred{false};
std::atomic<bool> Recorded{false};
std::atomic<bool> RecordsKept{false};
std::atomic<const char*> ClosingWords{nullptr};

static_assert(std::atomic<const TComPort*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

[[noreturn]] void EndNow(const char* Text) noexcept {
  if (const TComPort* Port = GuardedPort.load()) {
    Port->ReleaseNow();
  }
  if (const char* Words = ClosingWords.load()) {
    binding::WriteOut(Words);
  }
  binding::EndProcess(Text, TInterruptWatch::ExitCode);
}

}  // namespace

void OnStopRequest() noexcept {
  if (!Deferred.load()) {
    EndNow("Interrupted\n");
  }
  if (Recorded.exchange(true)) {
    const TComPort* Port = GuardedPort.exchange(nullptr);
    if (RecordsKept.load() && (Port == nullptr || binding::AbandonPort(*Port))) {
      binding::Say(
          "Interrupted again: the board is abandoned in its stream; the records are written\n");
      return;
    }
    GuardedPort = Port;
    EndNow("Interrupted again: stopped at once, without waiting for the board\n");
  }
}

TInterruptWatch::TInterruptWatch() {
  Recorded = false;
  Deferred = false;
  RecordsKept = false;
  ClosingWords = nullptr;
  GuardedPort = nullptr;
  binding::InstallStopHandlers();
}

TInterruptWatch::~TInterruptWatch() {
  binding::RemoveStopHandlers();
  GuardedPort = nullptr;
  ClosingWords = nullptr;
}

void TInterruptWatch::GuardPort(const TComPort* Port) {
  GuardedPort = Port;
}

void TInterruptWatch::SetClosingWords(const char* Text) {
  ClosingWords = Text;
}

void TInterruptWatch::SetDeferred(bool Value) {
  Deferred = Value;
}

void TInterruptWatch::SetRecordsKept(bool Value) {
  RecordsKept = Value;
}

void TInterruptWatch::ReleasePortAtExit() {
  std::atexit([] {
    if (const TComPort* Port = GuardedPort.load()) {
      Port->ReleaseNow();
    }
  });
}

bool TInterruptWatch::Requested() const {
  return Recorded.load();
}

void TInterruptWatch::RecordStop() {
  Recorded = true;
}

TInterruptWatch::TGuardScope::TGuardScope(TInterruptWatch* Watch, const TComPort& Port, bool Defer)
    : FWatch(Watch) {
  if (FWatch != nullptr) {
    FWatch->GuardPort(&Port);
    FWatch->SetDeferred(Defer);
  }
}

TInterruptWatch::TGuardScope::~TGuardScope() {
  if (FWatch != nullptr) {
    FWatch->SetRecordsKept(false);
    FWatch->SetDeferred(false);
    FWatch->GuardPort(nullptr);
  }
}

TInterruptWatch::TWordsScope::TWordsScope(TInterruptWatch* Watch, const char* Text)
    : FWatch(Watch) {
  if (FWatch != nullptr) {
    FWatch->SetClosingWords(*Text == '\0' ? nullptr : Text);
  }
}

TInterruptWatch::TWordsScope::~TWordsScope() {
  if (FWatch != nullptr) {
    FWatch->SetClosingWords(nullptr);
  }
}

}  // namespace korvane
