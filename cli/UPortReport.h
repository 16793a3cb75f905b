// The port report of `ports`, and of a board scan that found nothing.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvane::cli {

// One line per port, "NAME: can be opened" or "NAME: cannot be opened
// (REASON)", and a hint after the first permission refusal. True when every
// port could be opened.
bool ReportPortAccess(const std::vector<std::string>& Names, std::ostream& Out);

}  // namespace korvane::cli
