// Start-up waiting out a save, and the refresh pass reporting what lasts and nothing that does
// not: Form1 on files held in memory, with a clock that moves only when the test moves it.
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

constexpr char kMachineData[] = "C:/XOC/ROBOTER/XOC/R1/Mada/$Machine.dat";
constexpr char kSummary[] = "C:/XOC/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini";
constexpr char kHwInf[] = "C:/XOC/ROBOTER/INIT/hw_inf.ini";
constexpr char kDriver[] = "C:/XOC/ROBOTER/DRIVERS/zt_ascii.o";

// The controller tree in memory under the default installation folder C:\XOC.
class MemoryForm1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"C:/XOC/ROBOTER/INIT", "C:/XOC/ROBOTER/XOC/R1/Mada",
                               "C:/XOC/ROBOTER/DRIVERS", "C:/XOC/ROBOTER/IBGN/Xoc/R1/IBGN"}) {
      files_.AddFolder(folder);
    }
    files_.RewriteFile(kHwInf, "[CLOCK]\r\nsystem clock=2000\r\nlayer2=6\r\n");
    files_.RewriteFile(kDriver, testing::SensorDriverBytes());
    WriteCount("2");
    machine_.wall_clock_at_zero = std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} + 8h;
  }

  void WriteCount(const std::string& count) {
    files_.RewriteFile(kMachineData, "DECL INT $EX_AX_NUM=" + count + " ;axes\r\n");
  }
  std::string SummaryCount() {
    const std::string summary = files_.ReadWholeFile(kSummary);
    const auto line = summary.find("Zusatz-Achsen: ");
    return summary.substr(line + 15, summary.find('\r', line) - line - 15);
  }
  void Start() {
    form_ = std::make_unique<Form1>(machine_);
    load_result_ = form_->Form_Load();
  }
  void Pass() {
    form_->Timer1_Timer();
    ASSERT_EQ(view_.quit_status(), -1) << machine_.fatal_error;
  }

  MemoryFileAccess files_;
  testing::FakeView view_;
  MemoryMachine machine_{files_, view_};
  std::unique_ptr<Form1> form_;
  Form1::LoadResult load_result_{};
};

