// Finding the board on the machine's serial ports, and knowing its chip.
#include "UBoardProtocol.h"
#include "UProgrammer.h"
#include "UText.h"

namespace korvane {

using namespace protocol;

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
  FPortListSource(FPortList);
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
    SendCommand(CR, Prompt, CheckTimeoutMs, Reply);
    if (!Contains(Reply, BannerWord)) {
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
  FBannerSeen = false;
  FStuckPort.clear();
  FRefusedPorts.clear();
  for (const std::string& Name : FPortList) {
    try {
      ComPort.SetPort(Name);
      try {
        ComPort.Open();
      } catch (const EComPort& Refusal) {
        FRefusedPorts.push_back({Name, AccessRefusedBy(Refusal)});
        throw;
      }
      ComPort.ClearBuffer(true, true);
      AnyOpened = true;
      Report(TStatus::stTryToConnect);
      RepaintStatus();
      std::string Reply;
      SendCommand(CR, Prompt, ScanTimeoutMs, Reply);
      if (Contains(Reply, BannerWord)) {
        FBannerSeen = true;
        Report(TStatus::stIdentifyChip);
        RepaintStatus();
        IdentifyChip(Reply);
        break;
      }
      const char Handshake[] = {static_cast<char>(DC1), static_cast<char>(DC3), '\0'};
      if (Reply.find_first_of(Handshake) != std::string::npos) {
        FStuckPort = Name;
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
  Report(AnyOpened ? TStatus::stNone : TStatus::stNoPortAvailable);
}

void TProgrammer::IdentifyChip(const std::string& Banner) {
  if (Contains(Banner, Banner2051)) {
    SetTargetChip(chip89C2051);
    return;
  }
  std::string Reply;
  SendCommand(CmdSignature, Prompt, SignatureTimeoutMs, Reply);
  if (Reply.empty()) {
    return;
  }
  // The signature digits are the answer's second and third characters.
  SetTargetChip(ChipBySignature(Reply.size() > 1 ? Reply.substr(1, 2) : std::string()));
}

void TProgrammer::SetTargetChip(uint8_t Code) {
  FTargetChip = Code;
  const uint16_t Size = ChipSizeIsChosen(Code) ? FMemorySize : ChipMemorySize(Code);
  if (Size != 0) {
    FSourceImage.SetSize(Size);
    FChipImage.SetSize(FSourceImage.Size());
  }
}

}  // namespace korvane
