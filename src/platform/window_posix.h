#pragma once

#include <memory>

#include "platform/window_view.h"

namespace ordex {

// The backends behind CreateWindowView on POSIX.

// The terminal text view, writing to `output_fd` (standard output in the program).
std::unique_ptr<WindowView> CreateTextView(int output_fd);

// The FLTK window, or nullptr when no display can be opened or the program was built without
// FLTK.
std::unique_ptr<WindowView> CreateFltkView();

}  // namespace ordex
