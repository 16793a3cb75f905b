// The common ground of the reliability suites: a programmer, a virtual board
// reached through a stable link name (so that a restarted board is found at
// the same name), the user's files, and the checks every fault case ends with.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RecordingLink.h"
#include "TestFiles.h"
#include "UBoardSim.h"

namespace korvane::test {

using Texts = std::vector<std::string>;

// The bytes of a file as they are on disk; "<missing>" for none.
std::string FileBytes(const std::string& FileName);

class ReliabilityTest : public ::testing::Test {
 protected:
  ReliabilityTest();
  ~ReliabilityTest() override;

  // Starts a board with Options at Link() and polls it in; the chip must be found.
  void StartBoard(sim::TBoardSimOptions Options);
  // Stops and forgets the board: the host sees a hang-up.
  void StopBoard();
  // A plain 89C52 at the same link name, and a poll that must find it. A
  // first poll may report the lost port once (the known-chip check).
  void ExpectPollFindsBoardAgain();

  // Runs a workflow as the window's click handler does: busy set around it,
  // an exception recorded instead of passed on. Returns the exception's
  // message ("" for none) and fails the test when it takes longer than
  // LimitMs.
  std::string RunBusy(const std::function<void()>& Operation, long long LimitMs);
  // Runs one poll as the window's timer does (the poll sets the busy flag
  // itself), with the same checks.
  std::string RunPoll(long long LimitMs);

  // The user's HEX file (Bytes at address 0), remembered for UserFileUnchanged.
  void WriteUserFile(const std::vector<uint8_t>& Bytes);
  void ExpectUserFilesUnchanged() const;

  std::string Link() const { return Dir.File("board"); }

  TTempDir Dir;
  std::unique_ptr<sim::TBoardSim> Board;
  TRecordingLink Programmer;
  std::string UserFile;
  // A previous read's output, which a failed read must leave alone.
  std::string OutputFile;

 private:
  std::string Run(const std::function<void()>& Operation, long long LimitMs);

  std::string FUserBytes;
  std::string FOutputBytes;
};

}  // namespace korvane::test
