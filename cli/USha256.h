// SHA-256 of a file's bytes, for the production log's record of which file
// went into each chip.
#pragma once

#include <string>
#include <string_view>

namespace korvane::cli {

// The digest of Data as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view Data);

}  // namespace korvane::cli
