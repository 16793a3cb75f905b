#include "UDoctor.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "UBoardProtocol.h"
#include "UChipProgress.h"
#include "UCliBoard.h"
#include "UCliHints.h"
#include "UPlatformWords.h"
#include "UPortAccess.h"
#include "UPortDiagnosis.h"
#include "UWireTime.h"
#include "UWorkflows.h"

namespace korvane::cli {

namespace {

constexpr double ByteMs = 10 * 1000.0 / 9600;

struct TFindings {
  std::vector<std::string> Problems;
  void Add(const std::string& Problem, const std::string& Fix) {
    Problems.push_back(Problem + "\n     fix: " + Fix);
  }
};

std::string Format(const char* Pattern, double A, double B = 0, double C = 0) {
  char Text[160];
  std::snprintf(Text, sizeof Text, Pattern, A, B, C);
  return Text;
}

// Guards a port for a second stop's immediate end, in the deferred mode the
// port checks run in.
class TPortGuard {
 public:
  TPortGuard(TInterruptWatch* Watch, const TComPort& Port) : FWatch(Watch) {
    if (FWatch != nullptr) {
      FWatch->GuardPort(&Port);
    }
  }
  ~TPortGuard() {
    if (FWatch != nullptr) {
      FWatch->GuardPort(nullptr);
    }
  }
  TPortGuard(const TPortGuard&) = delete;
  TPortGuard& operator=(const TPortGuard&) = delete;

