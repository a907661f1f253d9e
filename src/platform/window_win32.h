#pragma once

#include <cstddef>

#include "platform/window_view.h"

namespace ordex {

// How the Windows main window can be found and its controls addressed: by the window class and
// caption, and by the child-window identifiers below.
inline constexpr char kWin32WindowClass[] = "ORDEX.Form1";

// The window's icon: this resource of the executable, when it has one (ordex.exe does).
inline constexpr int kWin32IconResource = 1;

// The controls whose text changes, by their number in the layout (see FormLayout).
inline constexpr int Win32ControlId(std::size_t control) {
  return 1000 + static_cast<int>(control);
}

// The caption label of row `row` (0-based, in the order of FormLayout::rows).
inline constexpr int Win32LabelId(std::size_t row) { return 2000 + static_cast<int>(row); }

}  // namespace ordex
