#include "UCliCommands.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "UCliOptions.h"
#include "UCliProgrammer.h"
#include "UDoctor.h"
#include "UFileInfo.h"
#include "UHexFile.h"
#include "UJsonLine.h"
#include "UPortList.h"
#include "UPortReport.h"
#include "UProductionRun.h"

#ifndef KORVANE_VERSION
#define KORVANE_VERSION "unknown"
#endif

namespace korvane::cli {

namespace {

// What every command runs with, and what its result says besides the exit
// code (the "result" event of --json).
struct TRun {
  const TCliOptions& Options;
  const TCliEnvironment& Environment;
  std::ostream& Out;
  std::ostream& Err;
  bool ErrIsTerminal;
  TInterruptWatch* Watch;
  std::string Status;
  std::string Error;
  TJsonLine Details;
  // The closing event of --json: "result", or "summary" for a production run.
  const char* FinalEvent = "result";

  bool Json() const { return Options.Output == TOutputMode::Json; }
  bool Quiet() const { return Options.Output == TOutputMode::Quiet; }
  // An error: on Err as "error: <Text>", and in the result.
  void Fail(const std::string& Text) {
    Error = Text;
    Err << "error: " << Text << std::endl;
  }
};

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
void ReportNoBoard(TCliProgrammer& Programmer, TRun& Run) {
  const std::vector<std::string>& Ports = Programmer.PortList();
  if (Programmer.BannerSeen()) {
    Run.Fail("a programmer board answered on " + Programmer.Port().Port() +
             ", but the chip in its socket was not recognised");
    return;
  }
  if (Ports.empty()) {
    Run.Fail(std::string("no serial ports to scan") + EmptyChoiceNote(Run.Environment));
    return;
  }
  Run.Fail("no programmer board found on " + JoinNames(Ports));
  // The scan left the last port open, and ports are opened exclusively.
  Programmer.Port().Close();
  ReportPortAccess(Ports, Run.Err);
}

// One discovery pass, reported on Err (or as events). True when a chip was
// identified; its port and name then go into the result.
bool Discover(TCliProgrammer& Programmer, TRun& Run) {
  TInterruptWatch::TGuardScope Guard(Run.Watch, Programmer.Port(), false);
  Programmer.Port().SetSysfsRoot(Run.Environment.SysfsRoot.value_or("/sys"));
  Programmer.ReportStatusOn(Run.Err);
  Programmer.Poll();
  if (Programmer.TargetChip() == chipNone) {
    ReportNoBoard(Programmer, Run);
    return false;
  }
  Run.Details.Add("port", Programmer.Port().Port()).Add("chip", ChipName(Programmer.TargetChip()));
  return true;
}

// What the window would not offer for this chip, said rather than ignored quietly.
void NoteUnusedOptions(const TCliOptions& Options, TCliProgrammer& Programmer) {
  const uint8_t Chip = Programmer.TargetChip();
  if (Options.MemorySizeGiven && !ChipSizeIsChosen(Chip)) {
    Programmer.Note("--mem applies to the 89C2051/4051 only; the " +
                    ChipName(Programmer.TargetChip()) + " has " +
                    std::to_string(Programmer.ChipImage().Size()) + " bytes");
  }
  if (Options.FastVerify && !ChipHasFastVerify(Chip)) {
    Programmer.Note("the 89C2051/4051 has no fast verify; it is verified by reading back");
  }
}

// A USB adapter whose latency timer could not be lowered: every written byte
// then waits for it.
void NoteLatencyTimer(TCliProgrammer& Programmer) {
  const TAdapterLatency& Latency = Programmer.Port().AdapterLatency();
  if (Latency.WriteError == 0) {
    return;
  }
  Programmer.Note("the USB adapter's latency timer is " + std::to_string(Latency.Before) +
                  " ms and could not be set to 1 (" + std::strerror(Latency.WriteError) +
                  "), so writing is slow; fix: install the udev rule 60-korvane.rules (see "
                  "'korvane-cli doctor'), or run: echo 1 | sudo tee " +
                  Latency.Attribute);
}

int RunPorts(TRun& Run) {
  std::vector<std::string> Ports;
  PortListFromSetting(Run.Environment.Ports ? Run.Environment.Ports->c_str() : nullptr)(Ports);
  if (Ports.empty()) {
    Run.Err << "no serial ports" << EmptyChoiceNote(Run.Environment) << std::endl;
    return exitSuccess;
  }
  ReportPortAccess(Ports, Run.Out);
  return exitSuccess;
}

int RunDetect(TRun& Run) {
  TCliProgrammer Programmer(Run.Options, ScanList(Run.Options, Run.Environment), Run.Out, Run.Err,
                            false);
  if (!Discover(Programmer, Run)) {
    return exitNoBoard;
  }
  if (Run.Json()) {
    Programmer.AnnounceChip(Run.Out);
  } else {
    // The one line of detect is its result, -q or not.
    Run.Out << Programmer.Port().Port() << ": " << ChipName(Programmer.TargetChip()) << std::endl;
  }
  return exitSuccess;
}

// The file of program and verify, loaded and checked as the workflow loads
// it, before any port is opened: a file that cannot be used must cost no
// board scan and leave no chip erased. The workflow takes this image, so the
// file is read once; the chip's own size is applied once it is known.
THexFile LoadInputImage(const TCliOptions& Options) {
  THexFile Image;
  Image.SetSize(LargestChipMemorySize());
  TProgrammer::LoadProgramFile(Image, Options.FileName, Options.Format);
  if (Options.Lock) {
    TProgrammer::CheckLockable(Image);
  }
  CheckSerialPlace(Options, Image);
  return Image;
}

bool IsProductionRun(const TCliOptions& Options) {
  return Options.Command == TCliCommand::cmdProgram && (Options.Repeat || Options.Serial);
}

// A production run from its first chip to its summary.
int RunProductionOnBoard(TCliProgrammer& Programmer, TRun& Run) {
  TProductionSummary Summary;
  {
    TInterruptWatch::TGuardScope Guard(Run.Watch, Programmer.Port(), true);
    Summary = RunProduction(Run.Options, Programmer, Run.Watch, Run.Out, Run.Err);
  }
  Run.Status = Programmer.LastStatusText();
  if (Summary.Interrupted) {
    Programmer.Port().Close();
    const std::string Where = Summary.StoppedMidChip
                                  ? ChipProgressText(Programmer.ChipProgress(), Run.Options.Lock)
                                  : "between chips; every chip counted above is finished";
    Run.Err << "Interrupted: " << Where << std::endl;
    Run.Details.Add("interrupted", true).Add("chip_state", Where);
  }
  if (Summary.BoardGone) {
    Run.Fail("the programmer board is gone from " + Programmer.Port().Port());
  }
  const std::string Line = std::to_string(Summary.Programmed) + " programmed, " +
                           std::to_string(Summary.Failed) + " failed, " +
                           std::to_string(Summary.Skipped) + " skipped";
  Run.FinalEvent = Run.Options.Repeat ? "summary" : "result";
  Run.Details.Add("programmed", int64_t{Summary.Programmed})
      .Add("failed", int64_t{Summary.Failed})
      .Add("skipped", int64_t{Summary.Skipped});
  if (!Run.Json() && Run.Options.Repeat) {
    Run.Out << Line << std::endl;
  }
  if (Summary.Interrupted) {
    return exitInterrupted;
  }
  if (Summary.BoardGone) {
    return exitNoBoard;
  }
  return Summary.Failed == 0 ? exitSuccess : exitOperationFailed;
}

// Where a workflow that the user stopped left the chip and the file.
std::string InterruptionText(const TCliOptions& Options, const TCliProgrammer& Programmer) {
  switch (Options.Command) {
    case TCliCommand::cmdProgram:
      return ChipProgressText(Programmer.ChipProgress(), Options.Lock);
    case TCliCommand::cmdRead:
      return Programmer.LastOutcome().Succeeded ? Options.FileName + " was saved"
                                                : "nothing was saved";
    case TCliCommand::cmdErase:
      return Programmer.LastOutcome().Succeeded ? "the chip is erased" : "the erase did not finish";
    default:
      return "nothing was written; the check did not finish";
  }
}

// Input is the file of program and verify, loaded already.
void RunWorkflowOf(TCliProgrammer& Programmer, const TCliOptions& Options, const THexFile& Input) {
  const TWorkflowOptions Chosen = Programmer.WorkflowOptions();
  switch (Options.Command) {
    case TCliCommand::cmdProgram:
      Programmer.ProgramLoadedFile(Input, Chosen);
      break;
    case TCliCommand::cmdRead:
      Programmer.ReadToFile(Options.FileName, Chosen, Options.Format);
      break;
    case TCliCommand::cmdVerify:
      Programmer.VerifyLoadedFile(Input, Chosen);
      break;
    case TCliCommand::cmdErase:
      Programmer.EraseOnly(Chosen);
      break;
    default:
      Programmer.BlankCheck(Chosen);
      break;
  }
}

// Where a read-back verification found the chip differing from the file.
void ReportDifference(const TDifference& Difference, TRun& Run) {
  char Line[96];
  std::snprintf(Line, sizeof Line,
                "first difference at 0x%04X: file %02X, chip %02X (%u bytes differ)",
                Difference.Address, Difference.FileByte, Difference.ChipByte,
                static_cast<unsigned>(Difference.Count));
  Run.Err << Line << std::endl;
  Run.Details.Add("first_difference", TJsonLine()
                                          .Add("address", int64_t{Difference.Address})
                                          .Add("file", int64_t{Difference.FileByte})
                                          .Add("chip", int64_t{Difference.ChipByte})
                                          .Add("count", int64_t{Difference.Count}));
}

// The blank check's result line: "blank", or where the chip is used.
std::string BlankLine(const TBlankCheck& Blank) {
  if (!Blank.FirstUsed) {
    return "blank";
  }
  char Line[80];
  std::snprintf(Line, sizeof Line, "not blank: first used byte at 0x%04X, %u bytes not FF",
                *Blank.FirstUsed, static_cast<unsigned>(Blank.UsedBytes));
  return Line;
}

// The end of a board command that ran to its end: the lines that explain a
// failure, the result line, the exit code.
int Conclude(TCliProgrammer& Programmer, TRun& Run) {
  const TOutcome& Outcome = Programmer.LastOutcome();
  if (const auto& Difference = Programmer.LastDifference()) {
    ReportDifference(*Difference, Run);
  }
  std::string ResultLine = Run.Status;
  if (Outcome.Step == TStep::stepBlankCheck) {
    const TBlankCheck& Blank = Programmer.BlankResult();
    ResultLine = BlankLine(Blank);
    Run.Details.Add("blank", !Blank.FirstUsed);
    if (Blank.FirstUsed) {
      Run.Details.Add("first_used", int64_t{*Blank.FirstUsed})
          .Add("used_bytes", int64_t{Blank.UsedBytes});
    }
    if (!Run.Json()) {
      Run.Out << ResultLine << std::endl;
    }
  } else if (Run.Quiet()) {
    Run.Out << ResultLine << std::endl;
  }
  return Outcome.Succeeded ? exitSuccess : exitOperationFailed;
}

// program, read, verify, erase and blank: the file checked, the board found,
// the workflow run with stops deferred, and the result.
int RunOnBoard(TRun& Run) {
  const TCliOptions& Options = Run.Options;
  THexFile Input;
  if (Options.Command == TCliCommand::cmdProgram || Options.Command == TCliCommand::cmdVerify) {
    Input = LoadInputImage(Options);
  }
  TCliProgrammer Programmer(Options, ScanList(Options, Run.Environment), Run.Out, Run.Err,
                            Run.ErrIsTerminal, Run.Watch);
  if (!Discover(Programmer, Run)) {
    return exitNoBoard;
  }
  Programmer.AnnounceChip(Run.Err);
  NoteUnusedOptions(Options, Programmer);
  NoteLatencyTimer(Programmer);

  Programmer.ReportStatusOn(Run.Out);
  if (IsProductionRun(Options)) {
    return RunProductionOnBoard(Programmer, Run);
  }
  {
    TInterruptWatch::TGuardScope Guard(Run.Watch, Programmer.Port(), true);
    TProgrammer::TBusyScope Busy(Programmer);
    RunWorkflowOf(Programmer, Options, Input);
  }
  Run.Status = Programmer.LastStatusText();
  if (Run.Watch != nullptr && Run.Watch->Requested()) {
    // The board is back at its prompt; give the port back before saying so.
    Programmer.Port().Close();
    const std::string Where = InterruptionText(Options, Programmer);
    Run.Err << "Interrupted: " << Where << std::endl;
    Run.Details.Add("interrupted", true).Add("chip_state", Where);
    return exitInterrupted;
  }
  return Conclude(Programmer, Run);
}

int RunCheck(TRun& Run) {
  // The loader and the count are those of the programming workflow.
  THexFile Image;
  Image.SetSize(Run.Options.ImageSize);
  TProgrammer::LoadProgramFile(Image, Run.Options.FileName, Run.Options.Format);
  const std::optional<uint16_t> Last = TProgrammer::LastUsedAddress(Image);
  Run.Out << (Last ? *Last + 1 : 0) << std::endl;
  return exitSuccess;
}

int RunCommand(TRun& Run) {
  switch (Run.Options.Command) {
    case TCliCommand::cmdPorts:
      return RunPorts(Run);
    case TCliCommand::cmdDetect:
      return RunDetect(Run);
    case TCliCommand::cmdProgram:
    case TCliCommand::cmdRead:
    case TCliCommand::cmdVerify:
    case TCliCommand::cmdErase:
    case TCliCommand::cmdBlank:
      return RunOnBoard(Run);
    case TCliCommand::cmdCheck:
      return RunCheck(Run);
    case TCliCommand::cmdInfo:
      PrintFileInfo(Run.Options, Run.Out);
      return exitSuccess;
    case TCliCommand::cmdDoctor:
      return RunDoctor(Run.Options, ScanList(Run.Options, Run.Environment),
                       Run.Environment.SysfsRoot.value_or("/sys"), Run.Out) == 0
                 ? exitSuccess
                 : exitOperationFailed;
    case TCliCommand::cmdNone:
      break;
  }
  return exitUsage;
}

// The command run, its exceptions turned into exit codes.
int RunGuarded(TRun& Run) {
  try {
    return RunCommand(Run);
  } catch (const EHexFile& Error) {
    Run.Fail(Error.what());
    return exitFileError;
  } catch (const EInOutError& Error) {
    Run.Fail(Error.what());
    return exitFileError;
  } catch (const EComPort& Error) {
    Run.Fail(Error.what());
    return exitPortError;
  } catch (const std::exception& Error) {
    Run.Fail(Error.what());
    return exitOperationFailed;
  }
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
  TRun Run{Options, Environment, Out, Err, ErrIsTerminal, Watch, {}, {}, {}};
  const int Code = RunGuarded(Run);
  if (Run.Json()) {
    TJsonLine Result;
    Result.Add("event", Run.FinalEvent)
        .Add("command", Options.CommandName)
        .Add("exit", int64_t{Code})
        .Add("status", Run.Status)
        .Append(Run.Details);
    if (!Run.Error.empty()) {
      Result.Add("error", Run.Error);
    }
    Out << Result.Text() << std::endl;
  }
  return Code;
}

}  // namespace korvane::cli
