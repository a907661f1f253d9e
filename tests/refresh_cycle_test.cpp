#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>

#include "form1_fixture.h"
#include "shell/form1_events.h"

namespace ordex {
namespace {
namespace fs = std::filesystem;
using testing::Form1Test;
using testing::ReadBytes;
using testing::WriteBytes;

class RefreshCycleTest : public Form1Test {
 protected:
  void SetUp() override {
    Form1Test::SetUp();
    SetSetting("TimerInterval", 1000);
    StartForm();
    ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
  }

  void Pass() {
    form_->Timer1_Timer();
    ASSERT_EQ(view_.quit_status(), -1) << machine_.fatal_error;
  }

  std::string SummaryCount() {
    const std::string summary = ReadBytes(Summary());
    const auto line = summary.find("Zusatz-Achsen: ");
    return summary.substr(line + 15, summary.find('\r', line) - line - 15);
  }
};

TEST_F(RefreshCycleTest, ATouchWithoutChangeRefreshesTheBoxButNotTheSummaryOrTheCount) {
  fs::remove(Summary());
  StampMachineData();
  const int texts_before = view_.set_text_calls();
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(view_.set_text_calls(), texts_before + 2) << "the axis box and the refresh counter";
  EXPECT_FALSE(fs::exists(Summary()));
  EXPECT_EQ(form_->ChangeCount, 0);
}

TEST_F(RefreshCycleTest, EachChangeIsWrittenAndCountedOnce) {
  WriteMachineData("3");
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "3");
  EXPECT_EQ(SummaryCount(), "3");
  EXPECT_EQ(view_.Text(Control::Changes), "1 Changes since start");
  Pass();
  EXPECT_EQ(view_.Text(Control::Changes), "1 Changes since start");

  WriteMachineData("2");
  Pass();
  EXPECT_EQ(SummaryCount(), "2");
  EXPECT_EQ(view_.Text(Control::Changes), "2 Changes since start");
  EXPECT_EQ(view_.Text(Control::RefreshNo), "3");
  EXPECT_EQ(form_->Saved, form_->Current);
}

TEST_F(RefreshCycleTest, AChangeUnderARestoredTimeStampIsNotSeen) {
  const auto original = fs::last_write_time(MachineData());
  WriteMachineData("3");
  fs::last_write_time(MachineData(), original);
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(form_->ChangeCount, 0);
}

TEST_F(RefreshCycleTest, AFileReplacedByRenameIsSeen) {
  const fs::path replacement = MachineData().string() + ".new";
  WriteBytes(replacement, "DECL INT $EX_AX_NUM=4\r\n");
  fs::rename(replacement, MachineData());
  StampMachineData();
  Pass();
  EXPECT_EQ(SummaryCount(), "4");
  EXPECT_EQ(form_->ChangeCount, 1);
}

TEST_F(RefreshCycleTest, AFileMissingForSomePassesIsWaitedForAndThenRead) {
  fs::remove(MachineData());
  for (int i = 0; i < 3; ++i) Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2") << "the last reading stays";
  EXPECT_EQ(view_.Text(Control::RefreshNo), "3");
  EXPECT_EQ(form_->ChangeCount, 0);

  WriteMachineData("5");
  Pass();
  EXPECT_EQ(SummaryCount(), "5");
  EXPECT_EQ(view_.Text(Control::Changes), "1 Changes since start");
}

TEST_F(RefreshCycleTest, AnEmptiedFileIsASaveInProgressNotAChange) {
  WriteBytes(MachineData(), "");
  StampMachineData();
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(SummaryCount(), "2");
  EXPECT_EQ(form_->ChangeCount, 0);

  WriteMachineData("3");
  Pass();
  EXPECT_EQ(SummaryCount(), "3");
  EXPECT_EQ(form_->ChangeCount, 1);
}

TEST_F(RefreshCycleTest, AReadingTornByASaveIsDroppedAndTakenAgainOnTheNextPass) {
  WriteMachineData("3");
  // A save runs right after the open, as a controller saving while ORDEX reads would.
  files_.on_next_open = [this] { WriteMachineData("7"); };
  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(form_->ChangeCount, 0);

  Pass();
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "7");
  EXPECT_EQ(view_.Text(Control::Changes), "1 Changes since start");
}

// While the machine data file cannot be used, nothing is shown, written or counted; the count
// found afterwards is counted once. A few passes within a moment report nothing.
TEST_F(RefreshCycleTest, AnUnusableMachineDataFileIsLookedAtAgainOnEveryPass) {
  struct Case {
    const char* name;
    std::function<void()> spoil, mend;
  };
  const Case cases[] = {
      {"busy", [&] { files_.busy = {"$Machine.dat"}; }, [&] { files_.busy.clear(); }},
      {"folder in its place",
       [&] {
         fs::remove(MachineData());
         fs::create_directory(MachineData());
       },
       [&] { fs::remove(MachineData()); }},
      {"missing", [&] { fs::remove(MachineData()); }, [] {}},
      {"empty", [&] { WriteBytes(MachineData(), ""); }, [] {}},
  };
  std::string count = "2";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string shown = count;
    count = count == "2" ? "3" : "2";
    const int changes = form_->ChangeCount;
    for (std::size_t occurrence = 1; occurrence <= 2; ++occurrence) {
      WriteMachineData(count);
      c.spoil();
      for (int i = 0; i < 3; ++i) Pass();
      EXPECT_EQ(view_.Text(Control::txtExAxNum), shown);
      EXPECT_EQ(SummaryCount(), shown);
      EXPECT_EQ(form_->ChangeCount, changes);
      EXPECT_TRUE(testing::EventLines(machine_, kConditionBegunEventId).empty());
      c.mend();
      WriteMachineData(shown);  // usable again: the condition ends
      Pass();
    }
    WriteMachineData(count);
    Pass();
    EXPECT_EQ(view_.Text(Control::txtExAxNum), count);
    EXPECT_EQ(SummaryCount(), count);
    EXPECT_EQ(form_->ChangeCount, changes + 1);
  }
}

