#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/window_memory.h"
#include "shell/form1_layout.h"

namespace ordex::testing {

// The in-memory window built to Form1's layout, its controls named as Form1 names them.
class FakeView : public MemoryWindowView {
 public:
  FakeView() : MemoryWindowView(kForm1Layout) {}
  using MemoryWindowView::Text;
  const std::string& Text(Control control) const { return Text(ControlIndex(control)); }
  // The texts of the seven rows, top to bottom, in the order of the summary file's lines.
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (std::size_t row = 0; row < kForm1Rows.size(); ++row) rows.push_back(Text(row));
    return rows;
  }
};

}  // namespace ordex::testing
