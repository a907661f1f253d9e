#pragma once

// What every WindowView backend promises, as one typed suite. A backend's test file instantiates
// it with a type that provides:
//
//   std::unique_ptr<WindowView> Create(const FormLayout&);  // nullptr where it cannot open
//   std::string Shown(std::size_t control);  // the text the window shows in that control
//   bool Visible();
//   void CloseSoon();  // the user closes the window (or stops the program) a moment from now;
//                      // a pause (WindowView::Pause) under way then must see it
//
// and then: INSTANTIATE_TYPED_TEST_SUITE_P(Name, WindowViewContract, Backend);
// A view may draw between events, so what one tick did is looked at in the next.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_view.h"
#include "shell/form1_layout.h"

namespace ordex::testing {

// A listener that records when each tick came and hands its number, from 1, to `on_tick`.
struct Ticks : TickListener {
  std::vector<std::chrono::steady_clock::time_point> times;
  std::function<void(int tick)> on_tick = [](int) {};

  void OnTick() override {
    times.push_back(std::chrono::steady_clock::now());
    on_tick(count());
  }
  int count() const { return static_cast<int>(times.size()); }

  std::vector<EndReason> ends;
  void OnEnd(EndReason reason) override { ends.push_back(reason); }
};

template <typename Backend>
class WindowViewContract : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = backend_.Create(kForm1Layout);
    if (!view_) GTEST_SKIP() << "no window can be opened here";
  }

  // Runs the loop with the timer at `interval_ms`; `step` gets each tick's number, from 1.
  int RunTicks(std::function<void(int tick)> step, std::int32_t interval_ms = 10) {
    ticks_ = Ticks();
    ticks_.on_tick = std::move(step);
    view_->SetTimerInterval(interval_ms);
    return view_->Run(ticks_);
  }

  static std::string Tagged(std::size_t control) { return "Text " + std::to_string(control); }

  Backend backend_;
  std::unique_ptr<WindowView> view_;
  Ticks ticks_;
};

TYPED_TEST_SUITE_P(WindowViewContract);

TYPED_TEST_P(WindowViewContract, ShowsTheInitialCaptionsThenTheTextsSet) {
  const std::size_t rows = kForm1Layout.rows.size();
  this->view_->SetVisible(true);
  this->RunTicks([&](int tick) {
    for (std::size_t control = 0; control < kForm1Layout.control_count(); ++control) {
      if (tick == 1) {
        EXPECT_EQ(this->backend_.Shown(control),
                  control < rows ? "" : kForm1Layout.status[control - rows].initial_text);
        this->view_->SetText(control, this->Tagged(control));
      } else {
        EXPECT_EQ(this->backend_.Shown(control), this->Tagged(control));
      }
    }
    if (tick == 2) this->view_->Quit(0);
  });
  EXPECT_EQ(this->ticks_.count(), 2);
}

TYPED_TEST_P(WindowViewContract, TextsSetWhileHiddenAppearWhenShownAgain) {
  const std::size_t axes = ControlIndex(Control::txtExAxNum);
  const std::size_t changes = ControlIndex(Control::Changes);
  this->view_->SetVisible(true);
  this->RunTicks([&](int tick) {
    if (tick == 1) {
      EXPECT_TRUE(this->backend_.Visible());
      this->view_->SetVisible(false);
    } else if (tick == 2) {
      EXPECT_FALSE(this->backend_.Visible());
      this->view_->SetText(axes, "3");
      this->view_->SetText(changes, "1 Changes since start");
      this->view_->SetVisible(true);
    } else {
      EXPECT_TRUE(this->backend_.Visible());
      EXPECT_EQ(this->backend_.Shown(axes), "3");
      EXPECT_EQ(this->backend_.Shown(changes), "1 Changes since start");
      this->view_->Quit(0);
    }
  });
  EXPECT_EQ(this->ticks_.count(), 3);
}

