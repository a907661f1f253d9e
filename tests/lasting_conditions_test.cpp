// The refresh pass reporting what lasts and nothing that does not: Form1 on files held in memory,
// with a clock that moves only when the test moves it. (Each condition of the machine data file
// and the words it carries: the watch's tests.)
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "form1_fixture.h"
#include "platform/file_access_memory.h"
#include "shell/lasting_condition.h"

namespace ordex {
namespace {
using namespace std::chrono_literals;
using Hold = MemoryFileAccess::Hold;

using testing::Form1Test;
using testing::kMachineData;
using testing::kSummary;

// A condition of each file, and one without the system's words, at a fast, an uneven and a slow
// refresh: a moment says nothing, nor 9.999 s of it, nor 2 passes over 10 s; one that lasts 10 s
// and 3 passes is one warning in the pass that reaches both, none in the passes after it, and its
// end one line more. The passes go on meanwhile, and while the machine data file cannot be used
// nothing is shown or counted; the count found afterwards is counted once. A condition that turns
// into another kind while it lasts is one condition, named by the kind it is when reported. The
// refresh runs from 08:00:00.
TEST_F(Form1Test, LastingConditionsAreReportedOnceAndMomentsNever) {
  const std::string mada = kMachineData;
  const std::string facts_key = "HKEY_LOCAL_MACHINE\\" + std::string(FactsKey);
  struct Case {
    const char* name;
    std::function<void()> spoil, mend;
    std::string begun;  // what the warning says after "since <time>: "
    std::string what;
    std::string file = kMachineData;
    std::function<void()> turn = nullptr;  // before the second pass, or the last one when late
    bool late = false;
  };
  const auto hold = [&](const char* path, Hold kind) {
    return [this, path, kind] {
      WriteMachineData("3");
      files.SetHold(path, kind);
    };
  };
  const auto release = [&](const char* path) {
    return [this, path] {
      files.SetHold(path, Hold::kNone);
      WriteMachineData("2");
    };
  };
  const Case cases[] = {
      {"missing", [&] { files.Remove(kMachineData); }, [&] { WriteMachineData("2"); },
       "cannot open " + mada + ": No such file or directory", "machine data file missing"},
      {"changing", hold(kMachineData, Hold::kChangingWhileRead), release(kMachineData), mada,
       "machine data file changing whenever it is read"},
      // The new count read once before, so that its change meets the held summary in pass 1.
      {"summary held",
       [&] {
         WriteMachineData("3");
         Pass();
         files.SetHold(kSummary, Hold::kBusy);
       },
       release(kSummary), std::string("cannot open ") + kSummary + ": in use by another program",
       "summary file not rewritten, held by another program", kSummary},
      // A PC where no package made the facts key writable: the change is counted, reported and
      // written to the summary all the same (its new count read once before, as above).
      {"facts key refused",
       [&] {
         registry.writable = false;
         WriteMachineData("3");
         Pass();
       },
       [&] {
         registry.writable = true;
         WriteMachineData("2");
       },
       "cannot write the registry key " + facts_key +
           ": access denied (no package made it "
           "writable)",
       "facts key not written", facts_key},
      {"held, then renamed away", hold(kMachineData, Hold::kBusy), [&] { WriteMachineData("2"); },
       "cannot open " + mada + ": No such file or directory", "machine data file missing", mada,
       [&] { files.Remove(kMachineData); }},
      {"missing, then held once reported", [&] { files.Remove(kMachineData); },
       release(kMachineData), "cannot open " + mada + ": No such file or directory",
       "machine data file missing", mada, hold(kMachineData, Hold::kBusy), true},
  };
  struct Run {
    std::chrono::milliseconds interval;
    int passes;          // with the condition, the first at 08:00:00
    int reported_in;     // the pass that reports it; 0: none
    const char* lasted;  // in the "ended" line
  };
  const Run runs[] = {
      {200ms, 52, 51, "10 s"}, {3333ms, 6, 5, "19 s"}, {10s, 2, 0, nullptr}, {10s, 4, 3, "40 s"}};
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  for (const Case& c : cases) {
    for (const Run& run : runs) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(run.interval.count()) + " ms, " +
                   std::to_string(run.passes) + " passes");
      machine.events.clear();
      machine.now = {};
      const int changes = form_->ChangeCount;
      c.spoil();
      const int refreshes = std::stoi(view.Text(Control::RefreshNo));
      for (int pass = 1; pass <= run.passes; ++pass, machine.now += run.interval) {
        if (c.turn && pass == (c.late ? run.passes : 2)) c.turn();
        Pass();
        const bool reported = run.reported_in && pass >= run.reported_in;
        ASSERT_EQ(testing::EventLines(machine, kConditionBegunEventId).size(), reported ? 1u : 0u)
            << "pass " << pass;
      }
      EXPECT_EQ(view.Text(Control::RefreshNo), std::to_string(refreshes + run.passes));
      if (c.file == mada) {
        EXPECT_EQ(view.Text(Control::txtExAxNum), "2");
        EXPECT_EQ(form_->ChangeCount, changes);
      }
      c.mend();
      Pass();
      Pass();
      const std::string since = " since 2026-12-09 08:00:00 UTC";
      const auto expected_warnings = run.lasted
                                         ? std::vector<std::string>{c.what + since + ": " + c.begun}
                                         : std::vector<std::string>{};
      const auto expected_information =
          run.lasted ? std::vector<std::string>{c.what + ": ended after " + run.lasted + " (" +
                                                since.substr(1) + "): " + c.file}
                     : std::vector<std::string>{};
      EXPECT_EQ(testing::EventLines(machine, kConditionBegunEventId), expected_warnings);
      EXPECT_EQ(testing::EventLines(machine, kConditionEndedEventId), expected_information);
      if (run.lasted) {
        // The same as insertion strings, each in its place, for a collector.
        std::vector<MemoryMachine::RecordedEvent> events;
        for (const auto& event : machine.events) {
          if (event.id == kConditionBegunEventId || event.id == kConditionEndedEventId) {
            events.push_back(event);
          }
        }
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].level, EventLevel::kWarning);
        EXPECT_EQ(events[0].strings, (std::vector<std::string>{c.what, c.file, since.substr(7),
                                                               c.begun == c.file ? "" : c.begun}));
        EXPECT_EQ(events[1].strings,
                  (std::vector<std::string>{c.what, c.file, run.lasted, since.substr(7)}));
      }
      EXPECT_EQ(SummaryCount(), "2");
      EXPECT_EQ(FactsValue("Zusatz-Achsen"), "2");
      WriteMachineData("3");
      Pass();
      Pass();
      EXPECT_EQ(form_->ChangeCount, changes + (c.file == mada ? 1 : 3));
      WriteMachineData("2");
      Pass();
      Pass();
    }
  }
}

