#include "platform/window_memory.h"

namespace ordex {

void MemoryWindowView::SetText(std::size_t control, std::string_view text) {
  state_.SetText(control, text);
  ++set_text_calls_;
}

void MemoryWindowView::SetVisible(bool visible) {
  visible_ = visible;
  ++set_visible_calls_;
}

void MemoryWindowView::SetTimerInterval(std::int32_t interval_ms) {
  interval_ms_ = interval_ms;
  ++set_timer_calls_;
}

void MemoryWindowView::RequestEnd(EndReason reason) {
  if (!running_) {
    state_.RequestEnd(reason);
  } else if (!end_in_loop_) {
    end_in_loop_ = reason;
  }
}

int MemoryWindowView::Run(TickListener& listener) {
  running_ = true;
  while (!state_.quit_requested() && !state_.end_requested() && !end_in_loop_ && interval_ms_ > 0 &&
         ticks_to_run > 0) {
    --ticks_to_run;
    listener.OnTick();
  }
  running_ = false;
  if (state_.quit_requested()) return state_.quit_status();
  if (!state_.TellRequestedEnd(listener)) listener.OnEnd(end_in_loop_.value_or(end_reason));
  return 0;
}

void MemoryWindowView::Pause(std::chrono::milliseconds pause) {
  if (state_.quit_requested()) return;
  paused_ += pause;
  state_.ThrowIfEndRequested();
}

}  // namespace ordex
