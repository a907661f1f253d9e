#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "form1_fixture.h"
#include "platform/file_access_memory.h"
#include "shell/form1_events.h"

namespace ordex {
namespace {
using namespace std::chrono_literals;
using testing::Form1Test;
using testing::kMachineData;
using testing::kSummary;
using testing::kSummaryFolder;

class RefreshCycleTest : public Form1Test {
 protected:
  void SetUp() override {
    Form1Test::SetUp();
    SetSetting("TimerInterval", 1000);
    StartForm();
    ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  }
};

TEST_F(RefreshCycleTest, ATouchWithoutChangeRefreshesTheBoxButNotTheSummaryOrTheCount) {
  files.Remove(kSummary);
  TouchMachineData();
  const int texts_before = view.set_text_calls();
  Pass();
  EXPECT_EQ(view.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(view.set_text_calls(), texts_before + 2) << "the axis box and the refresh counter";
  EXPECT_FALSE(Exists(kSummary));
  EXPECT_EQ(form_->ChangeCount, 0);
}

// New content counts once a second pass reads it unchanged. The summary, shorter after the
// second change, holds nothing of the longer one before it.
TEST_F(RefreshCycleTest, EachChangeIsWrittenAndCountedOnce) {
  WriteMachineData("12");
  Pass();
  EXPECT_EQ(view.Text(Control::txtExAxNum), "2") << "read once";
  Pass();
  EXPECT_EQ(view.Text(Control::txtExAxNum), "12");
  EXPECT_EQ(SummaryCount(), "12");
  EXPECT_EQ(view.Text(Control::Changes), "1 Changes since start");
  Pass();
  EXPECT_EQ(view.Text(Control::Changes), "1 Changes since start");

  WriteMachineData("2");
  Pass();
  Pass();
  EXPECT_EQ(files.ReadWholeFile(kSummary),
            "Version: 1.3b\r\nSteuerung: XOC 5.6.11\r\nBSVersion: BR 5.6.3\r\nName: ROBPC01\r\n"
            "IPO: 12\r\nZusatz-Achsen: 2\r\nSensor: SENSOR-A_2.0\r\n");
  EXPECT_EQ(view.Text(Control::Changes), "2 Changes since start");
  EXPECT_EQ(view.Text(Control::RefreshNo), "5");
  EXPECT_EQ(form_->Saved, form_->Current);
}

TEST_F(RefreshCycleTest, ASummaryHeldByAnotherProgramGetsTheLatestValuesWhenFree) {
  for (std::size_t occurrence = 1; occurrence <= 2; ++occurrence) {
    const int before = form_->ChangeCount;
    files.SetBusy(kSummary, true);
    for (const char* count : {"3", "4"}) {
      WriteMachineData(count);
      TimedPass();
      TimedPass();
    }
    TimedPass();
    files.SetBusy(kSummary, false);
    EXPECT_EQ(form_->ChangeCount, before + 2) << "each change counted once, in its own pass";
    EXPECT_TRUE(testing::EventLines(machine, kConditionBegunEventId).empty())
        << "a moment is not reported";
    Pass();
    EXPECT_EQ(SummaryCount(), "4");
    EXPECT_EQ(form_->ChangeCount, before + 2);
    WriteMachineData("2");
    Pass();
    Pass();
    EXPECT_EQ(SummaryCount(), "2");
  }
}

TEST_F(RefreshCycleTest, NewSettingsTakeEffectOnTheNextPassAndMissingOnesKeepTheOldValue) {
  SetSetting("TimerInterval", 2000);
  SetSetting("Visible", 1);
  Pass();
  EXPECT_EQ(view.interval_ms(), 2000);
  EXPECT_TRUE(view.visible());

  RemoveKey(SettingsKey);
  Pass();
  EXPECT_EQ(view.interval_ms(), 2000);
  EXPECT_TRUE(view.visible());
}

// The change the pass saw is counted and reported before the summary's failure ends the program.
TEST_F(RefreshCycleTest, AnErrorInAPassEndsTheProgramWithItsMessage) {
  files.Remove(kSummary);
  files.Remove(kSummaryFolder);
  WriteMachineData("3");
  Pass();
  form_->Timer1_Timer();
  EXPECT_EQ(view.quit_status(), 1);
  EXPECT_NE(machine.fatal_error.find("Tarvex.ini"), std::string::npos) << machine.fatal_error;
  EXPECT_EQ(view.Text(Control::RefreshNo), "1") << "the rest of the pass does not run";
  EXPECT_EQ(view.Text(Control::Changes), "1 Changes since start");
  EXPECT_EQ(testing::EventLines(machine, kChangedEventId).size(), 1u);
}

// Stamps as Windows promises them (moved at the close, kept to 2 s as on FAT): a save in pieces
// read midway shows and counts nothing, not even once its stamp has moved at the close; its
// whole count is counted once. A second save within the 2 s of the first's stamp, read just
// before it, is counted at the next pass. No change counted is a half-written one.
TEST_F(RefreshCycleTest, ASaveReadMidwayOrUnderACoarseStampCountsOnceWholeAndNeverHalf) {
  using Hold = MemoryFileAccess::Hold;
  files.StampAtClose();
  files.StampFrom([this] { return machine.WallClock(); }, 2s);
  const struct {
    std::chrono::milliseconds at;  // since 08:00:00; the pass comes then too
    std::function<void()> save;
    const char* shown;
    int changes;
  } steps[] = {
      {1s,
       [&] {
         WriteMachineData("3");
         files.SetHold(kMachineData, Hold::kSavedInPieces);
         files.AppendPiece(kMachineData, "&ACCESS RVP\r\nDECL INT $EX_AX_NUM=");
       },
       "2", 0},
      {2s, [&] { files.AppendPiece(kMachineData, "4"); }, "2", 0},
      {3s,
       [&] {
         files.AppendPiece(kMachineData, " ;number of external axes\r\n");
         files.SetHold(kMachineData, Hold::kNone);
       },
       "2", 0},
      {4s, [] {}, "4", 1},
      {6s, [&] { WriteMachineData("5"); }, "4", 1},
      {6500ms, [] {}, "5", 2},
      {7s, [&] { WriteMachineData("6"); }, "5", 2},
      {10s, [] {}, "6", 3},
      {13s, [] {}, "6", 3},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.at.count());
    machine.now = std::chrono::steady_clock::time_point(step.at);
    step.save();
    Pass();
    EXPECT_EQ(view.Text(Control::txtExAxNum), step.shown);
    EXPECT_EQ(form_->ChangeCount, step.changes);
  }
  std::vector<std::vector<std::string>> changes;
  for (const auto& event : machine.events) {
    if (event.id == kChangedEventId) changes.push_back({event.strings[0], event.strings[1]});
  }
  EXPECT_EQ(changes, (std::vector<std::vector<std::string>>{{"2", "4"}, {"4", "5"}, {"5", "6"}}));
}

TEST_F(RefreshCycleTest, ManyPassesCountEveryChangeExactlyOnce) {
  int changes = 0;
  std::string count = "2";
  for (int pass = 1; pass <= 300; ++pass) {
    if (pass % 7 == 0) {
      count = count == "2" ? "3" : "2";
      WriteMachineData(count);
      ++changes;
    } else if (pass % 5 == 0) {
      TouchMachineData();
    }
    Pass();
  }
  EXPECT_EQ(form_->ChangeCount, changes);
  EXPECT_EQ(SummaryCount(), count);
  EXPECT_EQ(view.Text(Control::RefreshNo), "300");
  EXPECT_EQ(std::count_if(machine.events.begin(), machine.events.end(),
                          [](const auto& event) { return event.id == kChangedEventId; }),
            changes)
      << "one event per counted change, never one per pass";
}

// What a collector gets from a run: started with the summary's values, one event per change,
// then the end; ids, levels and insertion strings in their fixed order.
TEST_F(RefreshCycleTest, ARunReportsItsStartEachChangeAndItsEnd) {
  WriteMachineData("3");
  Pass();
  Pass();
  WriteMachineData("2");
  Pass();
  Pass();
  form_->Form_QueryUnload(EndReason::kEndOfSession);

  const auto& events = machine.events;
  ASSERT_EQ(events.size(), 4u);
  const std::vector<std::string> facts = {"1.3b", "XOC 5.6.11", "BR 5.6.3",    "ROBPC01",
                                          "12",   "2",          "SENSOR-A_2.0"};
  EXPECT_EQ(events[0].id, kStartedEventId);
  ASSERT_EQ(events[0].strings.size(), 11u);
  EXPECT_EQ(std::vector(events[0].strings.begin(), events[0].strings.begin() + 7), facts);
  EXPECT_EQ(std::vector(events[0].strings.begin() + 7, events[0].strings.end()),
            (std::vector<std::string>{kSummary, "1.3.0", "1", "robot"}))
      << "the summary file, then ORDEX's version, the session and the user";
  const std::string path = kMachineData;
  using Recorded = MemoryMachine::RecordedEvent;
  EXPECT_EQ(events[1], (Recorded{kChangedEventId,
                                 EventLevel::kInformation,
                                 {"2", "3", "1", path},
                                 "the number of external axes in " + path +
                                     " changed from 2 to 3: change 1 since start"}));
  EXPECT_EQ(events[2].strings, (std::vector<std::string>{"3", "2", "2", path}));
  EXPECT_EQ(events[3], (Recorded{kEndedEventId,
                                 EventLevel::kInformation,
                                 {"end of session", "2"},
                                 "ended (end of session) after 2 changes of the number of "
                                 "external axes"}));
  for (const auto& event : events) EXPECT_EQ(event.level, EventLevel::kInformation);
}

// The facts key holds each line of the summary under its name, byte for byte, and the
// collector's own facts: after start-up, again after each change, never after a pass that
// found nothing new.
TEST_F(RefreshCycleTest, TheFactsFollowTheSummaryAfterStartUpAndEachChange) {
  const auto expect_facts = [&](std::string_view changes, std::string_view last_change) {
    const std::string summary = files.ReadWholeFile(kSummary);
    for (std::size_t line = 0; line < summary.size(); line = summary.find('\n', line) + 1) {
      const std::size_t colon = summary.find(": ", line);
      const std::size_t end = summary.find('\r', line);
      EXPECT_EQ(FactsValue(summary.substr(line, colon - line)),
                summary.substr(colon + 2, end - colon - 2));
    }
    const std::pair<const char*, std::string_view> collector[] = {
        {"ChangeCount", changes},    {"OrdexVersion", "1.3.0"}, {"Started", "2026-12-09T08:00:00Z"},
        {"LastChange", last_change}, {"Session", "1"},          {"User", "robot"}};
    for (const auto& [name, value] : collector) EXPECT_EQ(FactsValue(name), value) << name;
  };
  expect_facts("dword:0", "");

  const int writes = WritesTo(FactsKey);
  machine.now += 90s;
  TouchMachineData();
  Pass();
  EXPECT_EQ(WritesTo(FactsKey), writes) << "a pass that found nothing new";

  WriteMachineData("4");
  Pass();
  Pass();
  EXPECT_EQ(FactsValue("Zusatz-Achsen"), "4");
  expect_facts("dword:1", "2026-12-09T08:01:30Z");
}

// An event the log cannot take is lost, and so is one that cannot be built (the memory runs out
// while its strings are made); the watching goes on.
TEST_F(RefreshCycleTest, AnEventThatCannotBeReportedNeverStopsTheWatching) {
  machine.events_fail = true;
  WriteMachineData("3");
  Pass();
  Pass();
  machine.events_fail = false;
  {
    const testing::AllocationsFail out_of_memory;
    form_->Form_QueryUnload(EndReason::kWindowClosed);
  }
  EXPECT_TRUE(testing::EventLines(machine, kEndedEventId).empty());
  EXPECT_EQ(form_->ChangeCount, 1);
  EXPECT_EQ(SummaryCount(), "3");
}

// Each setting: the policy's value while it reads as a number, else the settings key's; read
// again on every pass, so that a policy set, removed or spoilt takes effect at the next one.
TEST_F(RefreshCycleTest, APolicyWinsOverTheSettingWhileItHoldsANumber) {
  for (const ordex::Setting& setting : kSettings) {
    const std::string_view name = setting.name;
    SCOPED_TRACE(name);
    const auto value = [&] {
      return setting.id == SettingId::kVisible ? form_->Visible : form_->TimerInterval;
    };
    const std::string policy_key = "[HKEY_LOCAL_MACHINE\\" + std::string(PolicyKey) + "]\r\n";
    SetSetting(name, 5);
    const struct {
      const char* what;
      std::string lines;
      std::int32_t expected;
    } steps[] = {
        {"policy set", testing::RegDwordValue(PolicyKey, name, 7), 7},
        {"policy removed", policy_key + "\"" + std::string(name) + "\"=-", 5},
        {"policy not a number", testing::RegStringValue(PolicyKey, name, "soon"), 5},
        {"policy as text", testing::RegStringValue(PolicyKey, name, "9"), 9},
        {"policy key removed", "[-" + policy_key.substr(1), 5},
    };
    for (const auto& step : steps) {
      registry.Import(step.lines);
      Pass();
      EXPECT_EQ(value(), step.expected) << step.what;
    }
  }
  EXPECT_EQ(view.interval_ms(), 5);
  EXPECT_TRUE(view.visible());
}

}  // namespace
}  // namespace ordex
