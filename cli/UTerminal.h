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

// Whether the standard output is a terminal that takes the cursor moves of
// the ANSI escape sequences (on Windows, a console that was switched to
// them here).
bool StandardOutputTakesCursorMoves();
// The width of the terminal behind the standard output; 0 when not known.
int StandardOutputColumns();

// What to do about a write stream much slower than the wire: the usual cause
// is a USB adapter's latency timer, set where the platform keeps it.
const char* SlowAdapterFix();

// Whether a line can be read from the standard input within TimeoutMs
// milliseconds (also at its end, so that a closed input does not wait).
bool InputLineReady(int TimeoutMs);

}  // namespace korvane::cli
