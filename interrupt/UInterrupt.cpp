#include "UInterrupt.h"

#include <atomic>
#include <cstdlib>

#include "UInterruptBinding.h"

namespace korvane {

namespace {

// The one watch's state; a signal handler can reach nothing else.
std::atomic<const TComPort*> GuardedPorts[TInterruptWatch::MostGuardedPorts]{};
std::atomic<bool> Deferred{false};
std::atomic<bool> Recorded{false};
std::atomic<bool> RecordsKept{false};
std::atomic<const char*> ClosingWords{nullptr};

static_assert(std::atomic<const TComPort*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

void ReleaseGuardedPorts() noexcept {
  for (const auto& Guarded : GuardedPorts) {
    if (const TComPort* Port = Guarded.load()) {
      Port->ReleaseNow();
    }
  }
}

// A second stop with records kept: every guarded port is given up, so that
// each board's next use of it fails and its run writes its records. One port
// is the port of the thread the stop arrives on, and is released at once;
// several are used from threads of their own and are abandoned in place.
bool AbandonGuardedPorts() noexcept {
  size_t Count = 0;
  for (const auto& Guarded : GuardedPorts) {
    Count += Guarded.load() != nullptr ? 1 : 0;
  }
  if (Count == 1) {
    for (auto& Guarded : GuardedPorts) {
      if (const TComPort* Port = Guarded.load()) {
        if (!binding::AbandonPort(*Port)) {
          return false;
        }
        Guarded = nullptr;
      }
    }
    return true;
  }
  for (auto& Guarded : GuardedPorts) {
    if (const TComPort* Port = Guarded.exchange(nullptr)) {
      Port->Abandon();
    }
  }
  return true;
}

[[noreturn]] void EndNow(const char* Text) noexcept {
  ReleaseGuardedPorts();
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
    if (RecordsKept.load() && AbandonGuardedPorts()) {
      binding::Say(
          "Interrupted again: the board is abandoned in its stream; the records are written\n");
      return;
    }
    EndNow("Interrupted again: stopped at once, without waiting for the board\n");
  }
}

TInterruptWatch::TInterruptWatch() {
  Recorded = false;
  Deferred = false;
  RecordsKept = false;
  ClosingWords = nullptr;
  GuardPort(nullptr);
  binding::InstallStopHandlers();
}

TInterruptWatch::~TInterruptWatch() {
  binding::RemoveStopHandlers();
  GuardPort(nullptr);
  ClosingWords = nullptr;
}

void TInterruptWatch::GuardPort(const TComPort* Port) {
  const TComPort* const One[] = {Port};
  GuardPorts(Port != nullptr ? std::span(One) : std::span<const TComPort* const>());
}

void TInterruptWatch::GuardPorts(std::span<const TComPort* const> Ports) {
  for (size_t Slot = 0; Slot < MostGuardedPorts; ++Slot) {
    GuardedPorts[Slot] = Slot < Ports.size() ? Ports[Slot] : nullptr;
  }
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
  std::atexit(ReleaseGuardedPorts);
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

TInterruptWatch::TGuardScope::TGuardScope(TInterruptWatch* Watch,
                                          std::span<const TComPort* const> Ports, bool Defer)
    : FWatch(Watch) {
  if (FWatch != nullptr) {
    FWatch->GuardPorts(Ports);
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
