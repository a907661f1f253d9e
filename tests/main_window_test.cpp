#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "form1_fixture.h"
#include "platform/file_access_memory.h"
#include "shell/form1_events.h"

namespace ordex {
namespace {
using namespace std::chrono_literals;
using testing::Form1Test;
using testing::kDriver;
using testing::kHwInf;
using testing::kMachineData;
using testing::kSummary;
using Hold = MemoryFileAccess::Hold;

TEST_F(Form1Test, StartUpFillsEveryRowWritesTheSummaryAndStartsTheTimer) {
  SetSetting("TimerInterval", 5000);
  SetSetting("Visible", 1);
  Form1& form = StartForm();

  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  EXPECT_EQ(view.Rows(), (std::vector<std::string>{"1.3b", "XOC 5.6.11", "BR 5.6.3", "ROBPC01",
                                                   "12", "2", "SENSOR-A_2.0"}));
  EXPECT_EQ(view.Text(Control::Changes), "0 Changes since start");
  EXPECT_EQ(view.Text(Control::RefreshNo), "0");
  EXPECT_TRUE(view.visible());
  EXPECT_EQ(view.interval_ms(), 5000);
  EXPECT_EQ(files.ReadWholeFile(kSummary),
            "Version: 1.3b\r\nSteuerung: XOC 5.6.11\r\nBSVersion: BR 5.6.3\r\nName: ROBPC01\r\n"
            "IPO: 12\r\nZusatz-Achsen: 2\r\nSensor: SENSOR-A_2.0\r\n");
  EXPECT_EQ(form.Saved, form.Current);
  EXPECT_EQ(WritesTo(SettingsKey), 0) << "settings present: nothing is written";
}

// Settings missing at start-up get their defaults written back, into the settings key only,
// and the window stays hidden; the policy key gives the values where it holds them and is never
// written; a store that cannot be written still gives a working start.
TEST_F(Form1Test, StartUpTakesThePolicyOrTheDefaultsAndWritesTheDefaultsBack) {
  const struct {
    const char* what;
    bool policy, writable;
    std::int32_t interval;
    bool visible;
  } cases[] = {{"nothing set", false, true, 10000, false},
               {"a policy set", true, true, 3000, true},
               {"a store that cannot be written", false, false, 10000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    form_.reset();
    registry.writable = c.writable;
    registry.written.clear();
    if (c.policy) {
      registry.Import(testing::RegDwordValue(PolicyKey, "TimerInterval", 3000) +
                      testing::RegDwordValue(PolicyKey, "Visible", 1));
    }
    StartForm();
    ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
    EXPECT_EQ(form_->TimerInterval, c.interval);
    EXPECT_EQ(form_->Visible, c.visible ? 1 : 0);
    EXPECT_EQ(view.interval_ms(), c.interval);
    EXPECT_EQ(view.visible(), c.visible);
    EXPECT_EQ(Setting("TimerInterval"), c.writable ? std::optional(10000) : std::nullopt);
    EXPECT_EQ(Setting("Visible"), c.writable ? std::optional(0) : std::nullopt);
    EXPECT_EQ(WritesTo(SettingsKey), c.writable ? 2 : 0);
    // Nor does a store without the facts key cost the summary or the start's event.
    EXPECT_EQ(FactsValue("Version").has_value(), c.writable);
    EXPECT_EQ(machine.events.back().id, kStartedEventId);
    EXPECT_TRUE(Exists(kSummary));
    RemoveKey(SettingsKey);
    RemoveKey(PolicyKey);
  }
}

TEST_F(Form1Test, MissingVersionValuesShowNotAvailableAndMissingInstallDirUsesTheDefault) {
  RemoveKey(VersionKey);
  Form1& form = StartForm();
  EXPECT_EQ(form.InstallDir, "C:\\XOC");
  EXPECT_EQ(form.Current.Controller, "Not Available");
  EXPECT_EQ(form.Current.BaseRelease, "Not Available");
}

TEST_F(Form1Test, EmptyInstallDirCountsAsNotSet) {
  for (const char* empty : {"", "   "}) {
    SetVersionValue("InstallationDir", empty);
    EXPECT_EQ(StartForm().InstallDir, "C:\\XOC") << '"' << empty << '"';
  }
}

TEST_F(Form1Test, InstallDirThatLostCharactersEndsStartUpNamingTheValue) {
  SetStoredVersionValue("InstallationDir", testing::StoredText(u"C:\\X\u014CC"));
  StartForm();
  EXPECT_EQ(load_result_, Form1::LoadResult::kFailed);
  EXPECT_NE(machine.fatal_error.find("InstallationDir"), std::string::npos) << machine.fatal_error;
  EXPECT_NE(machine.fatal_error.find("code page"), std::string::npos) << machine.fatal_error;
  EXPECT_FALSE(Exists(kSummary));
}

TEST_F(Form1Test, AStartUpErrorIsReportedAndNothingAfterItRuns) {
  files.Remove(kMachineData);
  StartForm();
  EXPECT_EQ(load_result_, Form1::LoadResult::kFailed);
  EXPECT_NE(machine.fatal_error.find("$Machine.dat"), std::string::npos) << machine.fatal_error;
  EXPECT_FALSE(Exists(kSummary));
  EXPECT_EQ(view.set_visible_calls(), 0);
  EXPECT_EQ(view.set_timer_calls(), 0);
  EXPECT_TRUE(machine.events.empty()) << "no started event";
}

// However the view's loop ends by itself, the end is reported once with the change count.
TEST_F(Form1Test, TheEndOfTheLoopIsReportedWithHowItEnded) {
  const std::pair<EndReason, std::string> ends[] = {
      {EndReason::kWindowClosed, "window closed"},
      {EndReason::kEndOfSession, "end of session"},
      {EndReason::kStopRequest, "stop request"},
      {EndReason::kClosedForUpdate, "closed for an update"}};
  for (const auto& [reason, text] : ends) {
    form_.reset();
    machine.events.clear();
    view.end_reason = reason;
    form_ = std::make_unique<Form1>(machine);
    EXPECT_EQ(form_->Run(), 0);
    ASSERT_EQ(machine.events.size(), 2u) << text;
    EXPECT_EQ(machine.events[1].id, kEndedEventId);
    EXPECT_EQ(machine.events[1].strings, (std::vector<std::string>{text, "0"}));
  }
}

TEST_F(Form1Test, ASecondInstanceEndsBeforeTouchingAnything) {
  const auto other_instance = machine.ClaimSingleInstance();
  RemoveKey(VersionKey);
  StartForm();
  EXPECT_EQ(load_result_, Form1::LoadResult::kAnotherInstance);
  EXPECT_TRUE(registry.written.empty());
  EXPECT_EQ(view.set_text_calls(), 0);
  EXPECT_FALSE(Exists(kSummary));
}

// The window as designed, in twips: every backend places its controls from these numbers, and
// a slip in one moves a control by less than a pixel at most screen resolutions.
TEST(Form1Layout, HoldsTheWindowAsDesigned) {
  using Row = std::tuple<std::string_view, std::string_view, int, int>;
  const FormLayout& form = kForm1Layout;
  EXPECT_EQ(
      (std::vector<int>{form.client_width, form.client_height, form.label_left, form.label_height,
                        form.label_drop, form.text_box_left, form.text_box_width,
                        form.text_box_height, form.status_top, form.status_height}),
      (std::vector<int>{4365, 3555, 240, 255, 120, 2280, 1695, 285, 2880, 255}));
  std::vector<Row> rows;
  for (const FormRow& row : form.rows) {
    rows.emplace_back(row.label_name, row.caption, row.label_width, row.top);
  }
  for (const StatusLabel& label : form.status) {
    rows.emplace_back(label.name, label.initial_text, label.left, label.width);
  }
  EXPECT_EQ(rows, (std::vector<Row>{
                      {"lbASCIIDriverVersion", "ASCII Driver Version:", 1695, 120},
                      {"lbRobotController", "Robot Controller:", 1815, 480},
                      {"lbBasisrelease", "Basisrelease Version:", 1815, 840},
                      {"lbComputerName", "Computer Name:", 1815, 1200},
                      {"lbIPO_Time", "IPO-Time:", 1815, 1560},
                      {"lbExAxNum", "Number of external Axes:", 1815, 1920},
                      {"lbASCISensor", "ASCII-Sensor:", 1815, 2280},
                      {"Changes", "Changes since start", 240, 2175},
                      {"RefreshNo", "0", 2520, 1455},
                  }));
}

TEST_F(Form1Test, LineBreaksInValuesShowAndAreWrittenAsSpaces) {
  using namespace std::string_literals;
  SetVersionValue("XOCVersion", "XOC\r\n5.6");
  SetVersionValue("Version", "BR\n5.6");
  files.RewriteFile(kDriver, "2.0\r.4\0SENSOR\nA\0%s - Version %s\0 1.3\rb \0Dateiformat : %s\0"s);
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  EXPECT_EQ(files.ReadWholeFile(kSummary),
            "Version: 1.3 b\r\nSteuerung: XOC  5.6\r\nBSVersion: BR 5.6\r\nName: ROBPC01\r\n"
            "IPO: 12\r\nZusatz-Achsen: 2\r\nSensor: SENSOR A_2.0 \r\n");
  EXPECT_EQ(view.Text(Control::txtRobotController), "XOC  5.6");
  EXPECT_EQ(view.Text(Control::txtBasisrelease), "BR 5.6");
  EXPECT_EQ(view.Text(Control::txtASCIISensor), "SENSOR A_2.0 ");
  EXPECT_EQ(view.Text(Control::txtASCIDriverVersion), "1.3 b");
}

// Another program holds a file start-up reads or writes (open without sharing, a range locked,
// deleted while still open and then written anew): start-up tries again every 200 ms, so a file
// let go just after a try is taken 200 ms later and one let go just before 10 s by the last
// try; held longer, it ends after 10 seconds as it would for a file it cannot open.
// The machine data file's second read, one pause after its first, comes on top.
TEST_F(Form1Test, StartUpWaitsUpToTenSecondsForAHeldFile) {
  using namespace std::chrono_literals;
  const struct Release {
    std::chrono::milliseconds at, start_up_lasts;
    bool runs;
  } releases[] = {{1ms, 200ms, true}, {9999ms, 10s, true}, {10001ms, 10s, false}};
  files.RewriteFile(kSummary, "");
  for (const char* path : {kHwInf, kMachineData, kDriver, kSummary}) {
    const std::string content = files.ReadWholeFile(path);
    // The holder lets go; a file pending deletion is then gone, and its program writes it anew.
    const auto let_go = [&] {
      files.SetHold(path, Hold::kNone);
      if (!Exists(path)) files.RewriteFile(path, content);
    };
    // Start-up reads the machine data twice, one pause apart: a file read after it is first
    // tried that pause later, and a file read before it, or itself, is let go that pause
    // before start-up goes on.
    const bool read_later = path == kDriver || path == kSummary;
    const auto first_try = read_later ? kStartUpPause : 0ms;
    for (const Hold kind : {Hold::kBusy, Hold::kRangeLocked, Hold::kDeletePending}) {
      for (const Release& release : releases) {
        SCOPED_TRACE(std::string(path) + " held as " + std::to_string(static_cast<int>(kind)) +
                     " for " + std::to_string(release.at.count()) + " ms");
        const auto start = machine.now;
        files.SetHold(path, kind);
        machine.on_sleep = [&] {
          if (machine.now - start >= first_try + release.at) let_go();
        };
        StartForm();
        let_go();
        const auto second_read = !read_later && release.runs ? kStartUpPause : 0ms;
        EXPECT_EQ(machine.now - start, first_try + release.start_up_lasts + second_read);
        if (release.runs) {
          EXPECT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
          EXPECT_EQ(SummaryCount(), "2");
        } else {
          EXPECT_EQ(load_result_, Form1::LoadResult::kFailed);
          EXPECT_NE(machine.fatal_error.find(path), std::string::npos) << machine.fatal_error;
          EXPECT_NE(machine.fatal_error.find("by another program"), std::string::npos)
              << machine.fatal_error;
        }
      }
    }
  }
}

// Asked to end while start-up waits for a held file (a logoff, an installer's close), ORDEX stops
// start-up there: status 0, its end reported while the request is handled (Windows may end the
// process as soon as it has been), no summary written.
TEST_F(Form1Test, AnEndAskedForWhileStartUpWaitsEndsItWithoutASummary) {
  files.SetHold(kHwInf, Hold::kBusy);
  const auto asked_at = machine.now + std::chrono::seconds(1);
  std::size_t events_when_handled = 0;
  machine.on_sleep = [&] {
    if (machine.now < asked_at) return;
    view.RequestEnd(EndReason::kEndOfSession);
    events_when_handled = machine.events.size();
  };
  form_ = std::make_unique<Form1>(machine);
  EXPECT_EQ(form_->Run(), 0);
  EXPECT_LT(machine.now - asked_at, std::chrono::seconds(1));
  EXPECT_FALSE(Exists(kSummary));
  EXPECT_EQ(view.set_timer_calls(), 0);
  EXPECT_EQ(machine.fatal_error, "");
  EXPECT_EQ(events_when_handled, 1u);
  ASSERT_EQ(machine.events.size(), 1u);
  EXPECT_EQ(machine.events[0].id, kEndedEventId);
  EXPECT_EQ(machine.events[0].strings, (std::vector<std::string>{"end of session", "0"}));
}

TEST_F(Form1Test, AFolderInPlaceOfAnInputOrTheSummaryEndsStartUpNamingIt) {
  for (const char* file : {kHwInf, kMachineData, kSummary}) {
    const std::string kept = Exists(file) ? files.ReadWholeFile(file) : "";
    files.Remove(file);
    files.AddFolder(file);
    StartForm();
    EXPECT_EQ(load_result_, Form1::LoadResult::kFailed);
    EXPECT_NE(machine.fatal_error.find(std::string(file) + ": is a folder"), std::string::npos)
        << machine.fatal_error;
    files.Remove(file);
    files.RewriteFile(file, kept);
  }
}

// In a controller tree that gives a new file to its creator alone, the summary that one user's
// ORDEX creates still lets the next user's ORDEX rewrite it, and stays the first user's.
TEST_F(Form1Test, TheSummaryOneUsersOrdexCreatesAdmitsTheNextUsers) {
  files.RestrictNewFiles(testing::kSummaryFolder);
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  form_.reset();
  files.SetUser("technician");
  WriteMachineData("3");
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  EXPECT_EQ(SummaryCount(), "3");
  EXPECT_EQ(files.OwnerOf(kSummary), MemoryFileAccess::kFirstUser);
}

// The system answers with the name, its NUL and the rest of the caller's spaces.
TEST_F(Form1Test, ComputerNameProbeKeepsOnlyTheName) {
  EXPECT_EQ(ProbeComputerName(machine), "ROBPC01");
}

}  // namespace
}  // namespace ordex
