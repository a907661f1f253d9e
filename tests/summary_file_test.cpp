#include "report/summary_file.h"

#include <gtest/gtest.h>

namespace ordex {
namespace {

TEST(SummaryFile, SevenCrLfLinesWithEmptyAndNotAvailableValuesAsTheyAre) {
  ControllerInfo info;
  info.DriverVersion = "1.3b";
  info.Controller = "Not Available";
  info.BaseRelease = "";
  info.ComputerName = "ROBPC01";
  info.IpoTime = "12";
  info.ExAxNum = "2";
  info.Sensor = "SENSOR-A_2.0";
  EXPECT_EQ(SummaryFileContent(info),
            "Version: 1.3b\r\n"
            "Steuerung: Not Available\r\n"
            "BSVersion: \r\n"
            "Name: ROBPC01\r\n"
            "IPO: 12\r\n"
            "Zusatz-Achsen: 2\r\n"
            "Sensor: SENSOR-A_2.0\r\n");
}

}  // namespace
}  // namespace ordex
