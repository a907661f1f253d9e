#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/window_posix.h"

namespace ordex {

#if ORDEX_WITH_FLTK
std::unique_ptr<WindowView> CreateFltkView() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  // Found next to the program through its run path. The module stays loaded for good: the
  // window's code lives in it.
  void* module = ::dlopen(ORDEX_FLTK_MODULE, RTLD_NOW | RTLD_LOCAL);
  auto* create =
      module
          ? reinterpret_cast<decltype(&OrdexCreateFltkView)>(::dlsym(module, "OrdexCreateFltkView"))
          : nullptr;
  if (!create) {
    // Not a reason to stop watching: the values still reach the terminal.
    std::fprintf(stderr, "ordex: no window, using the terminal: %s\n", ::dlerror());
    return nullptr;
  }
  return std::unique_ptr<WindowView>(create());
}
#else
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
