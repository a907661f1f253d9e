#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/window_posix.h"
#include "shell/form1_layout.h"
#include "test_helpers.h"
#include "window_view_contract.h"

namespace ordex {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::Ticks;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A pipe whose read end collects everything the view wrote.
class Pipe {
 public:
  Pipe() {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    read_fd_ = fds[0];
    write_fd_ = fds[1];
    ::fcntl(read_fd_, F_SETFL, O_NONBLOCK);
  }
  ~Pipe() {
    ::close(read_fd_);
    ::close(write_fd_);
  }
  int write_fd() const { return write_fd_; }
  std::string Drain() const {
    std::string out;
    char buffer[4096];
    ssize_t count;
    while ((count = ::read(read_fd_, buffer, sizeof buffer)) > 0) out.append(buffer, count);
    return out;
  }

 private:
  int read_fd_;
  int write_fd_;
};

void FillRows(WindowView& view) {
  view.SetText(ControlIndex(Control::txtASCIDriverVersion), "V 1.04");
  view.SetText(ControlIndex(Control::txtRobotController), "KR 5.4");
  view.SetText(ControlIndex(Control::txtBasisrelease), "5.4.12");
  view.SetText(ControlIndex(Control::txtComputerName), "ROBOT1");
  view.SetText(ControlIndex(Control::txtIPOTime), "12");
  view.SetText(ControlIndex(Control::txtExAxNum), "2");
  view.SetText(ControlIndex(Control::txtASCIISensor), "ZT ASCII");
  view.SetText(ControlIndex(Control::Changes), "0 Changes since start");
}

constexpr std::string_view kFilledFrame =
    "ORDEX\n"
    "ASCII Driver Version:     V 1.04\n"
    "Robot Controller:         KR 5.4\n"
    "Basisrelease Version:     5.4.12\n"
    "Computer Name:            ROBOT1\n"
    "IPO-Time:                 12\n"
    "Number of external Axes:  2\n"
    "ASCII-Sensor:             ZT ASCII\n"
    "0 Changes since start     0\n";

// Runs the loop until `ticks` ticks have passed, with the given period.
int RunTicks(WindowView& view, Ticks& ticks, int count, int interval_ms = 1) {
  auto previous = ticks.on_tick;
  ticks.on_tick = [&, previous, count](int tick) {
    previous(tick);
    if (tick == count) view.Quit(0);
  };
  view.SetTimerInterval(interval_ms);
  return view.Run(ticks);
}

// A terminal whose bytes come out as written: no "\n" to "\r\n", so that they can be compared.
bool OpenRawTerminal(int& controller, int& terminal) {
  if (::openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0) return false;
  termios raw{};
  ::tcgetattr(terminal, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(terminal, TCSANOW, &raw);
  ::fcntl(controller, F_SETFL, O_NONBLOCK);
  return true;
}

// What has come out of a terminal until it has been quiet for 20 ms: the kernel hands written
// bytes to the reading side a moment later, not within the write.
std::string ReadAvailable(int fd) {
  std::string out;
  char buffer[4096];
  pollfd ready{fd, POLLIN, 0};
  while (::poll(&ready, 1, 20) > 0) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count <= 0) break;
    out.append(buffer, static_cast<std::size_t>(count));
  }
  return out;
}

constexpr std::string_view kWrapOff = "\x1b[?7l", kWrapOn = "\x1b[?7h";

// The text view on a terminal, looked at as the screen shows it: the last frame drawn, unless it
// has been erased since.
class TextBackend {
 public:
  ~TextBackend() {
    if (stopper_.joinable()) stopper_.join();
    if (controller_ >= 0) ::close(controller_);
    if (terminal_ >= 0) ::close(terminal_);
  }

  std::unique_ptr<WindowView> Create(const FormLayout& layout) {
    if (controller_ < 0 && !OpenRawTerminal(controller_, terminal_)) return nullptr;
    screen_.clear();
    return CreateTextView(terminal_, layout);
  }

  bool Visible() {
    screen_ += ReadAvailable(controller_);
    return screen_.ends_with(kWrapOn);
  }

  std::string Shown(std::size_t control) {
    if (!Visible()) return "(hidden)";
    const std::size_t start = screen_.rfind(kWrapOff) + kWrapOff.size();
    std::vector<std::string> lines;
    for (std::size_t at = start; screen_[at] != '\x1b';) {
      const std::size_t end = screen_.find('\n', at);
      lines.push_back(screen_.substr(at, end - at));
      at = end + 1;
    }
    // Caption, one line per row, then the status row with its second label in the value column.
    const std::size_t rows = lines.size() - 2;
    const std::string& line = lines[1 + std::min(control, rows)];
    if (control == rows) return line.substr(0, line.find_last_not_of(' ', 25) + 1);
    return line.size() > 26 ? line.substr(26) : "";
  }

