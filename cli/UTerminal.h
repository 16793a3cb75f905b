// What korvane-cli needs to know of the terminal it runs in.
#pragma once

namespace korvane::cli {

// Whether the standard error stream is a terminal (the progress bar is drawn
// only there).
bool StandardErrorIsTerminal();
// The width of the terminal behind the standard error stream, in columns;
// 0 when it is not known. POSIX asks the terminal (TIOCGWINSZ), then the
// COLUMNS variable; Windows asks the console.
int StandardErrorColumns();

// What to do about a write stream much slower than the wire: the usual cause
// is a USB adapter's latency timer, set where the platform keeps it.
const char* SlowAdapterFix();

// Whether a line can be read from the standard input within TimeoutMs
// milliseconds (also at its end, so that a closed input does not wait).
bool InputLineReady(int TimeoutMs);

}  // namespace korvane::cli
