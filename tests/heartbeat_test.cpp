#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "form1_fixture.h"
#include "shell/form1_events.h"

namespace ordex {
namespace {
using testing::kMachineData;
using HeartbeatTest = testing::Form1Test;

// Once a day of running, counted from the start, Form1 says that it still watches: with the
// refresh running, with a lasting condition standing, and with the refresh stopped for good,
// when the timer ticks for the heartbeat alone and no pass runs.
TEST_F(HeartbeatTest, SaysOnceADayThatItStillWatchesEvenWithTheRefreshStopped) {
  using std::chrono::hours;
  using std::chrono::milliseconds;
  using std::chrono::minutes;
  using std::chrono::seconds;
  using Strings = std::vector<std::string>;
  SetSetting("TimerInterval", 1000);
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  const auto started = machine.now;  // the days count from the end of start-up
  const std::string path = kMachineData;
  const std::string missing =
      "machine data file missing since 2026-12-11 00:00:00 UTC: " + path;  // from hour 40
  constexpr std::int32_t kHour = 3'600'000;
  const struct Step {
    std::chrono::steady_clock::duration at;
    std::function<void()> before;
    Strings heartbeat;  // empty: none due
    std::int32_t timer_ms;
  } steps[] = {
      {hours(1), [] {}, {}, 1000},
      {hours(24) - milliseconds(1), [] {}, {}, 1000},
      {hours(24), [] {}, {"1", "3", "0", path, "none"}, 1000},
      {hours(30), [&] { WriteMachineData("3"); }, {}, 1000},
      {hours(30) + seconds(1), [] {}, {}, 1000},
      {hours(40), [&] { files.Remove(kMachineData); }, {}, 1000},
      {hours(40) + minutes(1), [] {}, {}, 1000},
      {hours(40) + minutes(2), [] {}, {}, 1000},
      {hours(48), [] {}, {"2", "9", "1", path, missing}, 1000},
      {hours(50), [&] { SetSetting("TimerInterval", 0); }, {}, 22 * kHour},
      {hours(72), [] {}, {"3", "10", "1", path, missing}, 24 * kHour},
      {hours(96), [&] { WriteMachineData("2"); }, {"4", "10", "1", path, missing}, 24 * kHour},
  };
  std::size_t heartbeats = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(std::chrono::duration_cast<minutes>(step.at).count());
    machine.now = started + step.at;
    step.before();
    Pass();
    const auto events = testing::EventLines(machine, kHeartbeatEventId);
    ASSERT_EQ(events.size(), heartbeats + !step.heartbeat.empty());
    if (!step.heartbeat.empty()) {
      ++heartbeats;
      const auto& last = machine.events.back();
      EXPECT_EQ(last.level, EventLevel::kInformation);
      EXPECT_EQ(last.strings, step.heartbeat);
    }
    EXPECT_EQ(view.interval_ms(), step.timer_ms);
  }
  EXPECT_EQ(
      testing::EventLines(machine, kHeartbeatEventId)[0],
      "still watches " + path +
          " (days running: 1): 3 refresh passes, 0 changes counted; lasting conditions: none");
}

}  // namespace
}  // namespace ordex
