#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "platform/window_posix.h"

namespace ordex {

#if !ORDEX_WITH_FLTK
std::unique_ptr<WindowView> CreateFltkView() { return nullptr; }
#endif

// ORDEX_VIEW=text chooses the terminal view even where a display is at hand: for tests, and for
// a user who watches the values over ssh with X forwarding switched on.
std::unique_ptr<WindowView> CreateWindowView() {
  const char* choice = std::getenv("ORDEX_VIEW");
  if (!choice || std::string_view(choice) != "text") {
    if (auto view = CreateFltkView()) return view;
  }
  return CreateTextView(STDOUT_FILENO);
}

}  // namespace ordex