// The machine data file caught in a save, or held by another program, when ORDEX starts: each
// kind lasting a moment is waited out with no change counted later; lasting past the patience,
// an empty file is taken as it is and the others end start-up.
TEST_F(MemoryForm1Test, StartUpWaitsOutASave) {
  struct Case {
    const char* name;
    std::function<void()> spoil, mend;
    std::chrono::seconds lasting;
    const char* count;  // in the summary after start-up; nullptr: start-up fails
    const char* error = "";
  };
  const auto hold = [&](Hold kind) { return [this, kind] { files_.SetHold(kMachineData, kind); }; };
  const auto empty = [&] { files_.RewriteFile(kMachineData, ""); };
  const auto written = [&] { WriteCount("2"); };
  const auto released = hold(Hold::kNone);
  const Case cases[] = {
      {"empty for 1 s", empty, written, 1s, "2"},
      {"empty for 12 s", empty, written, 12s, ""},
      {"changing for 1 s", hold(Hold::kChangingWhileRead), released, 1s, "2"},
      {"changing for 12 s", hold(Hold::kChangingWhileRead), released, 12s, nullptr,
       "$Machine.dat keeps changing while it is read"},
      {"range-locked for 2 s", hold(Hold::kRangeLocked), released, 2s, "2"},
      {"range-locked for 12 s", hold(Hold::kRangeLocked), released, 12s, nullptr,
       "cannot read C:/XOC/ROBOTER/XOC/R1/Mada/$Machine.dat: part of it is locked"},
      {"pending deletion for 2 s", hold(Hold::kDeletePending), released, 2s, "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = machine_.now;
    c.spoil();
    machine_.on_sleep = [&] {
      if (machine_.now - start == c.lasting) c.mend();
    };
    Start();
    machine_.on_sleep = nullptr;
    c.mend();
    if (!c.count) {
      EXPECT_EQ(load_result_, Form1::LoadResult::kFailed);
      EXPECT_NE(machine_.fatal_error.find(c.error), std::string::npos) << machine_.fatal_error;
      EXPECT_EQ(machine_.now - start, 10s);
      continue;
    }
    ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
    EXPECT_EQ(SummaryCount(), c.count);
    EXPECT_EQ(machine_.now - start, std::min<std::chrono::seconds>(c.lasting, 10s));
    WriteCount("2");
    Pass();
    EXPECT_EQ(SummaryCount(), "2");
    EXPECT_EQ(form_->ChangeCount, 0) << "a save is no change";
    form_.reset();
  }
}

// Every file start-up reads or writes is waited for while a range of it is locked or it is
// pending deletion.
TEST_F(MemoryForm1Test, StartUpWaitsForLockedAndPendingFiles) {
  WriteCount("2");
  files_.RewriteFile(kSummary, "");
  for (const char* path : {kHwInf, kMachineData, kDriver, kSummary}) {
    for (const Hold kind : {Hold::kRangeLocked, Hold::kDeletePending}) {
      SCOPED_TRACE(std::string(path) + (kind == Hold::kRangeLocked ? " locked" : " pending"));
      const auto start = machine_.now;
      files_.SetHold(path, kind);
      machine_.on_sleep = [&] {
        if (machine_.now - start == 2s) files_.SetHold(path, Hold::kNone);
      };
      Start();
      EXPECT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
      EXPECT_EQ(machine_.now - start, 2s);
      EXPECT_EQ(SummaryCount(), "2");
      form_.reset();
    }
  }
}

// Each kind of condition at a fast and a slow refresh: a moment says nothing; one that lasts
// 10 s and 3 passes is one warning, and its end one line more. The refresh runs from 08:00:00.
TEST_F(MemoryForm1Test, LastingConditionsAreReportedOnceAndMomentsNever) {
  const std::string mada = kMachineData;
  struct Case {
    const char* name;
    std::function<void()> spoil, mend;
    std::string begun;  // what the warning says after "since <time>: "
    std::string what;
    std::string file = kMachineData;
  };
  const auto hold = [&](const char* path, Hold kind) {
    return [this, path, kind] {
      WriteCount("3");
      files_.SetHold(path, kind);
    };
  };
  const auto release = [&](const char* path) {
    return [this, path] {
      files_.SetHold(path, Hold::kNone);
      WriteCount("2");
    };
  };
  const Case cases[] = {
      {"missing", [&] { files_.Remove(kMachineData); }, [&] { WriteCount("2"); },
       "cannot open " + mada + ": No such file or directory", "machine data file missing"},
      {"empty", [&] { files_.RewriteFile(kMachineData, ""); }, [&] { WriteCount("2"); }, mada,
       "machine data file empty"},
      {"busy", hold(kMachineData, Hold::kBusy), release(kMachineData),
       "cannot open " + mada + ": in use by another program",
       "machine data file held by another program"},
      {"locked", hold(kMachineData, Hold::kRangeLocked), release(kMachineData),
       "cannot read " + mada + ": part of it is locked by another program",
       "machine data file held by another program"},
      {"pending deletion", hold(kMachineData, Hold::kDeletePending), release(kMachineData),
       "cannot open " + mada + ": in use by another program",
       "machine data file held by another program"},
      {"changing", hold(kMachineData, Hold::kChangingWhileRead), release(kMachineData), mada,
       "machine data file changing whenever it is read"},
      {"a folder",
       [&] {
         files_.Remove(kMachineData);
         files_.AddFolder(kMachineData);
       },
       [&] {
         files_.Remove(kMachineData);
         WriteCount("2");
       },
       "cannot open " + mada + ": is a folder", "machine data file unreadable"},
      {"summary held", hold(kSummary, Hold::kBusy), release(kSummary),
       std::string("cannot open ") + kSummary + ": in use by another program",
       "summary file not rewritten, held by another program", kSummary},
  };
  struct Run {
    std::chrono::milliseconds interval;
    int passes;          // with the condition, the first at 08:00:00
    const char* lasted;  // in the "ended" line; nullptr: nothing is reported
  };
  const Run runs[] = {{200ms, 1, nullptr}, {200ms, 50, nullptr}, {200ms, 51, "10 s"},
                      {10s, 1, nullptr},   {10s, 2, nullptr},    {10s, 3, "30 s"}};
  Start();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
  for (const Case& c : cases) {
    for (const Run& run : runs) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(run.interval.count()) + " ms, " +
                   std::to_string(run.passes) + " passes");
      machine_.events.clear();
      machine_.now = {};
      c.spoil();
      for (int pass = 0; pass < run.passes; ++pass, machine_.now += run.interval) Pass();
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
      EXPECT_EQ(testing::EventLines(machine_, kConditionBegunEventId), expected_warnings);
      EXPECT_EQ(testing::EventLines(machine_, kConditionEndedEventId), expected_information);
      if (run.lasted) {
        // The same as insertion strings, each in its place, for a collector.
        std::vector<MemoryMachine::RecordedEvent> events;
        for (const auto& event : machine_.events) {
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
    }
  }
}

// The formats of longer durations in the "ended" line.
TEST(LastingCondition, LongDurationsReadInHoursAndMinutes) {
  LastingCondition condition;
  const Condition found{ConditionKind::kMachineDataMissing, "/m", ""};
  const std::chrono::steady_clock::time_point start{};
  for (int pass = 0; pass < 3; ++pass) condition.Observe(found, start + pass * 5s, {});
  const auto ended = condition.Observe(std::nullopt, start + 3h + 2min + 9s, {});
  ASSERT_TRUE(ended);
  EXPECT_EQ(ReportLine(*ended),
            "machine data file missing: ended after 3 h 02 min 09 s (since 1970-01-01 00:00:00 "
            "UTC): /m");
}

}  // namespace
}  // namespace ordex
