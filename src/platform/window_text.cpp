#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>

#include "core/codepage.h"
#include "platform/error_posix.h"
#include "platform/fd_posix.h"
#include "platform/stop_signals_posix.h"
#include "platform/window_posix.h"
#include "platform/window_state.h"

namespace ordex {
namespace {

constexpr std::size_t kValueColumn = 26;

// Long values are cut at the right edge rather than wrapped, so a frame always has one line
// for the caption, one per row and one for the status row.
constexpr std::string_view kWrapOff = "\x1b[?7l";
constexpr std::string_view kWrapOn = "\x1b[?7h";

// Cursor up over the last frame, to its first column, and clear to the end of the screen.
std::string BackOverFrame(const FormLayout& layout) {
  return "\x1b[" + std::to_string(layout.rows.size() + 2) + "A\r\x1b[J";
}

std::int64_t NowNs() {
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);  // served by the vDSO: no system call
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Texts come from files and the registry; control characters in them must not reach a terminal
// as commands. The five bytes Windows-1252 leaves undefined would become C1 controls.
bool IsControlByte(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

std::string Printable(std::string_view text) {
  std::string safe(text);
  for (char& c : safe) {
    if (IsControlByte(static_cast<unsigned char>(c))) c = '?';
  }
  return Cp1252ToUtf8(safe);
}

void AppendLine(std::string& frame, std::string_view left, std::string_view right) {
  frame += left;
  if (!right.empty()) {
    frame.append(left.size() < kValueColumn ? kValueColumn - left.size() : 1, ' ');
    frame += right;
  }
  frame += '\n';
}

// The window drawn as text on a terminal or into a file or pipe. What it shows is drawn between
// events, once for all the changes of one event: in place on a terminal, as an appended block of
// lines otherwise. Its event loop waits in one ppoll for the next tick or a stop signal.
class TextWindowView : public WindowView {
 public:
  TextWindowView(int output_fd, const FormLayout& layout)
      : state_(layout),
        back_over_frame_(BackOverFrame(layout)),
        output_fd_(output_fd),
        terminal_(::isatty(output_fd) == 1) {
    // A reader that goes away must not end the program; what it missed is lost, nothing else.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous_sigpipe_);
  }

  ~TextWindowView() override { ::sigaction(SIGPIPE, &previous_sigpipe_, nullptr); }

  void SetText(std::size_t control, std::string_view text) override {
    if (state_.SetText(control, text)) changed_ = true;
  }

  void SetVisible(bool visible) override { visible_ = visible; }

  void SetTimerInterval(std::int32_t interval_ms) override {
    ++timer_settings_;
    timer_on_ = interval_ms > 0;
    if (!timer_on_) return;
    period_ns_ = std::int64_t{interval_ms} * 1'000'000;
    deadline_ns_ = NowNs() + period_ns_;
  }

  void Listen(TickListener& listener) override { state_.Listen(listener); }

  int Run(TickListener& listener) override {
    if (state_.TellRequestedEnd(listener)) return 0;
    for (;;) {
      Draw();
      if (state_.quit_requested()) return state_.quit_status();
      if (stop_signals_.Requested()) break;
      if (timer_on_ && NowNs() >= deadline_ns_) {
        Tick(listener);
        continue;
      }
      if (WaitForEvent()) break;
    }
    stop_signals_.Clear();
    listener.OnEnd(EndReason::kStopRequest);
    return 0;
  }

  void Quit(int status) override { state_.RequestQuit(status); }

  // A terminal's window has nothing to answer but a stop signal.
  void Pause(std::chrono::milliseconds pause) override {
    if (state_.quit_requested()) return;
    Draw();
    const std::int64_t deadline_ns = NowNs() + std::int64_t{pause.count()} * 1'000'000;
    for (;;) {
      if (stop_signals_.Requested()) {
        stop_signals_.Clear();
        state_.RequestEnd(EndReason::kStopRequest);
      }
      state_.ThrowIfEndRequested();
      const std::int64_t wait_ns = deadline_ns - NowNs();
      if (wait_ns <= 0) return;
      WaitForStop(wait_ns);
    }
  }

 private:
  void Tick(TickListener& listener) {
    const auto settings_before = timer_settings_;
    listener.OnTick();
    if (!timer_on_ || timer_settings_ != settings_before) return;
    // Keep a steady period; ticks missed during a long pass are not made up.
    deadline_ns_ += period_ns_;
    if (const auto now = NowNs(); deadline_ns_ <= now) deadline_ns_ = now + period_ns_;
  }

  // Blocks until the timer is due or a stop signal arrives; true for the signal. Between ticks
  // this is the only system call.
  bool WaitForEvent() {
    if (!timer_on_) return WaitForStop(std::nullopt);
    return WaitForStop(std::max<std::int64_t>(deadline_ns_ - NowNs(), 0));
  }

  // Blocks for `wait_ns` (for good: nothing) or until a stop signal arrives; true for the signal.
  bool WaitForStop(std::optional<std::int64_t> wait_ns) {
    pollfd stop{stop_signals_.fd(), POLLIN, 0};
    timespec timeout{};
    if (wait_ns) {
      timeout.tv_sec = static_cast<time_t>(*wait_ns / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(*wait_ns % 1'000'000'000);
    }
    const int ready = ::ppoll(&stop, 1, wait_ns ? &timeout : nullptr, nullptr);
    if (ready < 0 && errno != EINTR) {
      throw PosixError("cannot wait for", "the timer", errno);
    }
    return ready > 0 || stop_signals_.Requested();
  }

  void Draw() {
    if (!visible_) {
      // On a terminal the frame goes with the window; elsewhere nothing is written while hidden.
      if (on_screen_ && terminal_) Write(back_over_frame_);
      on_screen_ = false;
      return;
    }
    if (on_screen_ && !changed_) return;
    std::string out;
    if (terminal_) {
      if (on_screen_) out += back_over_frame_;
      out += kWrapOff;
    } else if (blocks_written_ > 0) {
      out += '\n';
    }
    out += Frame();
    if (terminal_) out += kWrapOn;
    Write(out);
    on_screen_ = true;
    changed_ = false;
    ++blocks_written_;
  }

  std::string Frame() const {
    std::string frame;
    const FormLayout& layout = state_.layout();
    AppendLine(frame, layout.caption, {});
    for (std::size_t row = 0; row < layout.rows.size(); ++row) {
      AppendLine(frame, layout.rows[row].caption, Printable(state_.Text(row)));
    }
    // The status labels: the first at the left, the others in the value column.
    std::string status[2];
    for (std::size_t i = layout.rows.size(); i < state_.control_count(); ++i) {
      std::string& part = status[i == layout.rows.size() ? 0 : 1];
      if (!part.empty()) part += ' ';
      part += Printable(state_.Text(i));
    }
    AppendLine(frame, status[0], status[1]);
    return frame;
  }

  // The view is a window, not the program's output: a terminal or pipe that fails loses the
  // picture but must not stop the watch.
  void Write(std::string_view text) const {
    while (!text.empty()) {
      const ssize_t count =
          RetryOnEintr([&] { return ::write(output_fd_, text.data(), text.size()); });
      if (count <= 0) return;
      text.remove_prefix(static_cast<std::size_t>(count));
    }
  }

  WindowState state_;
  const std::string back_over_frame_;
  const int output_fd_;
  const bool terminal_;
  StopSignals stop_signals_;
  struct sigaction previous_sigpipe_ {};
  bool visible_ = false;
  bool changed_ = false;
  bool on_screen_ = false;
  long blocks_written_ = 0;
  bool timer_on_ = false;
  std::int64_t period_ns_ = 0;
  std::int64_t deadline_ns_ = 0;
  std::uint64_t timer_settings_ = 0;
};

}  // namespace

std::unique_ptr<WindowView> CreateTextView(int output_fd, const FormLayout& layout) {
  return std::make_unique<TextWindowView>(output_fd, layout);
}

}  // namespace ordex
