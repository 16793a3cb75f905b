// Every status text the link and the workflows show, named once. The fronts
// decide by these names, never by the words: rewording a text cannot change
// what a script sees in an exit code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

enum class TStatus : uint8_t {
  stNone,               // "" (the status line cleared)
  stTryToConnect,       // "Try to connect by : " and the port's name
  stIdentifyChip,       // "Identify target chip ..."
  stNoPortAvailable,    // "Available port not found!"
  stErasing,            // "Erasing..."
  stEraseTry,           // "Erasing...[N/10]"
  stSendCounterFailed,  // "Send Counter Failed!" (the 89C2051/4051 erase)
  stEraseFailed,        // "Erase Failed!"
  stInitialForWriting,  // "Initial for Writing"
  stSetCounterFailed,   // "Set Counter Failed!" (programming)
  stWriting,            // "Writing... [N Bytes]"
  stWriteFailed,        // "Write Failed!"
  stFastVerifying,      // "Fast Verify..."
  stFastVerifyFailed,   // "Fast Verify Failed!"
  stVerifying,          // "Verify..."
  stVerifyFailed,       // "Verify Failed!"
  stVerifyLocked,       // "Verify Locked code"
  stLockFailed,         // "Lock Failed!"
  stComplete,           // "Complete!"
  stReadCounterFailed,  // "Set Counter Failed" (reading; no exclamation mark)
  stReading,            // "Reading..."
  stReadFailed,         // "Read Failed!"
};

// The first and last values, for walking every text.
constexpr TStatus FirstStatus = TStatus::stNone;
constexpr TStatus LastStatus = TStatus::stReadFailed;

// The text of Status. Number is the try of stEraseTry and the byte count of
// stWriting; Port the port's name of stTryToConnect; both are ignored by the
// other texts.
std::string StatusText(TStatus Status, unsigned Number = 0, std::string_view Port = {});

}  // namespace korvane