 private:
  TInterruptWatch* FWatch;
};

// Why the user may not open Name, and how that is mended.
void ExplainRefusal(const std::string& Name, const TPortAccess& Access, std::ostream& Out,
                    TFindings& Findings) {
  if (Access.PermissionDenied) {
    const std::optional<TGroupAccess> Group = DeviceGroupAccess(Name);
    const std::optional<TDeviceOwner> Owner = DeviceOwner(Name);
    if (!Group && Owner) {
      // No group that the user could join may open it: the device's owner
      // and mode are what must change.
      char Mode[8];
      std::snprintf(Mode, sizeof Mode, "%03o", Owner->Mode);
      Out << "    owner '" << Owner->User << "', group '" << Owner->Group << "', mode " << Mode
          << ": no group you could join may open it\n";
      Findings.Add(Name + ": permission denied: it is open to its owner '" + Owner->User +
                       "' only (mode " + Mode + ")",
                   OwnerOnlyFix(Name));
    } else if (!Group) {
      Findings.Add(Name + ": permission denied", PermissionHint(Name));
    } else if (Group->InDatabase && !Group->InThisLogin) {
      Out << "    you joined the group '" << Group->Group << "' but have not logged in since\n";
      Findings.Add(Name + ": permission denied until you log in again",
                   "log out and in again (or run 'newgrp " + Group->Group + "')");
    } else if (!Group->InThisLogin) {
      Out << "    the group '" << Group->Group << "' may open it; you are not in it\n";
      Findings.Add(Name + ": permission denied",
                   "sudo usermod -aG " + Group->Group + " $USER, then log out and in again");
    } else {
      Findings.Add(Name + ": permission denied although you are in '" + Group->Group + "'",
                   "check the device's mode: ls -l " + Name);
    }
    return;
  }
  const std::vector<std::string> Holders = DeviceHolders(Name);
  if (!Holders.empty()) {
    std::string List;
    for (const std::string& Holder : Holders) {
      List += (List.empty() ? "" : ", ") + Holder;
    }
    Out << "    held by " << List << "\n";
    Findings.Add(Name + ": held by " + List, "close that program (or kill its process)");
  } else if (Access.Busy) {
    Findings.Add(Name + ": in use by a program that this user cannot see",
                 "find it with 'sudo fuser -v " + Name + "' and close it");
  }
}

void CheckPort(const std::string& Name, const TDoctorPlaces& Places, TInterruptWatch* Watch,
               std::ostream& Out, TFindings& Findings) {
  const TPortAccess Access = ProbePort(Name);
  Out << "  " << Name << ": "
      << (Access.Opened ? "can be opened" : "cannot be opened (" + Access.Reason + ")") << "\n";
  if (!Access.Opened) {
    ExplainRefusal(Name, Access, Out, Findings);
  }
  const TAdapterInfo Adapter = DescribeAdapter(Name, Places.SysfsRoot);
  if (Adapter.IsUsb || !Adapter.Driver.empty()) {
    Out << "    USB adapter " << (Adapter.VendorProduct.empty() ? "?" : Adapter.VendorProduct)
        << ", driver " << (Adapter.Driver.empty() ? "unknown" : Adapter.Driver) << "\n";
  }
  if (!Access.Opened) {
    return;
  }
  // Open it once more to see what the port does to the latency timer.
  TComPort Port;
  TPortGuard Guard(Watch, Port);
  Port.SetSysfsRoot(Places.SysfsRoot);
  Port.SetStateDir(Places.StateDir);
  Port.SetPort(Name);
  try {
    Port.Open();
  } catch (const EComPort&) {
    return;
  }
  const TAdapterLatency Latency = Port.AdapterLatency();
  Port.Close();
  if (!Latency.Found) {
    return;
  }
  Out << "    latency timer: " << Latency.Before << " ms, " << Latency.Now
      << " ms while Korvane has the port open\n";
  if (Latency.LeftLow) {
    // The note says what it was; whether that is still the value wanted
    // only the user knows, so nothing is put back unasked.
    Out << "    left at 1 ms by a Korvane run that was ended before it could put it back\n";
    Findings.Add(Name +
                     ": the adapter's latency timer was left at 1 ms by a korvane-cli run "
                     "that was killed; it was " +
                     std::to_string(Latency.LeftBefore) +
                     " ms before, and every later run takes 1 ms for the value to keep",
                 "put it back: echo " + std::to_string(Latency.LeftBefore) + " | sudo tee " +
                     Latency.Attribute + "; or, to keep 1 ms, remove the note: rm '" +
                     Latency.Marker + "'");
  }
  if (Latency.Now > 1) {
    Findings.Add(Name + ": the adapter's latency timer stays at " + std::to_string(Latency.Now) +
                     " ms, so every written byte waits for it",
                 "install the udev rule 60-korvane.rules (the package does: "
                 "/usr/lib/udev/rules.d), or: echo 1 | sudo tee " +
                     Latency.Attribute);
  }
}

void CheckPrograms(std::ostream& Out, TFindings& Findings) {
  const std::vector<TAdapterTaker>& Takers = PlatformWords().AdapterTakers;
  if (Takers.empty()) {
    return;
  }
  Out << "programs that take serial adapters:\n";
  for (const TAdapterTaker& Taker : Takers) {
    const bool Installed = ProgramInstalled(Taker.Name);
    const bool Running = ProgramRunning(Taker.Name);
    Out << "  " << Taker.Name << ": "
        << (Running     ? "running"
            : Installed ? "installed, not running"
                        : "not installed")
        << "\n";
    if (Running || (Installed && Taker.InstalledIsEnough)) {
      Findings.Add(std::string(Taker.Name) + " " + Taker.What, Taker.Fix);
    }
  }
}

// Said when the check-up was stopped before its end.
constexpr const char* InterruptedLine = "interrupted: the check-up did not finish\n";

// The board's pace: single-byte answers timed, less their bytes' wire time.
void CheckBoard(TCliBoard& Board, TInterruptWatch* Watch, std::ostream& Out, TFindings& Findings) {
  Out << "board:" << std::endl;
  {
    // No stream is open while the board is looked for: a stop ends at once,
    // with the report so far and the line that says it is not whole.
    TInterruptWatch::TGuardScope Guard(Watch, Board.Link.ComPort(), false);
    const TInterruptWatch::TWordsScope Words(Watch, InterruptedLine);
    Out << std::flush;
    Board.Link.DetectProgrammer();
  }
  // The counter's entry below is a stream of its own.
  TInterruptWatch::TGuardScope Guard(Watch, Board.Link.ComPort(), true);
  if (Board.Link.TargetChip() == chipNone && !Board.Link.StuckPort().empty()) {
    const TStuckBoard Stuck = StuckBoardText(Board.Link.StuckPort());
    Out << "  " << Board.Link.StuckPort() << ": stuck in its stream\n";
    Findings.Add(Stuck.Problem, Stuck.Fix);
    return;
  }
  if (Board.Link.TargetChip() == chipNone) {
    Out << "  none found\n";
    Findings.Add(Board.Link.BannerSeen() ? "the board answered, but the chip in its socket was "
                                           "not recognised"
                                         : "no programmer board answered on any port",
                 Board.Link.BannerSeen()
                     ? "seat the chip again (pin 1 at the lever), or try another chip"
                     : "check the cable and the board's power; name its port with --port NAME");
    return;
  }
  Out << "  " << Board.Link.Line().Port() << ": " << ChipName(Board.Link.TargetChip()) << "\n";
  // The counter's entry answers every byte with DC1 alone, as the write
  // stream's handshake does; the counter it leaves is set anew by every
  // workflow.
  const std::string Digits = "128";
  double Turnaround = 0;
  std::string Reply;
  for (size_t Exchange = 0; Exchange <= Digits.size(); ++Exchange) {
    const uint8_t Byte =
        Exchange == 0 ? protocol::CmdCounter : static_cast<uint8_t>(Digits[Exchange - 1]);
    const auto Start = std::chrono::steady_clock::now();
    Board.Link.SendCommand(Byte, protocol::DC1, protocol::CounterStartTimeoutMs, Reply);
    const std::chrono::duration<double, std::milli> Spent =
        std::chrono::steady_clock::now() - Start;
    Turnaround += std::max(0.0, Spent.count() - 2 * ByteMs);
  }
  Board.Link.SendCommand(protocol::LF, protocol::Prompt, protocol::CounterDigitTimeoutMs, Reply);
  Turnaround /= static_cast<double>(Digits.size() + 1);
  const uint16_t Size = Board.Link.ChipImage().Size();
  const double Extra = Size * Turnaround / 1000;
  const double ReadBack = ProgrammingSeconds(Size, false) + Extra;
  const double Fast = ProgrammingSeconds(Size, true) + Extra;
  const double Read = ((5 + 2.0 * Size) * ByteMs + Turnaround) / 1000 +
                      std::chrono::duration<double>(protocol::BoardSettleTime).count();
  Out << Format(
      "  turnaround: %.1f ms per handshake byte (the wire needs %.1f ms for the "
      "handshake itself)\n",
      Turnaround, protocol::WireCycleMs);
  Out << "  at this pace, the whole " << Size << "-byte chip: "
      << Format("program %.1f s with read-back, %.1f s with fast verify; read %.1f s\n", ReadBack,
                Fast, Read);
  // A 1 ms latency timer costs about half the wire's time again, a 16 ms
  // one six times it; twice the wire is where a user notices.
  if (Turnaround > protocol::WireCycleMs) {
    Findings.Add(Format("each written byte waits %.1f ms for the line to turn around, "
                        "%.1f times the wire's time",
                        Turnaround, (protocol::WireCycleMs + Turnaround) / protocol::WireCycleMs),
                 "lower the USB adapter's latency timer to 1 ms (the udev rule 60-korvane.rules "
                 "lets every run do it), or use another "
                 "adapter");
  }
}

}  // namespace

TDoctorResult RunDoctor(const TCliOptions& Options, TPortListSource Ports,
                        const TDoctorPlaces& Places, std::ostream& Out, TInterruptWatch* Watch) {
  TFindings Findings;
  const auto Stopped = [Watch] { return Watch != nullptr && Watch->Requested(); };
  // The ports are opened one after the other, briefly: a stop is taken
  // between them.
  if (Watch != nullptr) {
    Watch->SetDeferred(true);
  }
  std::vector<std::string> Names;
  Ports(Names);
  Out << "ports (" << Names.size() << "):" << std::endl;
  for (size_t Index = 0; Index < Names.size() && !Stopped(); ++Index) {
    CheckPort(Names[Index], Places, Watch, Out, Findings);
    Out << std::flush;
  }
  if (!Stopped()) {
    CheckPrograms(Out, Findings);
  }
  if (!Stopped()) {
    TCliOptions Quiet = Options;
    Quiet.Output = TOutputMode::Quiet;
    TCliBoard Board(Quiet, std::move(Ports), Out, Out, false);
    Board.Link.ComPort().SetSysfsRoot(Places.SysfsRoot);
    Board.Link.ComPort().SetStateDir(Places.StateDir);
    CheckBoard(Board, Watch, Out, Findings);
    Board.Link.ComPort().Close();
  }

  if (Watch != nullptr) {
    Watch->SetDeferred(false);
  }
  TDoctorResult Result{static_cast<int>(Findings.Problems.size()), Stopped()};
  if (Result.Interrupted) {
    Out << InterruptedLine;
  }
  if (Findings.Problems.empty()) {
    Out << (Result.Interrupted ? "" : "problems: none\n");
  } else {
    Out << (Result.Interrupted ? "problems found so far (" : "problems (")
        << Findings.Problems.size() << "):\n";
    for (size_t Index = 0; Index < Findings.Problems.size(); ++Index) {
      Out << "  " << Index + 1 << ". " << Findings.Problems[Index] << "\n";
    }
  }
  Out << std::flush;
  return Result;
}

}  // namespace korvane::cli
