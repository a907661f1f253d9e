#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/file_access.h"
#include "platform/system.h"
#include "report/summary_file.h"
#include "shell/main_window.h"
#include "test_support.h"

namespace ordex {
namespace {

namespace fs = std::filesystem;

fs::path SampleDir() { return testing::SourceDir() / "examples"; }

TEST(SampleInstallation, DriverFileIsWhatTheScriptWrites) {
  testing::TempDir dir;
  const fs::path written = dir / "zt_ascii.o";
  const std::string command =
      "bash '" + (SampleDir() / "make_driver.sh").string() + "' '" + written.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(testing::ReadBytes(written),
            testing::ReadBytes(SampleDir() / "ROBOTER/DRIVERS/zt_ascii.o"));
}

class NoLock : public InstanceLock {};

void SampleComputerName(char* buffer, std::uint32_t& size) {
  const std::string name = "ROBPC01";
  name.copy(buffer, name.size());
  buffer[name.size()] = '\0';
  size = static_cast<std::uint32_t>(name.size());
}

void IgnoreFatalError(std::string_view) {}

// A start-up against a copy of the sample installation fills all seven rows and writes the
// summary file.
TEST(SampleInstallation, StartUpFillsAllRowsAndWritesTheSummary) {
  testing::TempDir dir;
  fs::copy(SampleDir() / "ROBOTER", dir / "ROBOTER", fs::copy_options::recursive);
  const auto files = CreateFileAccess();
  testing::FakeView view;
  testing::FakeRegistry registry;
  registry.strings[testing::FakeRegistry::Id(VersionKey, "InstallationDir")] = dir.path().string();
  registry.strings[testing::FakeRegistry::Id(VersionKey, "XOCVersion")] = "V5.6.2";
  registry.strings[testing::FakeRegistry::Id(VersionKey, "Version")] = "BR 5.6";
  Form1 form(Form1Services{*files, view,
                           [&] { return std::make_unique<testing::FakeRegistry>(registry); },
                           [] { return std::unique_ptr<InstanceLock>(std::make_unique<NoLock>()); },
                           &SampleComputerName, ',', &IgnoreFatalError});

  ASSERT_EQ(form.Form_Load(), Form1::LoadResult::kRunning);

  EXPECT_EQ(view.Text(Control::txtASCIDriverVersion), "1.3b");
  EXPECT_EQ(view.Text(Control::txtRobotController), "V5.6.2");
  EXPECT_EQ(view.Text(Control::txtBasisrelease), "BR 5.6");
  EXPECT_EQ(view.Text(Control::txtComputerName), "ROBPC01");
  EXPECT_EQ(view.Text(Control::txtIPOTime), "12");
  EXPECT_EQ(view.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(view.Text(Control::txtASCIISensor), "SENSOR-A_2.0");
  EXPECT_EQ(testing::ReadBytes(dir / "ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini"),
            "Version: 1.3b\r\n"
            "Steuerung: V5.6.2\r\n"
            "BSVersion: BR 5.6\r\n"
            "Name: ROBPC01\r\n"
            "IPO: 12\r\n"
            "Zusatz-Achsen: 2\r\n"
            "Sensor: SENSOR-A_2.0\r\n");
}

}  // namespace
}  // namespace ordex
