// The three standard streams every program of ours starts with open.
//
// A process started with descriptor 0, 1 or 2 closed ("korvane-cli read
// x.hex >&-") would get that number for the next file it opens: the serial
// port, so that the status text meant for the terminal went to the board
// as commands, and the standard input was read from the board.
#pragma once

namespace korvane {

// Opens the null device on each of the descriptors 0, 1 and 2 that is
// closed, for reading only: a read finds the end at once, and a write fails
// as it failed on the closed descriptor, so that a closed output is still
// found as one. Call it first in main, before anything is opened. Nothing
// to do where ports are handles rather than descriptors (Windows).
void KeepStandardStreamsOpen() noexcept;

}  // namespace korvane
