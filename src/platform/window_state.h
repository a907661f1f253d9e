#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window_view.h"

namespace ordex {

// What every view keeps, whatever draws it: the form's layout, the text of each control (in the
// 8-bit code page, starting with the layout's initial captions) and whether Quit was called.
// Each backend holds one and keeps only what differs beside it.
class WindowState {
 public:
  explicit WindowState(const FormLayout& layout) : layout_(layout), texts_(layout.control_count()) {
    for (std::size_t i = 0; i < layout.status.size(); ++i) {
      texts_[layout.rows.size() + i] = layout.status[i].initial_text;
    }
  }

  const FormLayout& layout() const { return layout_; }
  std::size_t control_count() const { return texts_.size(); }
  bool IsTextBox(std::size_t control) const { return control < layout_.rows.size(); }
  const std::string& Text(std::size_t control) const { return texts_.at(control); }

  // Keeps `text` for `control`; false when it held that text already.
  bool SetText(std::size_t control, std::string_view text) {
    std::string& current = texts_.at(control);
    if (current == text) return false;
    current.assign(text);
    return true;
  }

  void RequestQuit(int status) {
    quit_requested_ = true;
    quit_status_ = status;
  }
  bool quit_requested() const { return quit_requested_; }
  int quit_status() const { return quit_status_; }

 private:
  const FormLayout& layout_;
  std::vector<std::string> texts_;
  bool quit_requested_ = false;
  int quit_status_ = 0;
};

}  // namespace ordex
