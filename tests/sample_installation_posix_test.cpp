#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

// A start-up against the sample installation itself, copied in place of the fixture's own files
// (which give the same seven values), fills all seven rows and writes the summary file.
class SampleStartUpTest : public testing::Form1Test {
 protected:
  void SetUp() override {
    Form1Test::SetUp();
    for (const char* path : {testing::kHwInf, testing::kMachineData, testing::kDriver})
      files.Remove(path);
    for (const auto& entry : fs::recursive_directory_iterator(SampleDir() / "ROBOTER")) {
      const std::string path =
          "C:/XOC/" + entry.path().lexically_relative(SampleDir()).generic_string();
      if (entry.is_directory()) files.AddFolder(path);
      if (entry.is_regular_file()) files.RewriteFile(path, testing::ReadBytes(entry.path()));
    }
    SetVersionValue("XOCVersion", "V5.6.2");
    SetVersionValue("Version", "BR 5.6");
  }
};

TEST_F(SampleStartUpTest, StartUpFillsAllRowsAndWritesTheSummary) {
  StartForm();

  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;

  EXPECT_EQ(view.Rows(), (std::vector<std::string>{"1.3b", "V5.6.2", "BR 5.6", "ROBPC01", "12", "2",
                                                   "SENSOR-A_2.0"}));
  EXPECT_EQ(files.ReadWholeFile(testing::kSummary),
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