TEST_F(RefreshCycleTest, ASummaryHeldByAnotherProgramGetsTheLatestValuesWhenFree) {
  for (std::size_t occurrence = 1; occurrence <= 2; ++occurrence) {
    const int before = form_->ChangeCount;
    files_.busy = {"Tarvex.ini"};
    for (const char* count : {"3", "4"}) {
      WriteMachineData(count);
      Pass();
    }
    Pass();
    EXPECT_EQ(SummaryCount(), "2") << "still held";
    EXPECT_EQ(form_->ChangeCount, before + 2) << "each change counted once, in its own pass";
    EXPECT_TRUE(testing::EventLines(machine_, kConditionBegunEventId).empty())
        << "a moment is not reported";
    files_.busy.clear();
    Pass();
    EXPECT_EQ(SummaryCount(), "4");
    EXPECT_EQ(form_->ChangeCount, before + 2);
    WriteMachineData("2");
    Pass();
    EXPECT_EQ(SummaryCount(), "2");
  }
}

TEST_F(RefreshCycleTest, NewSettingsTakeEffectOnTheNextPassAndMissingOnesKeepTheOldValue) {
  SetSetting("TimerInterval", 2000);
  SetSetting("Visible", 1);
  Pass();
  EXPECT_EQ(view_.interval_ms(), 2000);
  EXPECT_TRUE(view_.visible());

  RemoveKey(SettingsKey);
  Pass();
  EXPECT_EQ(view_.interval_ms(), 2000);
  EXPECT_TRUE(view_.visible());
}

TEST_F(RefreshCycleTest, AnErrorInAPassEndsTheProgramWithItsMessage) {
  fs::remove_all(Summary().parent_path());
  WriteMachineData("3");
  form_->Timer1_Timer();
  EXPECT_EQ(view_.quit_status(), 1);
  EXPECT_NE(machine_.fatal_error.find("Tarvex.ini"), std::string::npos) << machine_.fatal_error;
  EXPECT_EQ(view_.Text(Control::RefreshNo), "0") << "the rest of the pass does not run";
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
      StampMachineData();
    }
    Pass();
  }
  EXPECT_EQ(form_->ChangeCount, changes);
  EXPECT_EQ(SummaryCount(), count);
  EXPECT_EQ(view_.Text(Control::RefreshNo), "300");
  EXPECT_EQ(std::count_if(machine_.events.begin(), machine_.events.end(),
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
  form_->Form_QueryUnload(EndReason::kEndOfSession);

  const auto& events = machine_.events;
  ASSERT_EQ(events.size(), 4u);
  const std::vector<std::string> facts = {"1.3b", "XOC 5.6.11", "BR 5.6.3",    "ROBPC01",
                                          "12",   "2",          "SENSOR-A_2.0"};
  EXPECT_EQ(events[0].id, kStartedEventId);
  ASSERT_EQ(events[0].strings.size(), 8u);
  EXPECT_EQ(std::vector(events[0].strings.begin(), events[0].strings.begin() + 7), facts);
  EXPECT_TRUE(fs::equivalent(events[0].strings[7], Summary())) << events[0].strings[7];
  const std::string path = events[1].strings.back();
  EXPECT_TRUE(fs::equivalent(path, MachineData())) << path;
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

TEST_F(RefreshCycleTest, AnEventThatCannotBeReportedNeverStopsTheWatching) {
  machine_.events_fail = true;
  WriteMachineData("3");
  Pass();
  form_->Form_QueryUnload(EndReason::kWindowClosed);
  EXPECT_EQ(form_->ChangeCount, 1);
  EXPECT_EQ(SummaryCount(), "3");
}

// Each setting: the policy's value while it reads as a number, else the settings key's; read
// again on every pass, so that a policy set, removed or spoilt takes effect at the next one.
TEST_F(RefreshCycleTest, APolicyWinsOverTheSettingWhileItHoldsANumber) {
  for (const std::string_view name : {kTimerIntervalName, kVisibleName}) {
    SCOPED_TRACE(name);
    const auto value = [&] { return name == kVisibleName ? form_->Visible : form_->TimerInterval; };
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
      machine_.registry.Import(step.lines);
      Pass();
      EXPECT_EQ(value(), step.expected) << step.what;
    }
  }
  EXPECT_EQ(view_.interval_ms(), 5);
  EXPECT_TRUE(view_.visible());
}

}  // namespace
}  // namespace ordex
