#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/window_state.h"
#include "platform/window_view.h"

namespace ordex {

// A window held in memory, for tests: it keeps what a real view shows (texts, visibility, the
// timer's interval) and its loop runs the ticks a test lets pass, one after another, without a
// clock. It passes the same contract suite as the real views.
class MemoryWindowView : public WindowView {
 public:
  explicit MemoryWindowView(const FormLayout& layout) : state_(layout) {}

  void SetText(std::size_t control, std::string_view text) override;
  void SetVisible(bool visible) override;
  void SetTimerInterval(std::int32_t interval_ms) override;

  void Listen(TickListener& listener) override { state_.Listen(listener); }

  // Ticks while the timer is on, up to `ticks_to_run` times, then ends as `end_reason` says
  // (tells the listener, returns 0). After Quit it returns that status once the current tick
  // has ended; after RequestEnd it ends as that says once the current tick has ended.
  int Run(TickListener& listener) override;
  void Quit(int status) override { state_.RequestQuit(status); }

  // Takes no time of its own: the machine's clock moves for it. Handles what arrived until its
  // end: an end asked for with RequestEnd throws EndRequested.
  void Pause(std::chrono::milliseconds pause) override;

  // The window is asked to end, as the user, the session or an installer asks a real one
  // (kClosedForUpdate: the package's machine-wide close signal, set): a pause under way or to
  // come throws, once the listener given to Listen has heard of it (before this returns, as a
  // real window tells it while it handles the request); a loop ends after its tick, and tells it
  // then.
  void RequestEnd(EndReason reason);

  // The time a test lets pass, in ticks of the timer, and how the loop ends after it.
  int ticks_to_run = 0;
  EndReason end_reason = EndReason::kWindowClosed;

  const std::string& Text(std::size_t control) const { return state_.Text(control); }
  bool visible() const { return visible_; }
  std::int32_t interval_ms() const { return interval_ms_; }
  // The status given to Quit, or -1 while Quit has not been called.
  int quit_status() const { return state_.quit_requested() ? state_.quit_status() : -1; }

  int set_text_calls() const { return set_text_calls_; }
  int set_visible_calls() const { return set_visible_calls_; }
  int set_timer_calls() const { return set_timer_calls_; }
  std::chrono::milliseconds paused() const { return paused_; }

 private:
  WindowState state_;
  bool running_ = false;
  std::optional<EndReason> end_in_loop_;
  bool visible_ = false;
  std::int32_t interval_ms_ = 0;
  int set_text_calls_ = 0;
  int set_visible_calls_ = 0;
  int set_timer_calls_ = 0;
  std::chrono::milliseconds paused_{0};
};

}  // namespace ordex
