#include "UInterrupt.h"

namespace korvane {

TInterruptWatch::TGuardScope::TGuardScope(TInterruptWatch* Watch, const TComPort& Port, bool Defer)
    : FWatch(Watch) {
  if (FWatch != nullptr) {
    FWatch->GuardPort(&Port);
    FWatch->SetDeferred(Defer);
  }
}

TInterruptWatch::TGuardScope::~TGuardScope() {
  if (FWatch != nullptr) {
    FWatch->SetDeferred(false);
    FWatch->GuardPort(nullptr);
  }
}

}  // namespace korvane
