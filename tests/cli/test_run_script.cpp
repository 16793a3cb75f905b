// scripts/run.sh, the README's main-job command, run as a user runs it, in
// this build directory.
#include <gtest/gtest.h>

#include "CliTestSupport.h"

namespace korvane::test {
namespace {

TEST(RunScript, ProgramsReadsBackAndReportsAMatch) {
  TProcessOptions Options;
  Options.Env["KORVANE_BUILD_DIR"] = KORVANE_BINARY_DIR;
  // Stray port lists of the caller must not matter: the script sets its own.
  Options.Env["KORVANE_PORTS"] = "/dev/korvane-none";
  Options.OwnProcessGroup = true;
  Options.TimeoutSeconds = 1700;
  const TProcessResult Run =
      RunProcess("/bin/bash", {std::string(KORVANE_SOURCE_DIR) + "/scripts/run.sh"}, Options);
  EXPECT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  EXPECT_NE(Run.Out.find("virtual 89C52 board on /dev/pts/"), std::string::npos) << Run.Out;
  EXPECT_NE(Run.Out.find("Writing... [148 Bytes]"), std::string::npos) << Run.Out;
  EXPECT_NE(Run.Out.find("Reading..."), std::string::npos) << Run.Out;
  EXPECT_NE(Run.Out.find("MATCH: the chip holds examples/blink/blink.hex (148 bytes used, 8192 "
                         "bytes compared)"),
            std::string::npos)
      << Run.Out << Run.Err;
  // The virtual board was stopped: nothing of the script outlives it.
  EXPECT_TRUE(Run.GroupGone);
}

TEST(RunScript, WindowWithoutADisplayFallsBackToTheCommandLine) {
  TProcessOptions Options;
  Options.Env["KORVANE_BUILD_DIR"] = KORVANE_BINARY_DIR;
  Options.Env["DISPLAY"] = "";
  Options.Env["WAYLAND_DISPLAY"] = "";
  Options.OwnProcessGroup = true;
  Options.TimeoutSeconds = 1700;
  const TProcessResult Run = RunProcess(
      "/bin/bash", {std::string(KORVANE_SOURCE_DIR) + "/scripts/run.sh", "--window"}, Options);
  EXPECT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  EXPECT_NE(Run.Err.find("no display"), std::string::npos) << Run.Err;
  EXPECT_NE(Run.Out.find("MATCH: "), std::string::npos) << Run.Out;
  EXPECT_TRUE(Run.GroupGone);
}

}  // namespace
}  // namespace korvane::test
