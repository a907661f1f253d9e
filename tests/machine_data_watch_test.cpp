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

using MachineDataWatchTest = testing::Form1Test;

// Each way the file can be caught unusable: another program holding it (without sharing, a
// locked range, deleted while still open), a save in progress (deleted and written anew,
// emptied, changing while it is read) or a folder in its place. Start-up waits out a moment
// of it; past its patience it ends with the save's words, except that it takes an empty file
// as it is, and it never waits for a folder; a whole reading counts once a second read, one
// pause later, finds it unchanged. In a pass it gives no reading and the condition that says
// why, as its report names it, until it ends: the next look gives the whole reading (read twice
// where start-up took none or took the file empty), the first count known only where start-up
// took the file empty.
TEST_F(MachineDataWatchTest, AFileCaughtUnusableIsWaitedForOrGivesTheConditionThatSaysWhy) {
  const std::string mada = kMachineData;
  const auto held = [&](Hold kind) { return [this, kind] { files.SetHold(kMachineData, kind); }; };
  const auto in_use = "cannot open " + mada + ": in use by another program";
  struct Case {
    const char* name;
    std::function<void()> spoil;
    std::string what, detail;  // of the condition in a pass
    // What start-up gives when it lasts past the patience: the count read, or else the words
    // it ends with (none for a file start-up does not wait for).
    std::optional<std::string> count;
    std::string error = "";
  };
  const Case cases[] = {
      {"missing", [&] { files.Remove(kMachineData); }, "machine data file missing",
       "cannot open " + mada + ": No such file or directory", std::nullopt,
       "No such file or directory"},
      {"empty", [&] { files.RewriteFile(kMachineData, ""); }, "machine data file empty", "", ""},
      {"busy", held(Hold::kBusy), "machine data file held by another program", in_use, std::nullopt,
       in_use},
      {"locked", held(Hold::kRangeLocked), "machine data file held by another program",
       "cannot read " + mada + ": part of it is locked by another program", std::nullopt, "locked"},
      {"pending deletion", held(Hold::kDeletePending), "machine data file held by another program",
       "cannot examine " + mada + ": in use by another program", std::nullopt, "cannot examine"},
      {"changing", held(Hold::kChangingWhileRead), "machine data file changing whenever it is read",
       "", std::nullopt, "$Machine.dat keeps changing while it is read"},
      {"a folder",
       [&] {
         files.Remove(kMachineData);
         files.AddFolder(kMachineData);
       },
       "machine data file unreadable", "cannot open " + mada + ": is a folder", std::nullopt},
  };
  const auto mend = [&] {
    files.SetHold(kMachineData, Hold::kNone);
    files.Remove(kMachineData);
    WriteMachineData("2");
  };
  for (const Case& c : cases) {
    for (const auto lasting : {1s, 12s}) {
      if (!c.count && c.error.empty()) break;
      SCOPED_TRACE(std::string(c.name) + " at start-up for " + std::to_string(lasting.count()));
      const auto start = machine.now;
      c.spoil();
      machine.on_sleep = [&] {
        if (machine.now - start == lasting) mend();
      };
      MachineDataWatch watch(machine);
      std::string read = "no reading";
      const std::string error = testing::MessageOf(
          [&] { read = watch.ReadAtStartUp(kTarget, StartUpPatience(machine)).ex_ax_num; });
      machine.on_sleep = nullptr;
      mend();
      if (read != "2") EXPECT_FALSE(watch.Look().reading) << "new content, read once";
      EXPECT_EQ(machine.now - start,
                std::min<std::chrono::milliseconds>(lasting + kStartUpPause, 10s));
      if (lasting < 10s || c.count) {
        EXPECT_EQ(read, lasting < 10s ? "2" : *c.count) << error;
      } else {
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
      }
      const MachineDataLook look = watch.Look();
      ASSERT_TRUE(look.reading);
      EXPECT_EQ(look.first_known, read.empty());
    }
    SCOPED_TRACE(std::string(c.name) + " in a pass");
    MachineDataWatch watch(machine);
    ASSERT_EQ(watch.ReadAtStartUp(kTarget, StartUpPatience(machine)).ex_ax_num, "2");
    WriteMachineData("3");
    c.spoil();
    for (int look_again = 0; look_again < 2; ++look_again) {
      const MachineDataLook look = watch.Look();
      EXPECT_FALSE(look.reading);
      ASSERT_TRUE(look.condition);
      EXPECT_EQ(ReportParts({ConditionReport::Phase::kBegun, *look.condition, {}, {}}),
                (std::vector<std::string>{c.what, mada, "1970-01-01 00:00:00 UTC", c.detail}));
    }
    mend();
    const MachineDataLook look = watch.Look();
    EXPECT_FALSE(look.condition);
    ASSERT_TRUE(look.reading);
    EXPECT_EQ(look.reading->ex_ax_num, "2");
    EXPECT_FALSE(look.first_known);
  }
}

