#include "UEnterLines.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <iostream>

#include "UTerminal.h"
#include "UText.h"

namespace korvane::cli {

namespace {

constexpr int StopCheckMs = 100;

// Line without the blanks around it (a carriage return from a Windows
// console among them).
std::string Trimmed(const std::string& Line) {
  size_t First = 0;
  size_t Last = Line.size();
  while (First < Last && std::isspace(static_cast<unsigned char>(Line[First])) != 0) {
    ++First;
  }
  while (Last > First && std::isspace(static_cast<unsigned char>(Line[Last - 1])) != 0) {
    --Last;
  }
  return Line.substr(First, Last - First);
}

}  // namespace

TEnterLines::TAnswer TEnterLines::Await(int Board, const std::function<bool()>& Stopped) {
  std::unique_lock Lock(FGuard);
  FWaiting.insert(Board);
  TAnswer Answer = TAnswer::Stopped;
  for (;;) {
    if (FEntered.erase(Board) != 0) {
      Answer = TAnswer::Entered;
      break;
    }
    if (FEnded) {
      Answer = TAnswer::InputEnded;
      break;
    }
    if (Stopped()) {
      break;
    }
    if (FReading) {
      FChanged.wait_for(Lock, std::chrono::milliseconds(StopCheckMs));
    } else {
      ReadOne(Lock);
    }
  }
  FWaiting.erase(Board);
  return Answer;
}

bool TEnterLines::ReadOne(std::unique_lock<std::mutex>& Lock) {
  FReading = true;
  Lock.unlock();
  std::string Line;
  const bool Ready = InputLineReady(StopCheckMs);
  const bool Read = Ready && static_cast<bool>(std::getline(std::cin, Line));
  Lock.lock();
  FReading = false;
  if (Ready && !Read) {
    FEnded = true;
  }
  std::string Refused = Read ? Dispatch(Line) : "";
  FChanged.notify_all();
  if (!Refused.empty() && FSay) {
    FSay(Refused);
  }
  return Read;
}

std::string TEnterLines::Dispatch(const std::string& Line) {
  if (FBoards == 1) {
    FEntered.insert(1);
    return "";
  }
  const std::string Text = Trimmed(Line);
  if (Text.empty()) {
    if (FWaiting.size() == 1) {
      FEntered.insert(*FWaiting.begin());
      return "";
    }
    return FWaiting.empty() ? "no board is waiting for Enter"
                            : "boards " + Joined(FWaiting, ", ") +
                                  " are waiting: type the number of the board whose chip is in, "
                                  "then Enter";
  }
  char* End = nullptr;
  const long Board = std::strtol(Text.c_str(), &End, 10);
  if (*End != '\0' || !FWaiting.contains(static_cast<int>(Board))) {
    return "'" + Text + "' names no board that is waiting" +
           (FWaiting.empty() ? std::string() : " (waiting: " + Joined(FWaiting, ", ") + ")");
  }
  FEntered.insert(static_cast<int>(Board));
  return "";
}

}  // namespace korvane::cli
