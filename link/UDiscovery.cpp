// Finding the board on the machine's serial ports, and knowing its chip.
#include <string_view>

#include "UPortList.h"
#include "UProgrammer.h"

namespace korvane {

namespace {

constexpr int32_t ScanTimeoutMs = 500;
constexpr int32_t CheckTimeoutMs = 1000;
constexpr int32_t SignatureTimeoutMs = 30000;

// The signature digits of codes 1 to 6, one pair each, in code order.
constexpr std::string_view Signatures = "516152625565";

bool Contains(const std::string& Text, std::string_view Word) {
  return Text.find(Word) != std::string::npos;
}

}  // namespace

void TProgrammer::Poll() {
  if (FBusy) {
    return;
  }
  const uint8_t Before = FTargetChip;
  FBusy = true;
  FPollGoesOn = false;
  try {
    DetectProgrammer();
  } catch (...) {
    // The poll is over either way. Only a port lost during the known-chip
    // check keeps polling; any other failure leaves the timer stopped.
    FBusy = false;
    if (FPollGoesOn && FTargetChip != Before) {
      TargetChipChanged();
    }
    throw;
  }
  FBusy = false;
  if (FTargetChip != Before) {
    TargetChipChanged();
  }
}

void TProgrammer::DetectProgrammer() {
  StopPollTimer();
  ListSerialPorts(FPortList);
  if (FTargetChip != chipNone) {
    CheckKnownChip();
  } else {
    ScanPorts();
  }
  StartPollTimer();
}

void TProgrammer::CheckKnownChip() {
  try {
    std::string Reply;
    SendCommand(CR, '>', CheckTimeoutMs, Reply);
    if (!Contains(Reply, "Vyte")) {
      FTargetChip = chipNone;
    } else {
      IdentifyChip(Reply);
    }
  } catch (const EComPort&) {
    // The device has gone (an adapter pulled out). Let go of it and forget
    // the chip, so that the next poll scans and finds the board again once
    // it is back; the error itself is still shown, once.
    try {
      ComPort.Close();
    } catch (const EComPort&) {
    }
    FTargetChip = chipNone;
    FPollGoesOn = true;
    StartPollTimer();
    throw;
  }
}

void TProgrammer::ScanPorts() {
  bool AnyOpened = false;
  for (const std::string& Name : FPortList) {
    try {
      ComPort.SetPort(Name);
      ComPort.Open();
      ComPort.ClearBuffer(true, true);
      AnyOpened = true;
      SetStatus("Try to connect by : " + ComPort.Port());
      RepaintStatus();
      std::string Reply;
      SendCommand(CR, '>', ScanTimeoutMs, Reply);
      if (Contains(Reply, "Vyte")) {
        SetStatus("Identify target chip ...");
        RepaintStatus();
        IdentifyChip(Reply);
        break;
      }
    } catch (...) {
      // A port that fails is skipped without a word. It is let go of, so
      // that a device that vanished is opened afresh by a later scan.
      try {
        ComPort.Close();
      } catch (...) {
      }
    }
  }
  SetStatus(AnyOpened ? "" : "Available port not found!");
}

void TProgrammer::IdentifyChip(const std::string& Banner) {
  if (Contains(Banner, "2051")) {
    FTargetChip = chip89C2051;
    return;
  }
  std::string Reply;
  SendCommand('p', '>', SignatureTimeoutMs, Reply);
  if (Reply.empty()) {
    return;
  }
  const std::string Digits = Reply.size() > 1 ? Reply.substr(1, 2) : std::string();
  const size_t Found = Digits.empty() ? std::string_view::npos : Signatures.find(Digits);
  // Only a pair that starts at an odd position (counted from 1) names a chip.
  if (Found != std::string_view::npos && Found % 2 == 0) {
    SetTargetChip(static_cast<uint8_t>(Found / 2 + 1));
  } else {
    SetTargetChip(chipNone);
  }
}

void TProgrammer::SetTargetChip(uint8_t Code) {
  FTargetChip = Code;
  const uint16_t Size = ChipMemorySize(Code);
  if (Size != 0) {
    FSourceImage.SetSize(Size);
    FChipImage.SetSize(FSourceImage.Size());
  }
}

}  // namespace korvane
