// How long programming takes on the wire: the bytes each step puts on the
// line at the board's 9600 baud, and the workflow's fixed pauses. The chip's
// own erase time and the handshake turnaround of the host come on top.
#pragma once

#include <cstdint>

namespace korvane {

// Seconds Bytes take on the line at 9600 baud.
double WireSeconds(uint32_t Bytes);

// Seconds one programming run of Count bytes takes at 9600 baud: erase,
// counter, write, then the read-back (or, with FastVerify, the checksum).
double ProgrammingSeconds(uint16_t Count, bool FastVerify);

}  // namespace korvane
