#include "UCliCommands.h"

#include <exception>

#include "UCliOptions.h"
#include "UCliProgrammer.h"
#include "UHexFile.h"
#include "UPortList.h"
#include "UPortReport.h"

#ifndef KORVANE_VERSION
#define KORVANE_VERSION "unknown"
#endif

namespace korvane::cli {

namespace {

// The ports to scan: --port alone, or else KORVANE_PORTS's names, or else
// the machine's.
TPortListSource ScanList(const TCliOptions& Options, const TCliEnvironment& Environment) {
  if (Options.Port) {
    return FixedPortList({*Options.Port});
  }
  return PortListFromSetting(Environment.Ports ? Environment.Ports->c_str() : nullptr);
}

// Said after "no serial ports" when the list was chosen and chosen empty.
const char* EmptyChoiceNote(const TCliEnvironment& Environment) {
  return Environment.Ports ? " (KORVANE_PORTS is empty)" : "";
}

std::string JoinNames(const std::vector<std::string>& Names) {
  std::string Text;
  for (const std::string& Name : Names) {
    Text += (Text.empty() ? "" : ", ") + Name;
  }
  return Text;
}

// Why the scan found nothing, with what the user can do about it.
void ReportNoBoard(TCliProgrammer& Programmer, const TCliEnvironment& Environment,
                   std::ostream& Err) {
  const std::vector<std::string>& Ports = Programmer.PortList();
  if (Programmer.BannerSeen()) {
    Err << "error: a programmer board answered on " << Programmer.Port().Port()
        << ", but the chip in its socket was not recognised" << std::endl;
    return;
  }
  if (Ports.empty()) {
    Err << "error: no serial ports to scan" << EmptyChoiceNote(Environment) << std::endl;
    return;
  }
  Err << "error: no programmer board found on " << JoinNames(Ports) << std::endl;
  // The scan left the last port open, and ports are opened exclusively.
  Programmer.Port().Close();
  ReportPortAccess(Ports, Err);
}

// One discovery pass, reported on Err. True when a chip was identified.
bool Discover(TCliProgrammer& Programmer, const TCliEnvironment& Environment, std::ostream& Err) {
  Programmer.ReportStatusOn(Err);
  Programmer.Poll();
  if (Programmer.TargetChip() == chipNone) {
    ReportNoBoard(Programmer, Environment, Err);
    return false;
  }
  return true;
}

// What the window would not offer for this chip, said rather than ignored quietly.
void NoteUnusedOptions(const TCliOptions& Options, TCliProgrammer& Programmer, std::ostream& Err) {
  const bool Is2051 = Programmer.TargetChip() == chip89C2051;
  if (Options.MemorySizeGiven && !Is2051) {
    Err << "note: --mem applies to the 89C2051/4051 only; the " << ChipName(Programmer.TargetChip())
        << " has " << Programmer.ChipImage().Size() << " bytes" << std::endl;
  }
  if (Options.FastVerify && Is2051) {
    Err << "note: the 89C2051/4051 has no fast verify; it is verified by reading back" << std::endl;
  }
}

// What every command runs with.
struct TRun {
  const TCliOptions& Options;
  const TCliEnvironment& Environment;
  std::ostream& Out;
  std::ostream& Err;
  bool ErrIsTerminal;
  TInterruptWatch* Watch;
};

int RunPorts(const TRun& Run) {
  std::vector<std::string> Ports;
  PortListFromSetting(Run.Environment.Ports ? Run.Environment.Ports->c_str() : nullptr)(Ports);
  if (Ports.empty()) {
    Run.Err << "no serial ports" << EmptyChoiceNote(Run.Environment) << std::endl;
    return exitSuccess;
  }
  ReportPortAccess(Ports, Run.Out);
  return exitSuccess;
}

int RunDetect(const TRun& Run) {
  TCliProgrammer Programmer(Run.Options, ScanList(Run.Options, Run.Environment), Run.Out, Run.Err,
                            false);
  TInterruptWatch::TGuardScope Guard(Run.Watch, Programmer.Port(), false);
  if (!Discover(Programmer, Run.Environment, Run.Err)) {
    return exitNoBoard;
  }
  Run.Out << Programmer.Port().Port() << ": " << ChipName(Programmer.TargetChip()) << std::endl;
  return exitSuccess;
}

// The program file, loaded and checked as programming loads it, before any
// port is opened: a file that cannot be programmed must cost no board scan
// and leave no chip erased. The chip's own size is applied once it is known.
void CheckProgramFile(const TCliOptions& Options) {
  THexFile Image;
  Image.SetSize(LargestChipMemorySize());
  TProgrammer::LoadProgramFile(Image, Options.FileName);
  if (Options.Lock) {
    TProgrammer::CheckLockable(Image);
  }
}

// Where a workflow that the user stopped left the chip and the file.
std::string InterruptionText(const TCliOptions& Options, const TCliProgrammer& Programmer) {
  if (Options.Command == TCliCommand::cmdProgram) {
    return ChipProgressText(Programmer.ChipProgress(), Options.Lock);
  }
  return Programmer.LastOutcome().Succeeded ? Options.FileName + " was saved" : "nothing was saved";
}

int RunWorkflow(const TRun& Run) {
  if (Run.Options.Command == TCliCommand::cmdProgram) {
    CheckProgramFile(Run.Options);
  }
  TCliProgrammer Programmer(Run.Options, ScanList(Run.Options, Run.Environment), Run.Out, Run.Err,
                            Run.ErrIsTerminal, Run.Watch);
  {
    TInterruptWatch::TGuardScope Guard(Run.Watch, Programmer.Port(), false);
    if (!Discover(Programmer, Run.Environment, Run.Err)) {
      return exitNoBoard;
    }
  }
  Run.Err << Programmer.Port().Port() << ": " << ChipName(Programmer.TargetChip()) << std::endl;
  NoteUnusedOptions(Run.Options, Programmer, Run.Err);

  Programmer.ReportStatusOn(Run.Out);
  {
    TInterruptWatch::TGuardScope Guard(Run.Watch, Programmer.Port(), true);
    TProgrammer::TBusyScope Busy(Programmer);
    if (Run.Options.Command == TCliCommand::cmdProgram) {
      Programmer.ProgramChip(Run.Options.FileName);
    } else {
      Programmer.ReadToFile(Run.Options.FileName);
    }
  }
  if (Run.Watch != nullptr && Run.Watch->Requested()) {
    // The board is back at its prompt; give the port back before saying so.
    Programmer.Port().Close();
    Run.Err << "Interrupted: " << InterruptionText(Run.Options, Programmer) << std::endl;
    return exitInterrupted;
  }
  return Programmer.LastOutcome().Succeeded ? exitSuccess : exitOperationFailed;
}

int RunCheck(const TRun& Run) {
  // The loader and the count are those of the programming workflow.
  THexFile Image;
  Image.SetSize(Run.Options.ImageSize);
  TProgrammer::LoadProgramFile(Image, Run.Options.FileName);
  const std::optional<uint16_t> Last = TProgrammer::LastUsedAddress(Image);
  Run.Out << (Last ? *Last + 1 : 0) << std::endl;
  return exitSuccess;
}

int RunCommand(const TRun& Run) {
  switch (Run.Options.Command) {
    case TCliCommand::cmdPorts:
      return RunPorts(Run);
    case TCliCommand::cmdDetect:
      return RunDetect(Run);
    case TCliCommand::cmdProgram:
    case TCliCommand::cmdRead:
      return RunWorkflow(Run);
    case TCliCommand::cmdCheck:
      return RunCheck(Run);
    case TCliCommand::cmdNone:
      break;
  }
  return exitUsage;
}

int Fail(std::ostream& Err, const std::exception& Error, int Code) {
  Err << "error: " << Error.what() << std::endl;
  return Code;
}

}  // namespace

int RunCli(const std::vector<std::string>& Args, const TCliEnvironment& Environment,
           std::ostream& Out, std::ostream& Err, bool ErrIsTerminal, TInterruptWatch* Watch) {
  TCliOptions Options;
  try {
    Options = ParseCommandLine(Args);
  } catch (const ECliUsage& Error) {
    Err << "error: " << Error.what() << "\nTry 'korvane-cli --help'." << std::endl;
    return exitUsage;
  }
  if (Options.Help) {
    Out << UsageText() << std::flush;
    return exitSuccess;
  }
  if (Options.Version) {
    Out << "korvane-cli " << KORVANE_VERSION << std::endl;
    return exitSuccess;
  }
  try {
    return RunCommand({Options, Environment, Out, Err, ErrIsTerminal, Watch});
  } catch (const EHexFile& Error) {
    return Fail(Err, Error, exitFileError);
  } catch (const EInOutError& Error) {
    return Fail(Err, Error, exitFileError);
  } catch (const EComPort& Error) {
    return Fail(Err, Error, exitPortError);
  } catch (const std::exception& Error) {
    return Fail(Err, Error, exitOperationFailed);
  }
}

}  // namespace korvane::cli
