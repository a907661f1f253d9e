
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

// After GoogleTest: the X11 headers below define None and Bool as macros.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include "ordex_process_posix.h"
#include "platform/window_posix.h"
#include "shell/form1_layout.h"
#include "window_view_contract.h"

namespace ordex {
namespace {

// The widget that covers the given twips position, or nothing.
const Fl_Widget* WidgetAt(const Fl_Window& window, int left_twips, int top_twips) {
  float h = 0, v = 0;
  Fl::screen_dpi(h, v);
  const double x_dpi = h >= 48 && h <= 480 ? h : 96, y_dpi = v >= 48 && v <= 480 ? v : 96;
  const int x = static_cast<int>(std::lround(left_twips * x_dpi / 1440));
  const int y = static_cast<int>(std::lround(top_twips * y_dpi / 1440));
  for (int i = 0; i < window.children(); ++i) {
    const Fl_Widget* child = window.child(i);
    if (child->x() <= x && x < child->x() + child->w() && child->y() <= y &&
        y < child->y() + child->h()) {
      return child;
    }
  }
  return nullptr;
}

// The FLTK window, looked at through FLTK: the widget at each control's place in the layout.
class FltkBackend {
 public:
  ~FltkBackend() {
    if (stopper_.joinable()) stopper_.join();
  }

  std::unique_ptr<WindowView> Create(const FormLayout& layout) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return nullptr;
    layout_ = &layout;
    return CreateFltkView(layout);
  }

  bool Visible() const { return Fl::first_window() != nullptr; }

  std::string Shown(std::size_t control) const {
    const Fl_Window* window = Fl::first_window();
    if (window == nullptr) return "(hidden)";
    const std::size_t rows = layout_->rows.size();
    if (control < rows) {
      const auto* box = dynamic_cast<const Fl_Output*>(
          WidgetAt(*window, layout_->text_box_left, layout_->rows[control].top));
      return box ? box->value() : "(no text box)";
    }
    const Fl_Widget* label =
        WidgetAt(*window, layout_->status[control - rows].left, layout_->status_top);
    return label && label->label() ? label->label() : "";
  }

  // SIGTERM stops the FLTK window's loop as it does the text view's.
  void CloseSoon() {
    if (stopper_.joinable()) stopper_.join();
    stopper_ = std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      ::kill(::getpid(), SIGTERM);
    });
  }

 private:
  const FormLayout* layout_ = nullptr;
  std::thread stopper_;
};

}  // namespace

// CTest runs these under xvfb-run together with FltkWindow.*.
namespace testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Fltk, WindowViewContract, FltkBackend);
}  // namespace testing

namespace {

using testing::Ticks;

// Runs only where a display is at hand; CTest runs it under xvfb-run.
class FltkWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    view_ = CreateFltkView(kForm1Layout);
    ASSERT_NE(view_, nullptr) << "the display " << display << " did not open";
  }

  std::unique_ptr<WindowView> view_;
};

