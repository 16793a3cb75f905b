// The virtual board's socket as whoever changes its chip sees it: a file that
// names the chip kind in it (as TBoardSimOptions::Chip takes it) or "empty".
// Another name than the one before means the chip has been changed.
#pragma once

#include <optional>
#include <string>

namespace korvane::sim {

class TChipSocket {
 public:
  // What the file holds when no chip is in the socket.
  static constexpr const char* CEmpty = "empty";

  // Path: the file, empty for none (the socket is then never looked at).
  // InSocket: the kind in the socket now.
  TChipSocket(std::string Path, std::string InSocket)
      : FPath(std::move(Path)), FInSocket(std::move(InSocket)) {}

  // The name in the file, when it differs from the kind in the socket;
  // nothing when it is the same, or the file is missing or holds no name.
  std::optional<std::string> Look() const;
  // Kind is in the socket now.
  void Seated(std::string Kind) { FInSocket = std::move(Kind); }

 private:
  std::string FPath;
  std::string FInSocket;
};

}  // namespace korvane::sim
