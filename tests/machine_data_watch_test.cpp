// The watch of the machine data file alone, on files held in memory and a clock that moves only
// when the test moves it. (What Form1 makes of its readings and conditions: the refresh cycle's
// and the lasting conditions' tests.)
#include "shell/machine_data_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "form1_fixture.h"
#include "platform/file_access_memory.h"

namespace ordex {
namespace {
using namespace std::chrono_literals;
using Hold = MemoryFileAccess::Hold;
using testing::kMachineData;

inline constexpr char kTarget[] = "C:\\XOC\\ROBOTER\\XOC\\R1\\Mada\\$Machine.dat";

// The installation of Form1's tests, with a watch of its machine data file.
class MachineDataWatchTest : public testing::Form1Test {
 protected:
  // A save caught in one of the ways the table below names it, and its end: the file as a save
  // leaves it, holding the count "2".
  struct Spoilt {
    const char* name;
    std::function<void()> spoil, mend;
  };
  std::function<void()> Held(Hold kind) {
    return [this, kind] { files.SetHold(kMachineData, kind); };
  }
  std::function<void()> Released() {
    return [this] {
      files.SetHold(kMachineData, Hold::kNone);
      WriteMachineData("2");
    };
  }
  std::function<void()> Missing() {
    return [this] { files.Remove(kMachineData); };
  }
  std::function<void()> Emptied() {
    return [this] { files.RewriteFile(kMachineData, ""); };
  }

  StartUpPatience patience_{machine};
  MachineDataWatch watch_{machine};
};

// The file caught in a save when start-up reads it (deleted and written anew, with or without
// POSIX semantics, emptied, or changing while it is read): a moment of it is waited out; lasting
// past the patience, an empty file is taken as it is, and a missing or changing one ends
// start-up. The next save is a reading like any other, the first count known only where start-up
// took the file empty. (Files held by another program: StartUpWaitsUpToTenSecondsForAHeldFile.)
TEST_F(MachineDataWatchTest, StartUpWaitsOutASave) {
  struct Case {
    Spoilt save;
    std::chrono::seconds lasting;
    const char* count;  // read at start-up; nullptr: start-up fails
    const char* error = "";
  };
  const Case cases[] = {
      {{"missing for 1 s", Missing(), Released()}, 1s, "2"},
      {{"pending deletion for 2 s", Held(Hold::kDeletePending), Released()}, 2s, "2"},
      {{"missing for 12 s", Missing(), Released()}, 12s, nullptr, "No such file or directory"},
      {{"empty for 1 s", Emptied(), Released()}, 1s, "2"},
      {{"empty for 12 s", Emptied(), Released()}, 12s, ""},
      {{"changing for 1 s", Held(Hold::kChangingWhileRead), Released()}, 1s, "2"},
      {{"changing for 12 s", Held(Hold::kChangingWhileRead), Released()},
       12s,
       nullptr,
       "$Machine.dat keeps changing while it is read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.save.name);
    const auto start = machine.now;
    c.save.spoil();
    machine.on_sleep = [&] {
      if (machine.now - start == c.lasting) c.save.mend();
    };
    MachineDataWatch watch(machine);
    std::optional<MachineDataReading> reading;
    const std::string error =
        testing::MessageOf([&] { reading = watch.ReadAtStartUp(kTarget, patience_); });
    machine.on_sleep = nullptr;
    c.save.mend();
    EXPECT_EQ(machine.now - start, std::min<std::chrono::seconds>(c.lasting, 10s));
    if (!c.count) {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(reading) << error;
    EXPECT_EQ(reading->ex_ax_num, c.count);
    WriteMachineData("2");
    const MachineDataLook look = watch.Look();
    ASSERT_TRUE(look.reading);
    EXPECT_EQ(look.first_known, *c.count == '\0');
  }
}

// In a pass, each way the file cannot be used gives no reading and the condition that says why,
// as its report names it; the save's end gives the whole reading at the next look.
TEST_F(MachineDataWatchTest, AFileThatCannotBeUsedGivesTheConditionThatSaysWhy) {
  const std::string mada = kMachineData;
  struct Case {
    Spoilt save;
    std::string what;
    std::string detail;  // the system's words
  };
  const Case cases[] = {
      {{"missing", Missing(), Released()},
       "machine data file missing",
       "cannot open " + mada + ": No such file or directory"},
      {{"empty", Emptied(), Released()}, "machine data file empty", ""},
      {{"busy", Held(Hold::kBusy), Released()},
       "machine data file held by another program",
       "cannot open " + mada + ": in use by another program"},
      {{"locked", Held(Hold::kRangeLocked), Released()},
       "machine data file held by another program",
       "cannot read " + mada + ": part of it is locked by another program"},
      {{"pending deletion", Held(Hold::kDeletePending), Released()},
       "machine data file held by another program",
       "cannot examine " + mada + ": in use by another program"},
      {{"changing", Held(Hold::kChangingWhileRead), Released()},
       "machine data file changing whenever it is read",
       ""},
      {{"a folder",
        [&] {
          files.Remove(kMachineData);
          files.AddFolder(kMachineData);
        },
        [&] {
          files.Remove(kMachineData);
          WriteMachineData("2");
        }},
       "machine data file unreadable",
       "cannot open " + mada + ": is a folder"},
  };
  ASSERT_EQ(watch_.ReadAtStartUp(kTarget, patience_).ex_ax_num, "2");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.save.name);
    WriteMachineData("3");
    c.save.spoil();
    for (int look_again = 0; look_again < 2; ++look_again) {
      const MachineDataLook look = watch_.Look();
      EXPECT_FALSE(look.reading);
      ASSERT_TRUE(look.condition);
      EXPECT_EQ(ReportParts({ConditionReport::Phase::kBegun, *look.condition, {}, {}}),
                (std::vector<std::string>{c.what, mada, "1970-01-01 00:00:00 UTC", c.detail}));
    }
    c.save.mend();
    const MachineDataLook look = watch_.Look();
    EXPECT_FALSE(look.condition);
    ASSERT_TRUE(look.reading);
    EXPECT_EQ(look.reading->ex_ax_num, "2");
    EXPECT_FALSE(look.first_known);
  }
}

// A reading is new when the time stamp has moved, whatever the count: a save under a time stamp
// restored afterwards is not seen, a save of the same count is.
TEST_F(MachineDataWatchTest, OnlyAMovedTimeStampGivesANewReading) {
  ASSERT_EQ(watch_.ReadAtStartUp(kTarget, patience_).ex_ax_num, "2");
  const auto original = files.ModificationTime(kMachineData);
  WriteMachineData("3");
  files.SetModificationTime(kMachineData, *original);
  const MachineDataLook unmoved = watch_.Look();
  EXPECT_FALSE(unmoved.reading);
  EXPECT_FALSE(unmoved.condition);
  TouchMachineData();
  const MachineDataLook touched = watch_.Look();
  ASSERT_TRUE(touched.reading);
  EXPECT_EQ(touched.reading->ex_ax_num, "3");
  EXPECT_EQ(touched.reading->time, files.ModificationTime(kMachineData));
  EXPECT_FALSE(watch_.Look().reading) << "taken once";
}

}  // namespace
}  // namespace ordex