  // SIGTERM is how a user stops the text view.
  void CloseSoon() {
    if (stopper_.joinable()) stopper_.join();
    stopper_ = std::thread([] {
      std::this_thread::sleep_for(milliseconds(150));
      ::kill(::getpid(), SIGTERM);
    });
  }

 private:
  int controller_ = -1;
  int terminal_ = -1;
  std::string screen_;
  std::thread stopper_;
};

}  // namespace

namespace testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Text, WindowViewContract, TextBackend);
}  // namespace testing

namespace {

// A text view writing into a pipe, and the ticks its loop counts.
class PipedTextView : public ::testing::Test {
 protected:
  void ShowFilled() {
    FillRows(*view_);
    view_->SetVisible(true);
  }

  Pipe pipe_;
  std::unique_ptr<WindowView> view_ = CreateTextView(pipe_.write_fd(), kForm1Layout);
  WindowView* const view = view_.get();
  Ticks ticks;
};
using TextViewOutput = PipedTextView;
using TextViewTimer = PipedTextView;

TEST_F(TextViewOutput, ShowsNothingWhileHidden) {
  FillRows(*view);
  ticks.on_tick = [&](int tick) {
    view->SetText(ControlIndex(Control::RefreshNo), std::to_string(tick));
  };
  RunTicks(*view, ticks, 3);
  EXPECT_EQ(pipe_.Drain(), "");
}

TEST_F(TextViewOutput, ShowsCaptionRowsAndStatusWhenShown) {
  ShowFilled();
  RunTicks(*view, ticks, 1);
  EXPECT_EQ(pipe_.Drain(), kFilledFrame);
}

TEST_F(TextViewOutput, AppendsOneBlockPerEventThatChangesSomething) {
  ShowFilled();
  ticks.on_tick = [&](int tick) {
    // Two changes in one event draw once; the second tick changes nothing.
    if (tick != 2) {
      view->SetText(ControlIndex(Control::txtExAxNum), std::to_string(tick));
      view->SetText(ControlIndex(Control::RefreshNo), std::to_string(tick));
    }
  };
  RunTicks(*view, ticks, 3);
  const std::string out = pipe_.Drain();
  std::string expected(kFilledFrame);
  for (const char* tick : {"1", "3"}) {
    std::string frame(kFilledFrame);
    frame.replace(frame.find("Axes:  2"), 8, std::string("Axes:  ") + tick);
    frame.replace(frame.size() - 2, 1, tick);
    expected += "\n" + frame;
  }
  EXPECT_EQ(out, expected);
}

TEST_F(TextViewOutput, DrawsAgainWhenShownAfterBeingHidden) {
  ShowFilled();
  ticks.on_tick = [&](int tick) { view->SetVisible(tick != 1); };
  RunTicks(*view, ticks, 2);
  EXPECT_EQ(pipe_.Drain(), std::string(kFilledFrame) + "\n" + std::string(kFilledFrame));
}

TEST_F(TextViewOutput, ConvertsWindows1252AndDefusesControlCharacters) {
  view->SetText(ControlIndex(Control::txtASCIISensor),
                "Gr\xF6\xDF"
                "e \x80");
  view->SetText(ControlIndex(Control::txtComputerName), "A\x1b[2JB\rC\x9D");
  view->SetVisible(true);
  RunTicks(*view, ticks, 1);
  const std::string out = pipe_.Drain();
  EXPECT_THAT(out, HasSubstr("ASCII-Sensor:             Gr\xC3\xB6\xC3\x9F"
                             "e \xE2\x82\xAC\n"));
  EXPECT_THAT(out, HasSubstr("Computer Name:            A?[2JB?C?\n"));
}

TEST_F(TextViewOutput, RedrawsInPlaceOnATerminal) {
  int controller = -1, terminal = -1;
  ASSERT_TRUE(OpenRawTerminal(controller, terminal));
  {
    auto view = CreateTextView(terminal, kForm1Layout);
    FillRows(*view);
    view->SetVisible(true);
    Ticks ticks;
    ticks.on_tick = [&](int tick) {
      view->SetText(ControlIndex(Control::RefreshNo), std::to_string(tick));
      if (tick == 2) view->SetVisible(false);
    };
    RunTicks(*view, ticks, 2);
  }
  const std::string out = ReadAvailable(controller);
  ::close(controller);
  ::close(terminal);
  const std::string back = "\x1b[9A\r\x1b[J", wrap_off(kWrapOff), wrap_on(kWrapOn);
  std::string second(kFilledFrame);
  second.replace(second.size() - 2, 1, "1");  // the refresh number of tick 1
  // The first frame, its redraw over itself after tick 1, and its erasure when hidden.
  EXPECT_EQ(out, wrap_off + std::string(kFilledFrame) + wrap_on + back + wrap_off + second +
                     wrap_on + back);
}

// Ticks through the real loop.

TEST_F(TextViewTimer, TicksWithTheGivenPeriod) {
  const auto start = Clock::now();
  ASSERT_EQ(RunTicks(*view, ticks, 5, 20), 0);
  ASSERT_EQ(ticks.count(), 5);
  EXPECT_GE(ticks.times[0] - start, milliseconds(20));
  EXPECT_GE(ticks.times[4] - start, milliseconds(100));
  EXPECT_LT(ticks.times[4] - start, milliseconds(2000));
}

TEST_F(TextViewTimer, TheNextTickComesOnePeriodAfterANewInterval) {
  std::vector<Clock::time_point> set_at;
  ticks.on_tick = [&](int tick) {
    if (tick == 1) {
      std::this_thread::sleep_for(milliseconds(30));  // a slow pass
      set_at.push_back(Clock::now());
      view->SetTimerInterval(60);
    }
  };
  RunTicks(*view, ticks, 2, 5);
  ASSERT_EQ(set_at.size(), 1u);
  EXPECT_GE(ticks.times[1] - set_at[0], milliseconds(60));
}

TEST(TextViewLoop, ASignalDuringATickEndsRunAfterIt) {
  Pipe pipe;
  auto view = CreateTextView(pipe.write_fd(), kForm1Layout);
  Ticks ticks;
  ticks.on_tick = [&](int) { ::kill(::getpid(), SIGINT); };
  view->SetTimerInterval(1);
  EXPECT_EQ(view->Run(ticks), 0);
  EXPECT_EQ(ticks.count(), 1);
}

TEST(TextViewLoop, PutsBackTheSignalHandlersItFound) {
  struct sigaction before {};
  ::sigaction(SIGTERM, nullptr, &before);
  {
    Pipe pipe;
    auto view = CreateTextView(pipe.write_fd(), kForm1Layout);
    struct sigaction during {};
    ::sigaction(SIGTERM, nullptr, &during);
    EXPECT_NE(during.sa_handler, before.sa_handler);
  }
  struct sigaction after {};
  ::sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// The whole program's way out: a process blocked in the loop with the timer stopped ends with
// status 0 on SIGTERM or SIGINT.
class TextViewSignal : public ::testing::TestWithParam<int> {};

TEST_P(TextViewSignal, EndsTheProcessCleanlyWithStatusZero) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    auto view = CreateTextView(null_fd, kForm1Layout);
    view->SetVisible(true);
    view->SetTimerInterval(0);
    [[maybe_unused]] auto written = ::write(ready[1], "r", 1);
    ::close(ready[1]);
    Ticks exit_on_tick;
    exit_on_tick.on_tick = [](int) { _exit(50); };
    _exit(view->Run(exit_on_tick));
  }
  ::close(ready[1]);
  char answer = 0;
  ASSERT_EQ(::read(ready[0], &answer, 1), 1);
  ::close(ready[0]);
  std::this_thread::sleep_for(milliseconds(50));  // into the blocking wait
  ::kill(child, GetParam());
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, TextViewSignal, ::testing::Values(SIGTERM, SIGINT));

TEST(WindowViewChoice, TheEnvironmentCanAskForTheTextView) {
  const testing::ScopedVariable variable("ORDEX_VIEW", "text");
  auto view = CreateWindowView(kForm1Layout);
  ASSERT_NE(view, nullptr);
  EXPECT_THAT(typeid(*view).name(), HasSubstr("TextWindowView"));
}

TEST(WindowViewChoice, WithoutADisplayItIsTheTextView) {
  const char* display = std::getenv("DISPLAY");
  if (display && *display) GTEST_SKIP() << "a display is at hand";
  auto view = CreateWindowView(kForm1Layout);
  ASSERT_NE(view, nullptr);
  EXPECT_THAT(typeid(*view).name(), HasSubstr("TextWindowView"));
}

}  // namespace
}  // namespace ordex
