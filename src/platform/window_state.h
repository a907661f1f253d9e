#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/window_view.h"

namespace ordex {

// What every view keeps, whatever draws it: the form's layout, the text of each control (in the
// 8-bit code page, starting with the layout's initial captions), whether Quit was called and an
// end asked for while the loop did not run.
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

  // The listener that hears of an end asked for while the loop does not run (WindowView::Listen).
  void Listen(TickListener& listener) { listener_ = &listener; }

  // An end that the user or the system asks for while the loop does not run (before it, during a
  // pause): the first is told at once to the listener, when one listens, so that it is told
  // within the handling of the request, and kept for a pause to throw or the loop to end on.
  // None after Quit.
  void RequestEnd(EndReason reason) {
    if (end_ || quit_requested_) return;
    end_ = reason;
    if (listener_ != nullptr) {
      end_told_ = true;
      listener_->OnEnd(reason);
    }
  }
  bool end_requested() const { return end_.has_value(); }

  // For a pause: throws EndRequested once an end has been asked for.
  void ThrowIfEndRequested() {
    if (!end_) return;
    end_told_ = true;
    throw EndRequested(*end_);
  }

  // For a loop: tells `listener` of an end asked for and not told yet; true when one was asked
  // for, and the loop is then over.
  bool TellRequestedEnd(TickListener& listener) {
    if (!end_) return false;
    if (!std::exchange(end_told_, true)) listener.OnEnd(*end_);
    return true;
  }

 private:
  const FormLayout& layout_;
  std::vector<std::string> texts_;
  bool quit_requested_ = false;
  int quit_status_ = 0;
  std::optional<EndReason> end_;
  bool end_told_ = false;
  TickListener* listener_ = nullptr;
};

}  // namespace ordex