// Taken empty at start-up and never saved since, the file is a lasting condition like any other:
// warned once after 10 s and 3 passes, ended by the first whole reading, which is news for the
// summary and no change even when it holds no count; the next change counts.
TEST_F(Form1Test, AMachineDataFileEmptyForGoodIsReportedAndItsFirstReadingIsNoChange) {
  files.RewriteFile(kMachineData, "");
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  EXPECT_EQ(machine.now, std::chrono::steady_clock::time_point(10s));
  const std::string warning =
      "machine data file empty since 2026-12-09 08:00:20 UTC: " + std::string(kMachineData);
  for (int pass = 1; pass <= 6; ++pass) {
    TimedPass();
    EXPECT_EQ(testing::EventLines(machine, kConditionBegunEventId),
              pass < 3 ? std::vector<std::string>{} : std::vector<std::string>{warning})
        << "pass " << pass;
  }
  files.RewriteFile(kMachineData, "&ACCESS RVP\r\nDECL INT $TOOL_NUM=1\r\n");
  TimedPass();
  TimedPass();
  EXPECT_EQ(testing::EventLines(machine, kConditionEndedEventId).size(), 1u);
  EXPECT_EQ(SummaryCount(), "");
  WriteMachineData("2");
  TimedPass();
  TimedPass();
  EXPECT_EQ(SummaryCount(), "2");
  EXPECT_EQ(form_->ChangeCount, 1);
}

// A summary that another user created where the tree gives a new file to its creator alone,
// which this user may not write: start-up runs on without it; the passes try it again, report it
// once it lasts and its end once an administrator lets this user write it, and the summary then
// holds the latest values.
TEST_F(Form1Test, ASummaryThisUserMayNotWriteIsALastingConditionFromStartUpOn) {
  files.RestrictNewFiles(testing::kSummaryFolder);
  files.RewriteFile(kSummary, "written by hand\r\n");
  files.SetUser("technician");
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  EXPECT_EQ(files.ReadWholeFile(kSummary), "written by hand\r\n");
  const std::string warning =
      "summary file not rewritten, this user may not write it since 2026-12-09 08:00:10 UTC: "
      "cannot open " +
      std::string(kSummary) + ": Permission denied";
  for (int pass = 1; pass <= 4; ++pass) {
    TimedPass();
    EXPECT_EQ(testing::EventLines(machine, kConditionBegunEventId),
              pass < 3 ? std::vector<std::string>{} : std::vector<std::string>{warning})
        << "pass " << pass;
  }
  files.SetWriters(kSummary, {MemoryFileAccess::kFirstUser, MemoryFileAccess::kInteractive});
  TimedPass();
  EXPECT_EQ(testing::EventLines(machine, kConditionEndedEventId).size(), 1u);
  EXPECT_EQ(SummaryCount(), "2");
}

// The formats of longer durations in the "ended" line.
TEST(LastingCondition, LongDurationsReadInHoursAndMinutes) {
  const Condition found{ConditionKind::kMachineDataMissing, "/m", ""};
  const std::chrono::steady_clock::time_point start{};
  const struct {
    std::chrono::seconds lasted;
    const char* text;
  } durations[] = {
      {3h + 2min + 9s, "3 h 02 min 09 s"}, {4min + 5s, "4 min 05 s"}, {1h, "1 h 00 min 00 s"}};
  for (const auto& duration : durations) {
    LastingCondition condition;
    for (int pass = 0; pass < 3; ++pass) condition.Observe(found, start + pass * 5s, {});
    const auto ended = condition.Observe(std::nullopt, start + duration.lasted, {});
    ASSERT_TRUE(ended);
    EXPECT_EQ(ReportLine(*ended), "machine data file missing: ended after " +
                                      std::string(duration.text) +
                                      " (since 1970-01-01 00:00:00 UTC): /m");
  }
}

}  // namespace
}  // namespace ordex