// A reading is new when the time stamp has moved, whatever the count: a save under a time stamp
// restored afterwards is not seen, a save of the same count is, once (new content once read
// twice).
TEST_F(MachineDataWatchTest, OnlyAMovedTimeStampGivesANewReading) {
  MachineDataWatch watch(machine);
  ASSERT_EQ(watch.ReadAtStartUp(kTarget, StartUpPatience(machine)).ex_ax_num, "2");
  const auto original = files.ModificationTime(kMachineData);
  WriteMachineData("3");
  files.SetModificationTime(kMachineData, *original);
  const MachineDataLook unmoved = watch.Look();
  EXPECT_FALSE(unmoved.reading || unmoved.condition);
  TouchMachineData();
  EXPECT_FALSE(watch.Look().reading) << "new content, read once";
  const MachineDataLook touched = watch.Look();
  ASSERT_TRUE(touched.reading);
  EXPECT_EQ(touched.reading->ex_ax_num, "3");
  EXPECT_EQ(touched.reading->time, files.ModificationTime(kMachineData));
  EXPECT_FALSE(watch.Look().reading) << "taken once";
}

// Where stamps move only when a save closes the file and are kept to 2 s (as on FAT), start-up
// takes a save in pieces (one piece per pause) only once it reads the same content twice. The
// first look reads again, as the stamp lay within 2 s of the reading; once a look has read it
// more than 2 s after its stamp, a look that finds the stamp unmoved reads nothing (the file
// held without sharing would say so). (A save in pieces in a pass: the refresh cycle's tests.)
TEST_F(MachineDataWatchTest, StartUpTakesOnlyContentReadTwiceAndRecentStampsAreReadAgain) {
  files.StampAtClose();
  files.StampFrom([this] { return machine.WallClock(); }, 2s);
  const std::vector<std::function<void()>> pieces = {
      [&] {
        files.SetHold(kMachineData, Hold::kSavedInPieces);
        files.AppendPiece(kMachineData, "&ACCESS RVP\r\nDECL INT $EX_AX_NUM=");
      },
      [&] { files.AppendPiece(kMachineData, "1"); },
      [&] {
        files.AppendPiece(kMachineData, "2 ;number of external axes\r\n");
        files.SetHold(kMachineData, Hold::kNone);
      }};
  std::size_t written = 0;
  pieces[written++]();
  machine.on_sleep = [&] {
    if (written < pieces.size()) pieces[written++]();
  };
  MachineDataWatch watch(machine);
  EXPECT_EQ(watch.ReadAtStartUp(kTarget, StartUpPatience(machine)).ex_ax_num, "12");
  machine.on_sleep = nullptr;
  files.SetBusy(kMachineData, true);
  ASSERT_TRUE(watch.Look().condition) << "read again";
  files.SetBusy(kMachineData, false);
  machine.now += 3s;
  EXPECT_FALSE(watch.Look().reading) << "the same content";
  files.SetBusy(kMachineData, true);
  EXPECT_FALSE(watch.Look().condition) << "not read";
}

}  // namespace
}  // namespace ordex
