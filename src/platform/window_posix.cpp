#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/window_posix.h"

namespace ordex {

#if ORDEX_WITH_FLTK
namespace {

// The module's entry, or nullptr with the loader's message on standard error. It is looked for
// next to the program through its run path, then where the build put it (for the tests, and
// under the sanitizers, whose dlopen does not see the program's run path). The module stays
// loaded for good: the window's code lives in it.
decltype(&OrdexCreateFltkView) LoadFltkModule() {
  void* module = ::dlopen(ORDEX_FLTK_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (!module) module = ::dlopen(ORDEX_FLTK_MODULE_BUILT, RTLD_NOW | RTLD_LOCAL);
  void* entry = module ? ::dlsym(module, "OrdexCreateFltkView") : nullptr;
  if (!entry) {
    // Not a reason to stop watching: the values still reach the terminal.
    std::fprintf(stderr, "ordex: no window, using the terminal: %s\n", ::dlerror());
  }
  return reinterpret_cast<decltype(&OrdexCreateFltkView)>(entry);
}

}  // namespace

std::unique_ptr<WindowView> CreateFltkView() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  const auto create = LoadFltkModule();
  return std::unique_ptr<WindowView>(create ? create() : nullptr);
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
