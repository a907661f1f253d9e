#include "collectors/ex_ax_num.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_access.h"
#include "test_helpers.h"

namespace ordex {
namespace {

struct ExAxCase {
  const char* name;
  std::string machine_data;
  std::string expected;
};

class ExAxNumValue : public ::testing::TestWithParam<ExAxCase> {};

TEST_P(ExAxNumValue, IsTheTextAfterTheVariable) {
  EXPECT_EQ(ExAxNumFromText(GetParam().machine_data), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ExAxNumValue,
    ::testing::Values(
        ExAxCase{"WithComment", "DECL INT $EX_AX_NUM=2 ;number of external axes\r\n", "2"},
        ExAxCase{"SpacesAroundEquals", "$EX_AX_NUM = 3\r\n", "3"},
        ExAxCase{"EmptyValueStopsTheScan", "$EX_AX_NUM=;comment\r\n$EX_AX_NUM=4\r\n", ""},
        ExAxCase{"OnlyFirstLineCounts", "DECL INT $EX_AX_NUM=1\r\nDECL INT $EX_AX_NUM=5\r\n", "1"},
        ExAxCase{"LowerCaseNotRecognised", "DECL INT $ex_ax_num=2\r\n", ""},
        ExAxCase{"Missing", "DECL INT $NUM_AX=6\r\nDECL REAL $IPO_MODE=1.0\r\n", ""},
        ExAxCase{"EmptyFile", "", ""},
        ExAxCase{"NeverConvertedLeadingZero", "$EX_AX_NUM=02\r\n", "02"},
        ExAxCase{"NeverConvertedDecimal", "$EX_AX_NUM=2.0\r\n", "2.0"},
        ExAxCase{"NoEqualsTakesWholeLine", "$EX_AX_NUM 2 ;axes\r\n", "$EX_AX_NUM 2"},
        ExAxCase{"FirstEqualsOnly", "$EX_AX_NUM=2=3\r\n", "2=3"},
        ExAxCase{"SpacesBeforeComment", "$EX_AX_NUM=  7   ;  x\r\n", "7"},
        ExAxCase{"TabsStay", "$EX_AX_NUM=\t2\t\r\n", "\t2\t"},
        ExAxCase{"VariableAfterOtherLines",
                 "&ACCESS RVP\r\nDEFDAT $MACHINE\r\nDECL INT $EX_AX_NUM=2 ;axes\r\nENDDAT\r\n",
                 "2"},
        ExAxCase{"LoneLineFeed", "DECL INT $NUM_AX=6\nDECL INT $EX_AX_NUM=3\n", "3"},
        ExAxCase{"NoLineEndAtEnd", "DECL INT $EX_AX_NUM=4", "4"},
        ExAxCase{"CarriageReturnNotInValue", "DECL INT $EX_AX_NUM=4\r\n", "4"},
        ExAxCase{"CrCrLf", "DECL INT $EX_AX_NUM=2\r\r\nENDDAT\r\n", "2"},
        ExAxCase{"LoneCarriageReturns", "DEFDAT\rDECL INT $EX_AX_NUM=2\rENDDAT\r", "2"},
        ExAxCase{"LoneCarriageReturnBeforeComment", "$EX_AX_NUM=2\r;axes\r\n", "2"}),
    [](const auto& info) { return std::string(info.param.name); });

// The count and the file's own time stamp, set without the variable too; a missing file gives
// nothing and is not created.
TEST(ExAxNumFile, ReadsTheCountAndTheFilesTimeStamp) {
  const testing::TempDir dir;
  const auto files = CreateFileAccess();
  const std::string path = (dir / "$Machine.dat").string();
  EXPECT_FALSE(ReadExAxNum(*files, path));
  EXPECT_FALSE(std::filesystem::exists(path));
  for (const auto& [content, count] :
       {std::pair{"DECL INT $EX_AX_NUM=2 ;number of external axes\r\n", "2"},
        std::pair{"DECL INT $NUM_AX=6\r\n", ""}}) {
    testing::WriteBytes(path, content);
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type(std::chrono::seconds(1'000'000'000)));
    const auto reading = ReadExAxNum(*files, path);
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->ex_ax_num, count);
    EXPECT_NE(reading->time, FileTime{});
    EXPECT_EQ(reading->time, files->ModificationTime(path));
  }
}

}  // namespace
}  // namespace ordex
