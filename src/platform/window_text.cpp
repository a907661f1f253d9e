#include "platform/window_view.h"

namespace ordex {

std::unique_ptr<WindowView> CreateWindowView() { return nullptr; }  // not built yet

}  // namespace ordex
