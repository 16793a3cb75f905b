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

int RunPorts(const TCliEnvironment& Environment, std::ostream& Out, std::ostream& Err) {
  std::vector<std::string> Ports;
  PortListFromSetting(Environment.Ports ? Environment.Ports->c_str() : nullptr)(Ports);
  if (Ports.empty()) {
    Err << "no serial ports" << EmptyChoiceNote(Environment) << std::endl;
    return exitSuccess;
  }
  ReportPortAccess(Ports, Out);
  return exitSuccess;
}

int RunDetect(const TCliOptions& Options, const TCliEnvironment& Environment, std::ostream& Out,
              std::ostream& Err) {
  TCliProgrammer Programmer(Options, ScanList(Options, Environment), Out, Err, false);
  if (!Discover(Programmer, Environment, Err)) {
    return exitNoBoard;
  }
  Out << Programmer.Port().Port() << ": " << ChipName(Programmer.TargetChip()) << std::endl;
  return exitSuccess;
}

int RunWorkflow(const TCliOptions& Options, const TCliEnvironment& Environment, std::ostream& Out,
                std::ostream& Err, bool ErrIsTerminal) {
  TCliProgrammer Programmer(Options, ScanList(Options, Environment), Out, Err, ErrIsTerminal);
  if (!Discover(Programmer, Environment, Err)) {
    return exitNoBoard;
  }
  Err << Programmer.Port().Port() << ": " << ChipName(Programmer.TargetChip()) << std::endl;
  NoteUnusedOptions(Options, Programmer, Err);

  Programmer.ReportStatusOn(Out);
  {
    TProgrammer::TBusyScope Busy(Programmer);
    if (Options.Command == TCliCommand::cmdProgram) {
      Programmer.ProgramChip(Options.FileName);
    } else {
      Programmer.ReadToFile(Options.FileName);
    }
  }
  return Programmer.LastOutcome().Succeeded ? exitSuccess : exitOperationFailed;
}

int RunCheck(const TCliOptions& Options, std::ostream& Out, std::ostream& Err) {
  // The loader and the count are those of the programming workflow.
  TCliProgrammer Programmer(Options, FixedPortList({}), Out, Err, false);
  THexFile Image;
  Image.SetSize(Options.ImageSize);
  TProgrammer::LoadProgramFile(Image, Options.FileName);
  const std::optional<uint16_t> Last = Programmer.LastUsedAddress(Image);
  Out << (Last ? *Last + 1 : 0) << std::endl;
  return exitSuccess;
}

int RunCommand(const TCliOptions& Options, const TCliEnvironment& Environment, std::ostream& Out,
               std::ostream& Err, bool ErrIsTerminal) {
  switch (Options.Command) {
    case TCliCommand::cmdPorts:
      return RunPorts(Environment, Out, Err);
    case TCliCommand::cmdDetect:
      return RunDetect(Options, Environment, Out, Err);
    case TCliCommand::cmdProgram:
    case TCliCommand::cmdRead:
      return RunWorkflow(Options, Environment, Out, Err, ErrIsTerminal);
    case TCliCommand::cmdCheck:
      return RunCheck(Options, Out, Err);
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
           std::ostream& Out, std::ostream& Err, bool ErrIsTerminal) {
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
    return RunCommand(Options, Environment, Out, Err, ErrIsTerminal);
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
