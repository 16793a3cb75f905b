// The platform's side of the stop requests: catching them, and ending the
// process from where they are caught. Exactly one binding defines these.
#pragma once

#include "UComPort.h"

namespace korvane {

// What the shared part does with each stop request; the binding calls it
// from its handler, so it touches only what a handler may.
void OnStopRequest() noexcept;

namespace binding {

// Routes the platform's stop requests to OnStopRequest, and back to the
// handling found before.
void InstallStopHandlers();
void RemoveStopHandlers();
// Gives Port up so that every later use fails and the process goes on
// without the device: released as ReleaseNow does, with a descriptor in its
// place that fails every use, where the handler runs on the port's own
// thread (POSIX); abandoned with its handle open (TCustomComPort::Abandon)
// where it runs on a thread of its own (Windows). False where neither can be
// done. Safe in a handler.
bool AbandonPort(const TComPort& Port) noexcept;
// Writes Text on stderr and goes on; safe in a handler.
void Say(const char* Text) noexcept;
// Writes Text on stdout and goes on; safe in a handler.
void WriteOut(const char* Text) noexcept;
// Writes Text on stderr and ends the process with Code; safe in a handler.
[[noreturn]] void EndProcess(const char* Text, int Code) noexcept;

}  // namespace binding
}  // namespace korvane