TYPED_TEST_P(WindowViewContract, AnIntervalOfZeroOrLessStopsTheTimer) {
  for (const std::int32_t stop : {0, -1, INT32_MIN}) {
    SCOPED_TRACE(stop);
    this->view_.reset();
    this->view_ = this->backend_.Create(kForm1Layout);
    EXPECT_EQ(this->RunTicks([&](int) {
      this->view_->SetTimerInterval(stop);
      this->backend_.CloseSoon();
    }),
              0);
    EXPECT_EQ(this->ticks_.count(), 1);
  }
}

TYPED_TEST_P(WindowViewContract, QuitEndsRunWithItsStatusAfterTheCurrentTick) {
  bool tick_finished = false;
  EXPECT_EQ(this->RunTicks(
                [&](int tick) {
                  if (tick < 3) return;
                  this->view_->Quit(7);
                  tick_finished = true;
                },
                1),
            7);
  EXPECT_EQ(this->ticks_.count(), 3);
  EXPECT_TRUE(tick_finished);
}

TYPED_TEST_P(WindowViewContract, QuitBeforeRunEndsItAtOnce) {
  this->view_->SetTimerInterval(1);
  this->view_->Quit(3);
  EXPECT_EQ(this->view_->Run(this->ticks_), 3);
  EXPECT_EQ(this->ticks_.count(), 0);
}

// What a tick does to the window (show, hide, texts, a new interval) never lets the next tick
// start inside it.
TYPED_TEST_P(WindowViewContract, ATickRunsToItsEndBeforeTheNext) {
  int depth = 0;
  this->RunTicks(
      [&](int tick) {
        EXPECT_EQ(++depth, 1);
        this->view_->SetVisible(tick % 2 == 1);
        this->view_->SetText(ControlIndex(Control::RefreshNo), std::to_string(tick));
        this->view_->SetTimerInterval(1);
        if (tick == 4) this->view_->Quit(0);
        --depth;
      },
      1);
  EXPECT_EQ(this->ticks_.count(), 4);
}

// Start-up pauses before the loop runs, and the window goes on answering: a close meanwhile cuts
// the pause short, told once, by EndRequested; the loop then ends at once.
TYPED_TEST_P(WindowViewContract, AnEndAskedForDuringAPauseCutsItShort) {
  using std::chrono::steady_clock;
  this->view_->Pause(std::chrono::milliseconds(1));
  this->backend_.CloseSoon();
  const auto start = steady_clock::now();
  EXPECT_THROW(this->view_->Pause(std::chrono::seconds(30)), EndRequested);
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(this->RunTicks([](int) {}, 1), 0);
  EXPECT_EQ(this->ticks_.count(), 0);
  EXPECT_TRUE(this->ticks_.ends.empty());
}

// Windows may end the process as soon as the request has been handled: the listener given to
// Listen hears of an end asked for during a pause before the pause throws, and only once.
TYPED_TEST_P(WindowViewContract, AListenerHearsOfAnEndDuringAPauseBeforeThePauseThrows) {
  this->view_->Listen(this->ticks_);
  this->backend_.CloseSoon();
  std::size_t heard_when_thrown = 0;
  try {
    this->view_->Pause(std::chrono::seconds(30));
  } catch (const EndRequested&) {
    heard_when_thrown = this->ticks_.ends.size();
  }
  EXPECT_EQ(heard_when_thrown, 1u);
  EXPECT_EQ(this->view_->Run(this->ticks_), 0);
  EXPECT_EQ(this->ticks_.ends.size(), 1u);
  EXPECT_EQ(this->ticks_.count(), 0);
}

REGISTER_TYPED_TEST_SUITE_P(WindowViewContract, ShowsTheInitialCaptionsThenTheTextsSet,
                            TextsSetWhileHiddenAppearWhenShownAgain,
                            AnIntervalOfZeroOrLessStopsTheTimer,
                            QuitEndsRunWithItsStatusAfterTheCurrentTick, QuitBeforeRunEndsItAtOnce,
                            ATickRunsToItsEndBeforeTheNext, AnEndAskedForDuringAPauseCutsItShort,
                            AListenerHearsOfAnEndDuringAPauseBeforeThePauseThrows);

}  // namespace ordex::testing
