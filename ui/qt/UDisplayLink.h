// The window's link to its display, for a process that must not strand the
// board when the display goes away.
//
// On X11, Qt ends the process (exit) as soon as it handles events from a
// broken connection, in the middle of a workflow if one is running. The
// window asks first and handles no events once the display is lost, so that
// the workflow can finish the board's stream before the process ends.
#pragma once

namespace korvane {

// Whether the connection to the window's display has broken (X11); false
// on every other platform.
bool DisplayLost();

}  // namespace korvane
