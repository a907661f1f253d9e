#pragma once

#include <memory>

#include "platform/window_view.h"

namespace ordex {

// The backends behind CreateWindowView on POSIX.

// The terminal text view, writing to `output_fd` (standard output in the program).
std::unique_ptr<WindowView> CreateTextView(int output_fd, const FormLayout& layout);

// The FLTK window, or nullptr when no display can be opened or the program was built without
// FLTK. It lives in a module of its own that is loaded only when the environment names a
// display, so that a headless run never loads the toolkit and X11.
std::unique_ptr<WindowView> CreateFltkView(const FormLayout& layout);

// The entry of that module (window_fltk.cpp): a new window, or nullptr when no display opens.
extern "C" WindowView* OrdexCreateFltkView(const FormLayout* layout);

}  // namespace ordex
