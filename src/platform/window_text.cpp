#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "core/codepage.h"
#include "core/error.h"
#include "platform/stop_signals_posix.h"
#include "platform/window_posix.h"

namespace ordex {
namespace {

constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::RefreshNo) + 1;
constexpr int kFrameLines = 2 + static_cast<int>(kRows.size());  // caption, rows, status
constexpr std::size_t kValueColumn = 26;

// Cursor up over the last frame, to its first column, and clear to the end of the screen.
constexpr std::string_view kBackOverFrame = "\x1b[9A\r\x1b[J";
static_assert(kFrameLines == 9);
// Long values are cut at the right edge rather than wrapped, so a frame is always nine lines.
constexpr std::string_view kWrapOff = "\x1b[?7l";
constexpr std::string_view kWrapOn = "\x1b[?7h";

std::size_t IndexOf(Control control) { return static_cast<std::size_t>(control); }

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
  explicit TextWindowView(int output_fd)
      : output_fd_(output_fd), terminal_(::isatty(output_fd) == 1) {
    texts_[IndexOf(Control::Changes)] = kChangesInitial;
    texts_[IndexOf(Control::RefreshNo)] = kRefreshNoInitial;
    // A reader that goes away must not end the program; what it missed is lost, nothing else.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous_sigpipe_);
  }

  ~TextWindowView() override { ::sigaction(SIGPIPE, &previous_sigpipe_, nullptr); }

  void SetText(Control control, std::string_view text) override {
    std::string& current = texts_[IndexOf(control)];
    if (current == text) return;
    current = text;
    changed_ = true;
  }

  void SetVisible(bool visible) override { visible_ = visible; }

  void SetTimerInterval(std::int32_t interval_ms) override {
    ++timer_settings_;
    timer_on_ = interval_ms > 0;
    if (!timer_on_) return;
    period_ns_ = std::int64_t{interval_ms} * 1'000'000;
    deadline_ns_ = NowNs() + period_ns_;
  }

  int Run(void (*on_tick)(void* context), void* context) override {
    for (;;) {
      Draw();
      if (quit_) return status_;
      if (stop_signals_.Requested()) break;
      if (timer_on_ && NowNs() >= deadline_ns_) {
        Tick(on_tick, context);
        continue;
      }
      if (WaitForEvent()) break;
    }
    stop_signals_.Clear();
    return 0;
  }

  void Quit(int status) override {
    quit_ = true;
    status_ = status;
  }

 private:
  void Tick(void (*on_tick)(void* context), void* context) {
    const auto settings_before = timer_settings_;
    on_tick(context);
    if (!timer_on_ || timer_settings_ != settings_before) return;
    // Keep a steady period; ticks missed during a long pass are not made up.
    deadline_ns_ += period_ns_;
    if (const auto now = NowNs(); deadline_ns_ <= now) deadline_ns_ = now + period_ns_;
  }

  // Blocks until the timer is due or a stop signal arrives; true for the signal. Between ticks
  // this is the only system call.
  bool WaitForEvent() {
    pollfd stop{stop_signals_.fd(), POLLIN, 0};
    timespec timeout{};
    if (timer_on_) {
      const std::int64_t wait_ns = std::max<std::int64_t>(deadline_ns_ - NowNs(), 0);
      timeout.tv_sec = static_cast<time_t>(wait_ns / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(wait_ns % 1'000'000'000);
    }
    const int ready = ::ppoll(&stop, 1, timer_on_ ? &timeout : nullptr, nullptr);
    if (ready < 0 && errno != EINTR) {
      throw Error(std::string("cannot wait for the timer: ") + std::strerror(errno));
    }
    return ready > 0 || stop_signals_.Requested();
  }

  void Draw() {
    if (!visible_) {
      // On a terminal the frame goes with the window; elsewhere nothing is written while hidden.
      if (on_screen_ && terminal_) Write(kBackOverFrame);
      on_screen_ = false;
      return;
    }
    if (on_screen_ && !changed_) return;
    std::string out;
    if (terminal_) {
      if (on_screen_) out += kBackOverFrame;
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
    AppendLine(frame, kWindowCaption, {});
    for (const RowLayout& row : kRows) {
      AppendLine(frame, row.caption, Printable(texts_[IndexOf(row.text_box)]));
    }
    AppendLine(frame, Printable(texts_[IndexOf(Control::Changes)]),
               Printable(texts_[IndexOf(Control::RefreshNo)]));
    return frame;
  }

  // The view is a window, not the program's output: a terminal or pipe that fails loses the
  // picture but must not stop the watch.
  void Write(std::string_view text) const {
    while (!text.empty()) {
      const ssize_t count = ::write(output_fd_, text.data(), text.size());
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) return;
      text.remove_prefix(static_cast<std::size_t>(count));
    }
  }

  const int output_fd_;
  const bool terminal_;
  StopSignals stop_signals_;
  struct sigaction previous_sigpipe_ {};
  std::string texts_[kControlCount];
  bool visible_ = false;
  bool changed_ = false;
  bool on_screen_ = false;
  long blocks_written_ = 0;
  bool timer_on_ = false;
  std::int64_t period_ns_ = 0;
  std::int64_t deadline_ns_ = 0;
  std::uint64_t timer_settings_ = 0;
  bool quit_ = false;
  int status_ = 0;
};

}  // namespace

std::unique_ptr<WindowView> CreateTextView(int output_fd) {
  return std::make_unique<TextWindowView>(output_fd);
}

}  // namespace ordex
