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

TEST(SummaryFile, LineBreaksInsideValuesBecomeSpacesSoTheFileKeepsSevenLines) {
  const struct {
    std::string value;
    std::string written;
  } cases[] = {
      {"1.3\rb", "1.3 b"},
      {"XOC\n5.6", "XOC 5.6"},
      {"a\r\nb", "a  b"},
      {"\r\r\n", "   "},
      {"tab\tand\x01stay", "tab\tand\x01stay"},
  };
  for (const auto& c : cases) {
    ControllerInfo info;
    info.DriverVersion = info.Controller = info.BaseRelease = info.ComputerName = info.IpoTime =
        info.ExAxNum = info.Sensor = c.value;
    std::string expected;
    for (const char* key : {"Version: ", "Steuerung: ", "BSVersion: ", "Name: ", "IPO: ",
                            "Zusatz-Achsen: ", "Sensor: "}) {
      expected += key + c.written + "\r\n";
    }
    EXPECT_EQ(SummaryFileContent(info), expected) << c.written;
  }
}

}  // namespace
}  // namespace ordex
