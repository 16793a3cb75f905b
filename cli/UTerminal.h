// What korvane-cli needs to know of the terminal it runs in.
#pragma once

namespace korvane::cli {

// Whether the standard error stream is a terminal (the progress bar is drawn
// only there).
bool StandardErrorIsTerminal();

}  // namespace korvane::cli
