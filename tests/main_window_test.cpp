#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>

#include "form1_fixture.h"
#include "platform/file_access.h"
#include "platform/system.h"
#include "shell/form1_events.h"

namespace ordex {
namespace {
namespace fs = std::filesystem;
using testing::Form1Test;
using testing::ReadBytes;
using testing::WriteBytes;

TEST_F(Form1Test, StartUpFillsEveryRowWritesTheSummaryAndStartsTheTimer) {
  SetSetting("TimerInterval", 5000);
  SetSetting("Visible", 1);
  Form1& form = StartForm();

  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
  EXPECT_EQ(view_.Text(Control::txtRobotController), "XOC 5.6.11");
  EXPECT_EQ(view_.Text(Control::txtBasisrelease), "BR 5.6.3");
  EXPECT_EQ(view_.Text(Control::txtComputerName), "ROBPC01");
  EXPECT_EQ(view_.Text(Control::txtIPOTime), "12");
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(view_.Text(Control::txtASCIISensor), "SENSOR-A_2.0");
  EXPECT_EQ(view_.Text(Control::txtASCIDriverVersion), "1.3b");
  EXPECT_EQ(view_.Text(Control::Changes), "0 Changes since start");
  EXPECT_EQ(view_.Text(Control::RefreshNo), "0");
  EXPECT_TRUE(view_.visible());
  EXPECT_EQ(view_.interval_ms(), 5000);
  EXPECT_EQ(ReadBytes(Summary()),
            "Version: 1.3b\r\nSteuerung: XOC 5.6.11\r\nBSVersion: BR 5.6.3\r\nName: ROBPC01\r\n"
            "IPO: 12\r\nZusatz-Achsen: 2\r\nSensor: SENSOR-A_2.0\r\n");
  EXPECT_EQ(form.Saved, form.Current);
  EXPECT_EQ(machine_.registry.writes, 0) << "settings present: nothing is written";
}

TEST_F(Form1Test, MissingSettingsGetTheirDefaultsWrittenBackAndTheWindowStaysHidden) {
  Form1& form = StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
  EXPECT_EQ(form.TimerInterval, 10000);
  EXPECT_EQ(form.Visible, 0);
  EXPECT_EQ(Setting("TimerInterval"), 10000);
  EXPECT_EQ(Setting("Visible"), 0);
  EXPECT_EQ(view_.interval_ms(), 10000);
  EXPECT_FALSE(view_.visible());
}

TEST_F(Form1Test, AStoreThatCannotBeWrittenStillGivesAWorkingStart) {
  machine_.registry.writable = false;
  StartForm();
  EXPECT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
  EXPECT_EQ(view_.interval_ms(), 10000);
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
  EXPECT_NE(machine_.fatal_error.find("InstallationDir"), std::string::npos)
      << machine_.fatal_error;
  EXPECT_NE(machine_.fatal_error.find("code page"), std::string::npos) << machine_.fatal_error;
  EXPECT_FALSE(fs::exists(Summary()));
}

TEST_F(Form1Test, AStartUpErrorIsReportedAndNothingAfterItRuns) {
  fs::remove(MachineData());
  StartForm();
  EXPECT_EQ(load_result_, Form1::LoadResult::kFailed);
  EXPECT_NE(machine_.fatal_error.find("$Machine.dat"), std::string::npos) << machine_.fatal_error;
  EXPECT_FALSE(fs::exists(Summary()));
  EXPECT_EQ(view_.set_visible_calls(), 0);
  EXPECT_EQ(view_.set_timer_calls(), 0);
  EXPECT_TRUE(machine_.events.empty()) << "no started event";
}

// The policy key gives the values; the settings key still gets its defaults, the policy key is
// never written.
TEST_F(Form1Test, StartUpTakesThePolicyAndWritesDefaultsOnlyToTheSettingsKey) {
  machine_.registry.Import(testing::RegDwordValue(PolicyKey, kTimerIntervalName, 3000) +
                           testing::RegDwordValue(PolicyKey, kVisibleName, 1));
  Form1& form = StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
  EXPECT_EQ(form.TimerInterval, 3000);
  EXPECT_EQ(form.Visible, 1);
  EXPECT_EQ(Setting("TimerInterval"), 10000);
  EXPECT_EQ(Setting("Visible"), 0);
  EXPECT_EQ(machine_.registry.writes, 2);
}

// However the view's loop ends by itself, the end is reported once with the change count.
TEST_F(Form1Test, TheEndOfTheLoopIsReportedWithHowItEnded) {
  const std::pair<EndReason, std::string> ends[] = {{EndReason::kWindowClosed, "window closed"},
                                                    {EndReason::kEndOfSession, "end of session"},
                                                    {EndReason::kStopRequest, "stop request"}};
  for (const auto& [reason, text] : ends) {
    form_.reset();
    machine_.events.clear();
    view_.end_reason = reason;
    form_ = std::make_unique<Form1>(machine_);
    EXPECT_EQ(form_->Run(), 0);
    ASSERT_EQ(machine_.events.size(), 2u) << text;
    EXPECT_EQ(machine_.events[1].id, kEndedEventId);
    EXPECT_EQ(machine_.events[1].strings, (std::vector<std::string>{text, "0"}));
  }
}

TEST_F(Form1Test, ASecondInstanceEndsBeforeTouchingAnything) {
  const auto other_instance = machine_.ClaimSingleInstance();
  RemoveKey(VersionKey);
  StartForm();
  EXPECT_EQ(load_result_, Form1::LoadResult::kAnotherInstance);
  EXPECT_EQ(machine_.registry.writes, 0);
  EXPECT_EQ(view_.set_text_calls(), 0);
  EXPECT_FALSE(fs::exists(Summary()));
}

TEST_F(Form1Test, LineBreaksInValuesShowAndAreWrittenAsSpaces) {
  using namespace std::string_literals;
  SetVersionValue("XOCVersion", "XOC\r\n5.6");
  SetVersionValue("Version", "BR\n5.6");
  testing::WriteBytes(tree_ / "ROBOTER/DRIVERS/zt_ascii.o",
                      "2.0\r.4\0SENSOR\nA\0%s - Version %s\0 1.3\rb \0Dateiformat : %s\0"s);
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
  EXPECT_EQ(ReadBytes(Summary()),
            "Version: 1.3 b\r\nSteuerung: XOC  5.6\r\nBSVersion: BR 5.6\r\nName: ROBPC01\r\n"
            "IPO: 12\r\nZusatz-Achsen: 2\r\nSensor: SENSOR A_2.0 \r\n");
  EXPECT_EQ(view_.Text(Control::txtRobotController), "XOC  5.6");
  EXPECT_EQ(view_.Text(Control::txtBasisrelease), "BR 5.6");
  EXPECT_EQ(view_.Text(Control::txtASCIISensor), "SENSOR A_2.0 ");
  EXPECT_EQ(view_.Text(Control::txtASCIDriverVersion), "1.3 b");
}

// Another program holds each file at start-up: for 3 seconds start-up waits; for good, it ends
// after 10 seconds as it would for a file it cannot open.
TEST_F(Form1Test, StartUpWaitsUpToTenSecondsForABusyFile) {
  using std::chrono::seconds;
  for (const char* name : {"hw_inf.ini", "$Machine.dat", "zt_ascii.o", "Tarvex.ini"}) {
    for (const bool released : {true, false}) {
      SCOPED_TRACE(std::string(name) + (released ? " released" : " held"));
      fs::remove(Summary());
      const auto start = machine_.now;
      files_.busy = {name};
      machine_.on_sleep = [&] {
        if (released && machine_.now - start >= seconds(3)) files_.busy.clear();
      };
      StartForm();
      if (released) {
        EXPECT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;
        EXPECT_LT(machine_.now - start, seconds(4));
        EXPECT_NE(ReadBytes(Summary()).find("Zusatz-Achsen: 2\r\n"), std::string::npos);
      } else {
        EXPECT_EQ(load_result_, Form1::LoadResult::kFailed);
        EXPECT_NE(machine_.fatal_error.find(std::string(name) + ": in use by another program"),
                  std::string::npos)
            << machine_.fatal_error;
        EXPECT_GE(machine_.now - start, seconds(10));
        EXPECT_LT(machine_.now - start, seconds(11));
      }
    }
  }
}

TEST_F(Form1Test, AFolderInPlaceOfAnInputOrTheSummaryEndsStartUpNamingIt) {
  for (const fs::path& file : {tree_ / "ROBOTER/INIT/hw_inf.ini", MachineData(), Summary()}) {
    const std::string kept = fs::exists(file) ? ReadBytes(file) : "";
    fs::remove(file);
    fs::create_directory(file);
    StartForm();
    EXPECT_EQ(load_result_, Form1::LoadResult::kFailed);
    EXPECT_NE(machine_.fatal_error.find(file.filename().string() + ": is a folder"),
              std::string::npos)
        << machine_.fatal_error;
    fs::remove(file);
    WriteBytes(file, kept);
  }
}

// The system answers with the name, its NUL and the rest of the caller's spaces.
TEST_F(Form1Test, ComputerNameProbeKeepsOnlyTheName) {
  EXPECT_EQ(ProbeComputerName(machine_), "ROBPC01");
}

}  // namespace
}  // namespace ordex
