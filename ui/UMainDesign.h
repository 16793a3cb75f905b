// What every face of the main window takes from one place: the captions,
// the poll's period, the design font's line height that the layout scales
// from, the texts the status panel must hold, the file dialogs' filters and
// the code-memory choice's labels. The faces decide how these look; what
// they are is said here once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The caption of the program's message boxes.
inline constexpr const char* ApplicationTitle = "Korvane";
// The main window's caption, with the project's version: "Korvane V4.1".
inline constexpr const char* MainWindowCaption = "Korvane V" KORVANE_VERSION;
// The status line while a close is refused.
inline constexpr const char* BusyStatus = "Please wait: an operation is running";
// The poll's period.
inline constexpr int PollIntervalMs = 1000;
// The line height, in pixels, of the font the layout was designed at; the
// layout grows from there as the font and the screen's DPI demand.
inline constexpr double DesignLineHeight = 13.0;

// Every text the status panel shows at its widest, WidestPort standing for
// the port of "Try to connect by : ", so that the panel is laid out to hold
// each without cutting it.
std::vector<std::string> StatusTextsToFit(std::string_view WidestPort);

// A file dialog's filter: "Intel Hex File" with its patterns ("*.hex"), and
// the extension a name without one gets.
struct TFileFilter {
  std::string Name;
  std::vector<std::string> Patterns;
  std::string DefaultExtension;
};
// Send's open dialog (.hex and .ihx) and Read's save dialog (.hex).
const TFileFilter& OpenFileFilter();
const TFileFilter& SaveFileFilter();

// The labels of the code-memory choice, in the order of its items: "2KB",
// "4KB" (MemSizeItemIndex counts in this order).
std::vector<std::string> MemSizeItemLabels();

}  // namespace korvane
