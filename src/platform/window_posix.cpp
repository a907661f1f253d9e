#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/window_posix.h"

namespace ordex {

#if ORDEX_WITH_FLTK
namespace {

// The module's path next to the program. (A run path of $ORIGIN would find it as well, but
// would make every start look for the C++ runtime in the program's folder first.)
std::string ModuleNextToProgram() {
  char program[4096];
  const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof program) return {};
  std::string path(program, static_cast<std::size_t>(length));
  path.resize(path.rfind('/') + 1);
  return path + ORDEX_FLTK_MODULE;
}

// The module's entry, or nullptr with the loader's message on standard error. It is looked for
// next to the program only (the build puts a copy beside the tests). The module stays loaded
// for good: the window's code lives in it.
decltype(&OrdexCreateFltkView) LoadFltkModule() {
  void* module = ::dlopen(ModuleNextToProgram().c_str(), RTLD_NOW | RTLD_LOCAL);
  void* entry = module ? ::dlsym(module, "OrdexCreateFltkView") : nullptr;
  if (!entry) {
    // Not a reason to stop watching: the values still reach the terminal.
    std::fprintf(stderr, "ordex: no window, using the terminal: %s\n", ::dlerror());
  }
  return reinterpret_cast<decltype(&OrdexCreateFltkView)>(entry);
}

}  // namespace

std::unique_ptr<WindowView> CreateFltkView(const FormLayout& layout) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  const auto create = LoadFltkModule();
  return std::unique_ptr<WindowView>(create ? create(&layout) : nullptr);
}
#else
std::unique_ptr<WindowView> CreateFltkView(const FormLayout&) { return nullptr; }
#endif

// ORDEX_VIEW=text chooses the terminal view even where a display is at hand: for tests, and for
// a user who watches the values over ssh with X forwarding switched on.
std::unique_ptr<WindowView> CreateWindowView(const FormLayout& layout) {
  const char* choice = std::getenv("ORDEX_VIEW");
  if (!choice || std::string_view(choice) != "text") {
    if (auto view = CreateFltkView(layout)) return view;
  }
  return CreateTextView(STDOUT_FILENO, layout);
}

}  // namespace ordex
