// Runs the real ordex binary on a copy of the bundled sample installation.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "ordex_process_posix.h"
#include "test_helpers.h"

namespace ordex {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::Eventually;
using testing::OrdexOptions;
using testing::OrdexProcess;
using testing::ReadBytes;
using testing::SampleInstallation;
using testing::TempDir;
using testing::WriteBytes;

// The sample installation's scratch copy, under the names these tests use.
class OrdexBinaryTest : public ::testing::Test {
 protected:
  void WriteStore(const std::string& settings) { sample_.WriteStore(settings); }
  static std::string Settings(int interval_ms, int visible) {
    return SampleInstallation::Settings(interval_ms, visible);
  }
  // The instance lock goes into the scratch folder, so that runs leave nothing behind.
  OrdexOptions Options(const fs::path& output) const {
    return {.store = store_, .output = output, .runtime_dir = sample_.RuntimeDir()};
  }
  fs::path Summary() const { return sample_.SummaryPath(); }
  fs::path MachineData() const { return sample_.MachineDataPath(); }
  std::string Summary(std::string_view fallback) const {
    return fs::exists(Summary()) ? ReadBytes(Summary()) : std::string(fallback);
  }
  std::string Errors(const fs::path& output) const { return ReadBytes(output.string() + ".err"); }

  SampleInstallation sample_;
  const TempDir& dir_ = sample_.dir();
  fs::path store_ = sample_.store();
};

TEST_F(OrdexBinaryTest, StartsOnTheSampleWritesSummaryAndDefaultsAndEndsOnSigterm) {
  OrdexProcess ordex(Options(dir_ / "out"));
  ASSERT_TRUE(Eventually([&] { return Summary("").find("Sensor: ") != std::string::npos; }));
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  EXPECT_EQ(ReadBytes(Summary()),
            std::string("Version: 1.3b\r\nSteuerung: XOC 5.6.11\r\n") +
                "BSVersion: BR 5.6.3\r\nName: " + host +
                "\r\nIPO: 12\r\nZusatz-Achsen: 2\r\nSensor: SENSOR-A_2.0\r\n");
  ASSERT_TRUE(Eventually([&] {
    const std::string store = ReadBytes(store_);
    return store.find("\"Visible\"=dword:00000000") != std::string::npos &&
           store.find("\"TimerInterval\"=dword:00002710") != std::string::npos;
  }));
  ordex.Signal(SIGTERM);
  EXPECT_EQ(ordex.WaitForExit(), 0);
  EXPECT_EQ(ReadBytes(dir_ / "out"), "") << "a hidden window shows nothing";
}

TEST_F(OrdexBinaryTest, ARunningInstanceSeesAChangeAndASecondStartIsRefused) {
  WriteStore(Settings(20, 1));
  OrdexProcess first(Options(dir_ / "first"));
  ASSERT_TRUE(Eventually([&] { return fs::exists(Summary()); }));

  OrdexProcess second(Options(dir_ / "second"));
  EXPECT_EQ(second.WaitForExit(), 0);
  EXPECT_EQ(ReadBytes(dir_ / "second"), "");

  std::string machine_data = ReadBytes(MachineData());
  machine_data.replace(machine_data.find("$EX_AX_NUM=2"), 12, "$EX_AX_NUM=3");
  WriteBytes(MachineData(), machine_data);
  EXPECT_TRUE(Eventually([&] {
    return Summary("").find("Zusatz-Achsen: 3\r\n") != std::string::npos &&
           ReadBytes(dir_ / "first").find("1 Changes since start") != std::string::npos;
  })) << ReadBytes(dir_ / "first");
  first.Signal(SIGINT);
  EXPECT_EQ(first.WaitForExit(), 0);
  // Its events, one line each: started, the one change, the end.
  const std::string events = Errors(dir_ / "first");
  EXPECT_TRUE(events.starts_with("ordex: info: started with its summary file " +
                                 Summary().string() + ": Version: 1.3b; Steuerung: XOC 5.6.11;"))
      << events;
  EXPECT_NE(events.find("\nordex: info: the number of external axes in " + MachineData().string() +
                        " changed from 2 to 3: change 1 since start\n"),
            std::string::npos)
      << events;
  EXPECT_TRUE(events.ends_with(
      "\nordex: info: ended (stop request) after 1 changes of the number of external axes\n"))
      << events;
}

TEST_F(OrdexBinaryTest, AStartUpErrorEndsWithItsMessageAndANonZeroStatus) {
  fs::remove(dir_ / "tree/ROBOTER/INIT/hw_inf.ini");
  OrdexProcess ordex(Options(dir_ / "out"));
  EXPECT_EQ(ordex.WaitForExit(), 1);
  EXPECT_EQ(Errors(dir_ / "out"), "ordex: cannot open " +
                                      (dir_ / "tree/ROBOTER/INIT/hw_inf.ini").string() +
                                      ": No such file or directory\n");
  EXPECT_FALSE(fs::exists(Summary()));
}

}  // namespace
}  // namespace ordex
