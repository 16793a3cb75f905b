// The board's end of the line: a pseudo-terminal pair, raw from the start,
// that the board keeps hold of on both sides, optionally reached through a
// symbolic link, and hung up by closing it.
#pragma once

#include <cstddef>
#include <string>

namespace korvane::sim {

class TPseudoTerminal {
 public:
  TPseudoTerminal() = default;
  ~TPseudoTerminal();  // Close()s and Unlink()s
  TPseudoTerminal(const TPseudoTerminal&) = delete;
  TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

  // Opens the pair and makes it raw before anyone can know its name; raises
  // std::runtime_error.
  void Open();
  // The device a host opens ("/dev/pts/7").
  const std::string& Device() const { return FDevice; }
  // The board's side, non-blocking; -1 once closed.
  int Master() const { return FMaster; }
  bool IsOpen() const { return FMaster >= 0; }
  // Bytes written to the master that the host has not read yet.
  size_t HostInputCount() const;

  // Makes Path a symbolic link to the device, replacing an earlier link but
  // never any other file; raises std::runtime_error.
  void Link(const std::string& Path);
  // Removes the link made by Link(), if any.
  void Unlink();
  // Closes both sides: the host sees a hang-up, and its unread input is gone.
  void Close();

 private:
  int FMaster = -1;
  // The board's own hold on the slave: the line stays up between host
  // sessions, and bytes the host leaves behind are not lost when it closes.
  int FKeepSlave = -1;
  std::string FDevice;
  std::string FLinkPath;
};

}  // namespace korvane::sim
