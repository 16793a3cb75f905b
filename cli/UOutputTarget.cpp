#include "UOutputTarget.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "UHexFile.h"
#include "UHexFileIO.h"

namespace korvane::cli {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Refuse(const std::error_code& Error) {
  const int Code = Error.default_error_condition().value();
  if (Code == ENOENT) {
    throw EInOutError(ENOENT);
  }
  throw EInOutError(Code, std::generic_category().message(Code));
}

const char* KindOf(fs::file_type Type) {
  switch (Type) {
    case fs::file_type::directory:
      return "folder";
    case fs::file_type::fifo:
      return "FIFO";
    case fs::file_type::character:
      return "character device";
    case fs::file_type::block:
      return "block device";
    case fs::file_type::socket:
      return "socket";
    default:
      return "unknown type";
  }
}

}  // namespace

void CheckOutputTarget(const std::string& FileName) {
  std::error_code Error;
  const fs::file_status Status = fs::status(FileName, Error);
  if (Status.type() == fs::file_type::regular) {
    return;
  }
  if (Status.type() != fs::file_type::not_found) {
    if (Error) {
      Refuse(Error);
    }
    throw NotARegularFile(Status.type() == fs::file_type::directory ? EISDIR : EINVAL,
                          KindOf(Status.type()));
  }
  if (Error && Error != std::errc::no_such_file_or_directory) {
    Refuse(Error);
  }
  // A new file: its folder must be there.
  const fs::path Folder = fs::path(FileName).parent_path();
  if (Folder.empty()) {
    return;
  }
  const fs::file_status FolderStatus = fs::status(Folder, Error);
  if (Error) {
    Refuse(Error);
  }
  if (FolderStatus.type() != fs::file_type::directory) {
    Refuse(std::make_error_code(std::errc::not_a_directory));
  }
}

}  // namespace korvane::cli
