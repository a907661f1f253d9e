#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "form1_fixture.h"
#include "test_helpers.h"

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

// A start-up against the sample installation itself, copied over the fixture's own tree, fills
// all seven rows and writes the summary file.
class SampleStartUpTest : public testing::Form1Test {
 protected:
  void SetUp() override {
    Form1Test::SetUp();
    fs::copy(SampleDir() / "ROBOTER", tree_ / "ROBOTER",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    SetVersionValue("XOCVersion", "V5.6.2");
    SetVersionValue("Version", "BR 5.6");
  }
};

TEST_F(SampleStartUpTest, StartUpFillsAllRowsAndWritesTheSummary) {
  StartForm();

  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine_.fatal_error;

  EXPECT_EQ(view_.Text(Control::txtASCIDriverVersion), "1.3b");
  EXPECT_EQ(view_.Text(Control::txtRobotController), "V5.6.2");
  EXPECT_EQ(view_.Text(Control::txtBasisrelease), "BR 5.6");
  EXPECT_EQ(view_.Text(Control::txtComputerName), "ROBPC01");
  EXPECT_EQ(view_.Text(Control::txtIPOTime), "12");
  EXPECT_EQ(view_.Text(Control::txtExAxNum), "2");
  EXPECT_EQ(view_.Text(Control::txtASCIISensor), "SENSOR-A_2.0");
  EXPECT_EQ(testing::ReadBytes(Summary()),
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
