#include "UStatusTexts.h"

#include <cstdio>

#include "UBoardProtocol.h"

namespace korvane {

std::string StatusText(TStatus Status, unsigned Number, std::string_view Port) {
  char Text[48];
  switch (Status) {
    case TStatus::stNone:
      return "";
    case TStatus::stTryToConnect:
      return "Try to connect by : " + std::string(Port);
    case TStatus::stIdentifyChip:
      return "Identify target chip ...";
    case TStatus::stNoPortAvailable:
      return "Available port not found!";
    case TStatus::stErasing:
      return "Erasing...";
    case TStatus::stEraseTry:
      std::snprintf(Text, sizeof Text, "Erasing...[%u/%d]", Number, protocol::EraseTries);
      return Text;
    case TStatus::stSendCounterFailed:
      return "Send Counter Failed!";
    case TStatus::stEraseFailed:
      return "Erase Failed!";
    case TStatus::stInitialForWriting:
      return "Initial for Writing";
    case TStatus::stSetCounterFailed:
      return "Set Counter Failed!";
    case TStatus::stWriting:
      std::snprintf(Text, sizeof Text, "Writing... [%u Bytes]", Number);
      return Text;
    case TStatus::stWriteFailed:
      return "Write Failed!";
    case TStatus::stFastVerifying:
      return "Fast Verify...";
    case TStatus::stFastVerifyFailed:
      return "Fast Verify Failed!";
    case TStatus::stVerifying:
      return "Verify...";
    case TStatus::stVerifyFailed:
      return "Verify Failed!";
    case TStatus::stVerifyLocked:
      return "Verify Locked code";
    case TStatus::stLockFailed:
      return "Lock Failed!";
    case TStatus::stComplete:
      return "Complete!";
    case TStatus::stReadCounterFailed:
      return "Set Counter Failed";
    case TStatus::stReading:
      return "Reading...";
    case TStatus::stReadFailed:
      return "Read Failed!";
  }
  return "";
}

}  // namespace korvane
