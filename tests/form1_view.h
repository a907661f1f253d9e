#pragma once

#include <string>

#include "platform/window_memory.h"
#include "shell/form1_layout.h"

namespace ordex::testing {

// The in-memory window built to Form1's layout, its controls named as Form1 names them.
class FakeView : public MemoryWindowView {
 public:
  FakeView() : MemoryWindowView(kForm1Layout) {}
  using MemoryWindowView::Text;
  const std::string& Text(Control control) const { return Text(ControlIndex(control)); }
};

}  // namespace ordex::testing
