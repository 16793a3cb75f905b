#include "UProductionLog.h"

#include <cerrno>
#include <filesystem>

#include "UHexFile.h"
#include "UHexFileIO.h"

namespace korvane::cli {

namespace {

// The words for what stands at a path instead of a regular file.
const char* KindOf(std::filesystem::file_type Type) {
  switch (Type) {
    case std::filesystem::file_type::directory:
      return "folder";
    case std::filesystem::file_type::character:
      return "character device";
    case std::filesystem::file_type::block:
      return "block device";
    case std::filesystem::file_type::fifo:
      return "FIFO";
    case std::filesystem::file_type::socket:
      return "socket";
    default:
      return "not a file";
  }
}

}  // namespace

TProductionLog::TProductionLog(std::string Path) : FPath(std::move(Path)) {
  std::error_code Error;
  const std::filesystem::file_status Status = std::filesystem::status(FPath, Error);
  if (std::filesystem::exists(Status) && !std::filesystem::is_regular_file(Status)) {
    // Records that a device swallows or refuses are records lost.
    throw EInOutError(std::filesystem::is_directory(Status) ? EISDIR : EINVAL,
                      "Log " + FPath + ": Not a regular file (" + KindOf(Status.type()) + ")");
  }
  // Opened, created when missing, and synced with nothing appended: what
  // cannot be done now would fail only after the first chip.
  Append("");
  CheckRoom();
}

void TProductionLog::CheckRoom() const {
  // A record is a few hundred bytes; a block of the disk holds it.
  constexpr std::uintmax_t RecordRoom = 4096;
  std::error_code Error;
  const std::filesystem::path Folder = std::filesystem::absolute(FPath, Error).parent_path();
  const std::filesystem::space_info Space = std::filesystem::space(Folder, Error);
  if (!Error && Space.available < RecordRoom) {
    throw EInOutError(ENOSPC, "Log " + FPath + ": No space left on device (" +
                                  std::to_string(Space.available) + " bytes free)");
  }
}

void TProductionLog::Append(const std::string& Line) {
  try {
    AppendDurably(FPath, Line);
  } catch (const EInOutError& Error) {
    throw EInOutError(Error.ErrorCode(), "Log " + FPath + ": " + Error.what());
  }
}

}  // namespace korvane::cli
