#pragma once
// Where the main window's children go for a given client size: plain
// arithmetic, kept apart from the messages that apply it.

#include <array>

namespace zep::ui {

inline constexpr int kMinTrackWidth = 397;
inline constexpr int kMinTrackHeight = 150;

// The status bar's first part, which carries the status text, ends here; the
// progress bar sits inside the second part.
inline constexpr int kStatusTextPartEdge = 145;
inline constexpr int kProgressBarX = 147;
inline constexpr int kProgressBarY = 2;
inline constexpr int kProgressBarHeight = 18;

struct Layout {
  int listWidth = 0;
  int listHeight = 0;
  std::array<int, 2> statusPartEdges{};
  int progressBarWidth = 0;
  std::array<int, 6> columnWidths{};
};

// clientWidth and clientHeight of the main window, statusHeight the height of
// the status bar's client area. Negative results (a minimized or tiny window)
// are returned as computed.
Layout ComputeLayout(int clientWidth, int clientHeight, int statusHeight);

}  // namespace zep::ui
