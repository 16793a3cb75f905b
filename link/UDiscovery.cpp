// Finding the board on the machine's serial ports, and knowing its chip.
#include "UBoardLink.h"
#include "UBoardProtocol.h"
#include "UText.h"

namespace korvane {

using namespace protocol;

void TBoardLink::DetectProgrammer() {
  FBoardLost = false;
  FPortListSource(FPortList);
  if (FTargetChip != chipNone) {
    CheckKnownChip();
  } else {
    ScanPorts();
  }
}

void TBoardLink::CheckKnownChip() {
  try {
    std::string Reply;
    SendCommand(CR, Prompt, CheckTimeoutMs, Reply);
    if (!Contains(Reply, BannerWord)) {
      FTargetChip = chipNone;
    } else {
      IdentifyChip(Reply);
    }
  } catch (const EComPort&) {
    // The device has gone (an adapter pulled out); the error itself is
    // still shown, once.
    LetGoOfBoard();
    FBoardLost = true;
    throw;
  }
}

void TBoardLink::ScanPorts() {
  bool AnyOpened = false;
  FBannerSeen = false;
  FStuckPort.clear();
  FRefusedPorts.clear();
  for (const std::string& Name : FPortList) {
    try {
      FLine->SetPort(Name);
      try {
        FLine->Open();
      } catch (const EComPort& Refusal) {
        FRefusedPorts.push_back({Name, AccessRefusedBy(Refusal)});
        throw;
      }
      FLine->ClearBuffer(true, true);
      AnyOpened = true;
      Report(TStatus::stTryToConnect);
      std::string Reply;
      SendCommand(CR, Prompt, ScanTimeoutMs, Reply);
      if (Contains(Reply, BannerWord)) {
        FBannerSeen = true;
        Report(TStatus::stIdentifyChip);
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
        FLine->Close();
      } catch (...) {
      }
    }
  }
  Report(AnyOpened ? TStatus::stNone : TStatus::stNoPortAvailable);
}

void TBoardLink::LetGoOfBoard() {
  try {
    FLine->Close();
  } catch (const EComPort&) {
  }
  FTargetChip = chipNone;
}

void TBoardLink::IdentifyChip(const std::string& Banner) {
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

void TBoardLink::SetTargetChip(uint8_t Code) {
  FTargetChip = Code;
  const uint16_t Size = ChipSizeIsChosen(Code) ? FMemorySize : ChipMemorySize(Code);
  if (Size != 0) {
    FSourceImage.SetSize(Size);
    FChipImage.SetSize(FSourceImage.Size());
  }
}

}  // namespace korvane