TEST_F(FltkWindow, ShowsTheRowsAndKeepsTickingWhileHidden) {
  view_->SetText(ControlIndex(Control::txtASCIISensor),
                 "Gr\xF6\xDF"
                 "e");
  view_->SetText(ControlIndex(Control::Changes), "0 Changes since start");
  EXPECT_EQ(Fl::first_window(), nullptr) << "nothing is built before it is shown";
  view_->SetVisible(true);
  view_->SetTimerInterval(20);
  Ticks ticks;
  ticks.on_tick = [&](int tick) {
    if (tick == 2) {
      Fl_Window* window = Fl::first_window();
      ASSERT_NE(window, nullptr);
      EXPECT_STREQ(window->label(), "ORDEX");
      EXPECT_NEAR(static_cast<double>(window->w()) / window->h(), 4365.0 / 3555.0, 0.02);
      const auto* sensor = dynamic_cast<const Fl_Output*>(WidgetAt(*window, 2280, 2280));
      ASSERT_NE(sensor, nullptr);
      EXPECT_STREQ(sensor->value(),
                   "Gr\xC3\xB6\xC3\x9F"
                   "e");
      const Fl_Widget* caption = WidgetAt(*window, 240, 2280 + 120);
      ASSERT_NE(caption, nullptr);
      EXPECT_STREQ(caption->label(), "ASCII-Sensor:");
      // Every caption fits its label at the font size chosen.
      const Fl_Widget* longest = WidgetAt(*window, 240, 1920 + 120);
      ASSERT_NE(longest, nullptr);
      fl_font(longest->labelfont(), longest->labelsize());
      EXPECT_LE(fl_width(longest->label()), longest->w() - 6) << longest->label();
      const Fl_Widget* changes = WidgetAt(*window, 240, 2880);
      ASSERT_NE(changes, nullptr);
      EXPECT_STREQ(changes->label(), "0 Changes since start");
      view_->SetText(ControlIndex(Control::RefreshNo), "2");
      EXPECT_STREQ(WidgetAt(*window, 2520, 2880)->label(), "2");
      view_->SetVisible(false);
    }
    if (tick == 3) EXPECT_EQ(Fl::first_window(), nullptr);
    if (tick == 5) view_->Quit(4);
  };
  EXPECT_EQ(view_->Run(ticks), 4);
  EXPECT_EQ(ticks.count(), 5);
}

TEST_F(FltkWindow, ClosingTheWindowEndsRunWithZero) {
  view_->SetVisible(true);
  view_->SetTimerInterval(20);
  Ticks ticks;
  ticks.on_tick = [&](int tick) {
    if (tick == 2) Fl::first_window()->do_callback();
    if (tick == 10) view_->Quit(9);
  };
  EXPECT_EQ(view_->Run(ticks), 0);
  EXPECT_EQ(ticks.count(), 2);
}

TEST_F(FltkWindow, QuitInATickEndsRunWithoutWaitingForTheNextOne) {
  view_->SetTimerInterval(500);
  Ticks ticks;
  std::chrono::steady_clock::time_point quit_at;
  ticks.on_tick = [&](int) {
    view_->Quit(6);
    quit_at = std::chrono::steady_clock::now();
  };
  EXPECT_EQ(view_->Run(ticks), 6);
  EXPECT_LT(std::chrono::steady_clock::now() - quit_at, std::chrono::milliseconds(250));
}

TEST_F(FltkWindow, SigtermEndsRunWithZero) {
  view_->SetVisible(true);
  view_->SetTimerInterval(0);
  std::thread signal([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::kill(::getpid(), SIGTERM);
  });
  Ticks ticks;
  ticks.on_tick = [](int) {};
  EXPECT_EQ(view_->Run(ticks), 0);
  signal.join();
  EXPECT_EQ(ticks.count(), 0);
}

// The program carries its own C++ runtime; the module brings the shared one along for the
// toolkit. With both in the process the window is shown, passes run and a stop ends it cleanly.
TEST_F(FltkWindow, TheProgramShowsItBesideTheToolkitsRuntimeAndEndsOnSigterm) {
  const char* display = std::getenv("DISPLAY");
  testing::SampleInstallation sample;
  sample.WriteStore(testing::SampleInstallation::Settings(20, 1));
  const auto output = sample.dir() / "out";
  testing::OrdexProcess ordex({.store = sample.store(),
                               .output = output,
                               .runtime_dir = sample.RuntimeDir(),
                               .environment = {{"DISPLAY", display}, {"ORDEX_VIEW", "fltk"}}});
  const auto maps = "/proc/" + std::to_string(ordex.pid()) + "/maps";
  ASSERT_TRUE(testing::Eventually([&] {
    return testing::ReadBytes(maps).find("ordex_fltk.so") != std::string::npos &&
           !sample.Summary().empty();
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(ordex.Running());
  ordex.Signal(SIGTERM);
  EXPECT_EQ(ordex.WaitForExit(), 0);
  EXPECT_NE(testing::ReadBytes(output.string() + ".err").find("ended (stop request)"),
            std::string::npos);
}

}  // namespace
}  // namespace ordex
