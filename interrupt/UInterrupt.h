// The user's requests to stop: Ctrl-C, SIGTERM and SIGHUP on POSIX; on
// Windows the console's Ctrl-C, Ctrl-Break and close.
//
// A stop may not simply end the process while the board is in one of its
// streams: the board would stay there and take every later byte as data. So
// the fronts run their workflows in deferred mode, where a first stop is only
// recorded for the programmer to see at its next safe point; a second one, or
// any stop outside deferred mode, ends the process at once with exit code 130,
// after giving back the guarded port and saying so on stderr. A closed
// output (SIGPIPE) ends nothing: writing to it fails instead, and the front
// treats that failure as a stop request (RecordStop).
#pragma once

#include <cstddef>
#include <span>

#include "UComPort.h"

namespace korvane {

class TInterruptWatch {
 public:
  // The code a stopped process ends with: 128 + SIGINT, as shells report it.
  static constexpr int ExitCode = 130;
  // The most ports guarded at once (a production run's boards).
  static constexpr size_t MostGuardedPorts = 16;

  // Takes the stop requests over for the object's life; at most one watch
  // exists at a time. Starts in immediate mode, with no port guarded.
  TInterruptWatch();
  // Hands the requests back to the handling the watch found.
  ~TInterruptWatch();
  TInterruptWatch(const TInterruptWatch&) = delete;
  TInterruptWatch& operator=(const TInterruptWatch&) = delete;

  // The port an immediate end gives back first (its exclusive claim above
  // all); nullptr for none. The port must outlive the guard or be replaced.
  void GuardPort(const TComPort* Port);
  // The ports of several boards, used each from a thread of its own, guarded
  // together (at most MostGuardedPorts; the rest are not): an immediate end
  // gives every one back, and a second stop with records kept abandons every
  // one (TCustomComPort::Abandon), whichever thread the stop arrives on.
  void GuardPorts(std::span<const TComPort* const> Ports);
  // What an immediate end writes on stdout before the process ends (the
  // closing line a run owes its reader); nullptr for nothing. Text must
  // outlive the setting or be replaced.
  void SetClosingWords(const char* Text);
  // Deferred: a first stop is recorded; a second ends the process.
  // Otherwise every stop ends it.
  void SetDeferred(bool Deferred);
  // Deferred with records kept: a second stop gives the port back and
  // abandons the board in its stream, but the process goes on, so that what
  // it owes its records (a production run's log and summary) is written; the
  // port's next use fails. Where a port cannot be abandoned so (Windows), the
  // second stop ends the process as in plain deferred mode.
  void SetRecordsKept(bool Kept);
  // Gives the guarded port back also when the process ends by exit() from
  // code of others (Qt on a broken display), which no destructor of ours
  // sees. Once per process.
  static void ReleasePortAtExit();
  // Whether a stop was recorded in deferred mode.
  bool Requested() const;
  // Records a stop that did not come as a signal (the output was closed), as
  // a first one in deferred mode is recorded; it never ends the process.
  void RecordStop();

  // Guards Port, and defers stops when Defer, for the life of the scope;
  // nothing when Watch is nullptr.
  class TGuardScope {
   public:
    TGuardScope(TInterruptWatch* Watch, const TComPort& Port, bool Defer);
    TGuardScope(TInterruptWatch* Watch, std::span<const TComPort* const> Ports, bool Defer);
    ~TGuardScope();
    TGuardScope(const TGuardScope&) = delete;
    TGuardScope& operator=(const TGuardScope&) = delete;

   private:
    TInterruptWatch* FWatch;
  };

  // Sets Text (none when empty) as the closing words for the life of the
  // scope; nothing when Watch is nullptr. Text must outlive the scope.
  class TWordsScope {
   public:
    TWordsScope(TInterruptWatch* Watch, const char* Text);
    ~TWordsScope();
    TWordsScope(const TWordsScope&) = delete;
    TWordsScope& operator=(const TWordsScope&) = delete;

   private:
    TInterruptWatch* FWatch;
  };
};

}  // namespace korvane
