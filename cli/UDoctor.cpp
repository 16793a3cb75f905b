#include "UDoctor.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "UBoardProtocol.h"
#include "UCliProgrammer.h"
#include "UPortAccess.h"
#include "UPortDiagnosis.h"
#include "UWireTime.h"

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

// Why the user may not open Name, and how that is mended.
void ExplainRefusal(const std::string& Name, const TPortAccess& Access, std::ostream& Out,
                    TFindings& Findings) {
  if (Access.PermissionDenied) {
    const std::optional<TGroupAccess> Group = DeviceGroupAccess(Name);
    if (!Group) {
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
  }
}

void CheckPort(const std::string& Name, const std::string& SysfsRoot, std::ostream& Out,
               TFindings& Findings) {
  const TPortAccess Access = ProbePort(Name);
  Out << "  " << Name << ": "
      << (Access.Opened ? "can be opened" : "cannot be opened (" + Access.Reason + ")") << "\n";
  if (!Access.Opened) {
    ExplainRefusal(Name, Access, Out, Findings);
  }
  const TAdapterInfo Adapter = DescribeAdapter(Name, SysfsRoot);
  if (Adapter.IsUsb || !Adapter.Driver.empty()) {
    Out << "    USB adapter " << (Adapter.VendorProduct.empty() ? "?" : Adapter.VendorProduct)
        << ", driver " << (Adapter.Driver.empty() ? "unknown" : Adapter.Driver) << "\n";
  }
  if (!Access.Opened) {
    return;
  }
  // Open it once more to see what the port does to the latency timer.
  TComPort Port;
  Port.SetSysfsRoot(SysfsRoot);
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
  if (Latency.Now > 1) {
    Findings.Add(Name + ": the adapter's latency timer stays at " + std::to_string(Latency.Now) +
                     " ms, so every written byte waits for it",
                 "install the udev rule 60-korvane.rules (the package does: "
                 "/usr/lib/udev/rules.d), or: echo 1 | sudo tee " +
                     Latency.Attribute);
  }
}

void CheckPrograms(std::ostream& Out, TFindings& Findings) {
  Out << "programs that take serial adapters:\n";
  struct TTaker {
    const char* Name;
    const char* What;
    const char* Fix;
  };
  for (const TTaker& Taker :
       {TTaker{"brltty", "claims CH340 and CP210x adapters as braille displays",
               "sudo apt remove brltty (unless a braille display is in use)"},
        TTaker{"ModemManager", "probes every new ttyACM/ttyUSB for seconds",
               "install the udev rule 60-korvane.rules, which tells it to leave the common "
               "adapters alone, or: sudo systemctl stop ModemManager"}}) {
    const bool Installed = ProgramInstalled(Taker.Name);
    const bool Running = ProgramRunning(Taker.Name);
    Out << "  " << Taker.Name << ": "
        << (Running     ? "running"
            : Installed ? "installed, not running"
                        : "not installed")
        << "\n";
    if (Running || (Installed && std::string(Taker.Name) == "brltty")) {
      Findings.Add(std::string(Taker.Name) + " " + Taker.What, Taker.Fix);
    }
  }
}

// The board's pace: single-byte answers timed, less their bytes' wire time.
void CheckBoard(TCliProgrammer& Programmer, std::ostream& Out, TFindings& Findings) {
  Out << "board:\n";
  Programmer.Poll();
  if (Programmer.TargetChip() == chipNone) {
    Out << "  none found\n";
    Findings.Add(Programmer.BannerSeen() ? "the board answered, but the chip in its socket was "
                                           "not recognised"
                                         : "no programmer board answered on any port",
                 Programmer.BannerSeen()
                     ? "seat the chip again (pin 1 at the lever), or try another chip"
                     : "check the cable and the board's power; name its port with --port NAME");
    return;
  }
  Out << "  " << Programmer.Port().Port() << ": " << ChipName(Programmer.TargetChip()) << "\n";
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
    Programmer.SendCommand(Byte, protocol::DC1, protocol::CounterStartTimeoutMs, Reply);
    const std::chrono::duration<double, std::milli> Spent =
        std::chrono::steady_clock::now() - Start;
    Turnaround += std::max(0.0, Spent.count() - 2 * ByteMs);
  }
  Programmer.SendCommand(protocol::LF, protocol::Prompt, protocol::CounterDigitTimeoutMs, Reply);
  Turnaround /= static_cast<double>(Digits.size() + 1);
  const uint16_t Size = Programmer.ChipImage().Size();
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
                 "lower the USB adapter's latency timer to 1 ms (see above), or use another "
                 "adapter");
  }
}

}  // namespace

int RunDoctor(const TCliOptions& Options, TPortListSource Ports, const std::string& SysfsRoot,
              std::ostream& Out) {
  TFindings Findings;
  std::vector<std::string> Names;
  Ports(Names);
  Out << "ports (" << Names.size() << "):\n";
  for (const std::string& Name : Names) {
    CheckPort(Name, SysfsRoot, Out, Findings);
  }
  CheckPrograms(Out, Findings);

  TCliOptions Quiet = Options;
  Quiet.Output = TOutputMode::Quiet;
  TCliProgrammer Programmer(Quiet, std::move(Ports), Out, Out, false);
  Programmer.Port().SetSysfsRoot(SysfsRoot);
  CheckBoard(Programmer, Out, Findings);
  Programmer.Port().Close();

  if (Findings.Problems.empty()) {
    Out << "problems: none\n";
  } else {
    Out << "problems (" << Findings.Problems.size() << "):\n";
    for (size_t Index = 0; Index < Findings.Problems.size(); ++Index) {
      Out << "  " << Index + 1 << ". " << Findings.Problems[Index] << "\n";
    }
  }
  Out << std::flush;
  return static_cast<int>(Findings.Problems.size());
}

}  // namespace korvane::cli
