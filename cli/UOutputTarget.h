// The file a read is saved to, looked at before the board is touched: a read
// takes up to a minute, and a name that cannot take the image (a FIFO nobody
// reads, which would hang the save while the port is held; a device; a
// folder) must fail before it, not after.
#pragma once

#include <string>

namespace korvane::cli {

// Raises EInOutError, named as such, when FileName cannot be saved to as a
// file: "Not a regular file (FIFO)" (or folder, character device, block
// device, socket), "File name too long", "Too many levels of symbolic
// links", "File not found" for a folder that does not exist, "Not a
// directory" for a path through a file.
void CheckOutputTarget(const std::string& FileName);

}  // namespace korvane::cli
