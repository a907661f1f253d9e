#include "collectors/sensor_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "platform/file_access.h"
#include "test_helpers.h"

namespace ordex {
namespace {

using namespace std::string_literals;

const std::string kVersionMarker = "\0%s - Version %s"s;
const std::string kFormatMarker = "\0Dateiformat : %s"s;

// The worked example: stored texts before both markers, the version marker first.
const std::string kWorkedExample = "header bytes\0"s + "2.0.4.15\0"s + "SENSOR-A" + kVersionMarker +
                                   "\0 1.3b "s + kFormatMarker + "\0trailing bytes\0"s;

std::string Filler(std::size_t length) {
  std::string bytes;
  for (std::size_t i = 0; i < length; ++i) {
    // Printable text with a NUL now and then, never a marker.
    bytes += i % 37 == 36 ? '\0' : static_cast<char>('a' + i % 26);
  }
  return bytes;
}

SensorInfo ScanInChunks(std::string_view content, std::size_t chunk_size) {
  SensorDriverScan scan;
  for (std::size_t at = 0; at < content.size(); at += chunk_size) {
    scan.Feed(content.substr(at, chunk_size));
  }
  return scan.Result();
}

void ExpectSame(const SensorInfo& actual, const SensorInfo& expected) {
  EXPECT_EQ(actual.sensor, expected.sensor);
  EXPECT_EQ(actual.driver_version, expected.driver_version);
}

TEST(SensorDriverScan, WorkedExample) {
  ExpectSame(ScanSensorDriver(kWorkedExample), {"SENSOR-A_2.0", "1.3b"});
}

TEST(SensorDriverScan, SmallFileWithBothMarkersIsFound) {
  std::string content = Filler(1000) + kWorkedExample;
  content += Filler(2000 - content.size());
  ASSERT_EQ(content.size(), 2000u);
  ExpectSame(ScanSensorDriver(content), {"SENSOR-A_2.0", "1.3b"});
}

TEST(SensorDriverScan, VersionMarkerAfterTheFormatMarkerCountsToo) {
  const std::string content =
      "\0 1.3b "s + kFormatMarker + "\0"s + "2.0.4.15\0SENSOR-A"s + kVersionMarker + "\0"s;
  ExpectSame(ScanSensorDriver(content), {"SENSOR-A_2.0", "1.3b"});
}

TEST(SensorDriverScan, LastMarkerOfEachKindWins) {
  const std::string content = "\0"s + "1.0\0OLD"s + kVersionMarker + "\0 0.9"s + kFormatMarker +
                              "\0"s + "3.1.2\0NEW"s + kVersionMarker + "\0 2.4 "s + kFormatMarker;
  ExpectSame(ScanSensorDriver(content), {"NEW_3.1", "2.4"});
}

TEST(SensorDriverScan, NeitherMarkerGivesNothing) {
  ExpectSame(ScanSensorDriver(Filler(20000)), {"", std::nullopt});
}

TEST(SensorDriverScan, EmptyContentGivesNothing) {
  ExpectSame(ScanSensorDriver(""), {"", std::nullopt});
}

TEST(SensorDriverScan, OnlyFormatMarkerSetsOnlyTheVersion) {
  ExpectSame(ScanSensorDriver("x\0 5.1 "s + kFormatMarker), {"", "5.1"});
}

TEST(SensorDriverScan, OnlyVersionMarkerSetsOnlyTheSensor) {
  ExpectSame(ScanSensorDriver("x\0"s + "1.2\0S"s + kVersionMarker), {"S_1.2", std::nullopt});
}

struct MarkerCase {
  const char* name;
  std::string content;
  std::string sensor;
  std::optional<std::string> driver_version;
};

class SensorDriverEdge : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(SensorDriverEdge, Gives) {
  ExpectSame(ScanSensorDriver(GetParam().content), {GetParam().sensor, GetParam().driver_version});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SensorDriverEdge,
    ::testing::Values(
        MarkerCase{"TwoNulsBeforeFormatMarker", "abc\0"s + kFormatMarker, "", ""},
        MarkerCase{"NoNulBeforeTheVersionText", "  4.2 "s + kFormatMarker, "", "4.2"},
        MarkerCase{"ThreeNulsBeforeVersionMarker", "abc\0\0"s + kVersionMarker, "_", std::nullopt},
        MarkerCase{"NearTextAtFileStartHasNoFarText", "SENSOR-A"s + kVersionMarker, "SENSOR-A_",
                   std::nullopt},
        MarkerCase{"FarTextAtFileStart", "2.0.4\0SENSOR-A"s + kVersionMarker, "SENSOR-A_2.0",
                   std::nullopt},
        MarkerCase{"FarTextWithoutDot", "x\0V12\0SENSOR-B"s + kVersionMarker, "SENSOR-B_V12",
                   std::nullopt},
        MarkerCase{"FarTextPiecesTrimmed",
                   "x\0"
                   "7 . 1 . 3\0SENSOR-B"s +
                       kVersionMarker,
                   "SENSOR-B_7.1", std::nullopt},
        MarkerCase{"FarTextSingleDot", "x\0.\0SENSOR-B"s + kVersionMarker, "SENSOR-B_.",
                   std::nullopt},
        MarkerCase{"FarTextSpacesTrimmed", "x\0  V12  \0  SENSOR-B  "s + kVersionMarker,
                   "SENSOR-B_V12", std::nullopt},
        MarkerCase{"OnlySpacesAreTrimmed", "x\0\tV1 \0\tS\t"s + kFormatMarker, "", "\tS\t"},
        MarkerCase{"LowerCaseFormatTextNotRecognised", "x\0 1.3b \0dateiformat : %s"s, "",
                   std::nullopt},
        MarkerCase{"FormatTextWithoutNulNotRecognised", "x\0 1.3b Dateiformat : %s"s, "",
                   std::nullopt},
        MarkerCase{"FormatTextAtFileStartNotRecognised", "Dateiformat : %s\0"s, "", std::nullopt},
        MarkerCase{"VersionTextWithoutNulNotRecognised",
                   "x\0"
                   "1.0\0S %s - Version %s"s,
                   "", std::nullopt},
        MarkerCase{"CutShortFormatText", "x\0 1.3b \0Dateiformat : %"s, "", std::nullopt},
        MarkerCase{"CutShortVersionText",
                   "x\0"
                   "1.0\0S\0%s - Version %"s,
                   "", std::nullopt},
        MarkerCase{"FormatTextBrokenByNul", "x\0 1.3b \0Dateiformat\0 : %s"s, "", std::nullopt},
        MarkerCase{"VersionTextRightAfterFormatMarker",
                   "x\0 1.3b "s + kFormatMarker + kVersionMarker, "Dateiformat : %s_1.3b", "1.3b"},
        MarkerCase{"FormatMarkerEndsItsText", "x\0 2.0 "s + kFormatMarker + "tail\0"s, "", "2.0"},
        MarkerCase{"EightBitBytesKept", "x\0 V\xe4\xff "s + kFormatMarker, "", "V\xe4\xff"}),
    [](const auto& info) { return std::string(info.param.name); });

// Wherever the file's blocks or the pieces fed happen to fall, the results are the same; on
// content with a NUL now and then and on content as NUL-dense as object code.
TEST(SensorDriverScanProperty, LeadingNulsAndChunkSizesChangeNothing) {
  const std::string markers =
      kWorkedExample + Filler(7000) + "\0"s + "9.8.7\0LATE"s + kVersionMarker;
  const std::string bodies[] = {
      Filler(3000) + markers + Filler(100),
      testing::DriverLikeBytes(20000, 7) + markers + testing::DriverLikeBytes(3000, 8)};
  std::vector<std::size_t> shifts;
  for (std::size_t shift = 0; shift <= 600; ++shift) shifts.push_back(shift);
  for (std::size_t shift = 601; shift <= 10000; shift += 97) shifts.push_back(shift);
  shifts.push_back(10000);
  const std::size_t chunk_sizes[] = {1, 16, 17, 4999, 5000, 65536};
  for (const std::string& body : bodies) {
    const SensorInfo expected = ScanSensorDriver(body);
    ASSERT_EQ(expected.sensor, "LATE_9.8");
    ASSERT_EQ(expected.driver_version, "1.3b");
    for (const std::size_t shift : shifts) {
      const std::string content = std::string(shift, '\0') + body;
      for (const std::size_t chunk_size : chunk_sizes) {
        // Single bytes are slow enough to keep to a part of the shifts.
        if (chunk_size == 1 && shift % 50 != 0) continue;
        SCOPED_TRACE("shift " + std::to_string(shift) + ", chunks of " +
                     std::to_string(chunk_size));
        ExpectSame(ScanInChunks(content, chunk_size), expected);
      }
    }
  }
}

TEST(SensorDriverScanProperty, MarkerSplitAtEveryPointBetweenPieces) {
  const std::string content = Filler(40) + kWorkedExample;
  const SensorInfo expected{"SENSOR-A_2.0", "1.3b"};
  for (std::size_t split = 0; split <= content.size(); ++split) {
    SCOPED_TRACE("split at " + std::to_string(split));
    SensorDriverScan scan;
    scan.Feed(std::string_view(content).substr(0, split));
    scan.Feed(std::string_view(content).substr(split));
    ExpectSame(scan.Result(), expected);
  }
}

TEST(SensorDriverScanLongTexts, KeepsTheTailOfATextLongerThanKept) {
  const std::size_t kept = SensorDriverScan::kKeptTextLength;
  const std::string long_text = std::string(kept * 3, 'L') + "END";
  const std::string far_text = "9." + std::string(kept * 2, '9');
  for (const std::size_t chunk_size : {std::size_t{1000}, kept, 3 * kept + 1}) {
    SCOPED_TRACE(chunk_size);
    const SensorInfo info = ScanInChunks(
        "x\0"s + far_text + "\0"s + long_text + kVersionMarker + "\0"s + long_text + kFormatMarker,
        chunk_size);
    const std::string tail = long_text.substr(long_text.size() - kept);
    EXPECT_EQ(info.driver_version, tail);
    // The far text keeps its tail too, which holds no "." any more.
    EXPECT_EQ(info.sensor, tail + "_" + std::string(kept, '9'));
  }
}

TEST(SensorDriverScanLongTexts, TextsUpToTheKeptLengthComeOutWhole) {
  // The length the performance page promises, not the constant: a changed constant must show.
  const std::size_t kept = 64 * 1024;
  for (const std::size_t length : {std::size_t{4404}, std::size_t{30000}, kept, kept + 1}) {
    const std::string text = "<" + std::string(length - 2, 'm') + ">";
    const std::string kept_text = length <= kept ? text : text.substr(length - kept);
    // The first text and its marker fill 5000 bytes when they are short enough to.
    const std::string content = Filler(length + 18 < 5000 ? 5000 - length - 18 : 0) + "\0"s + text +
                                kFormatMarker + "\0"s + text + "\0"s + text + kVersionMarker;
    for (const std::size_t chunk_size : {std::size_t{1}, std::size_t{4999}, content.size()}) {
      SCOPED_TRACE("text of " + std::to_string(length) + ", chunks of " +
                   std::to_string(chunk_size));
      ExpectSame(ScanInChunks(content, chunk_size), {kept_text + "_" + kept_text, kept_text});
    }
  }
}

TEST(SensorDriverScanLongTexts, ShortTextAfterALongOneIsWhole) {
  const std::string content =
      std::string(100000, 'z') + "\0"s + "1.5\0NEAR"s + kVersionMarker + "\0 v2 "s + kFormatMarker;
  ExpectSame(ScanInChunks(content, 65536), {"NEAR_1.5", "v2"});
}

TEST(SensorDriverScanMemory, StaysBoundedOverTensOfMegabytes) {
  SensorDriverScan scan;
  // Long texts without NULs, many short texts, and markers, in turn.
  const std::string no_nuls(1 << 20, 'q');
  const std::string many_nuls = Filler(1 << 20);
  const std::string markers = "\0"s + "4.4.1\0BIG"s + kVersionMarker + "\0 7.0 "s + kFormatMarker;
  std::size_t most_retained = 0;
  std::size_t fed = 0;
  for (int round = 0; round < 12; ++round) {
    for (const std::string* piece : {&no_nuls, &many_nuls, &markers}) {
      scan.Feed(*piece);
      fed += piece->size();
      most_retained = std::max(most_retained, scan.RetainedBytes());
    }
  }
  ASSERT_GT(fed, std::size_t{24} << 20);
  EXPECT_LE(most_retained, 12 * SensorDriverScan::kKeptTextLength);
  EXPECT_EQ(scan.Result().sensor, "BIG_4.4");
  EXPECT_EQ(scan.Result().driver_version, "7.0");
}

TEST(SensorDriverScanMemory, TakesStorageOnlyAsTextsNeedIt) {
  EXPECT_EQ(SensorDriverScan{}.RetainedBytes(), 4 * std::string().capacity());
  // A long sensor, then the longest there can be (near and far text of the kept length each),
  // against the same bytes whose first marker is misspelt: growing takes no more storage than
  // the longest sensor needs, at most one byte more than the second alone.
  const std::size_t kept = SensorDriverScan::kKeptTextLength;
  const std::string longest = "\0"s + std::string(kept, 'f') + "\0"s + std::string(kept, 'n');
  const std::string first =
      "\0"s + std::string(kept * 3 / 5, 'f') + "\0"s + std::string(kept * 3 / 5, 'n');
  std::size_t retained[2];
  for (const bool misspelt : {false, true}) {
    SensorDriverScan scan;
    scan.Feed(first + (misspelt ? "\0%s - Versi0n %s"s : kVersionMarker));
    scan.Feed(longest + kVersionMarker + "\0"s);
    retained[misspelt] = scan.RetainedBytes();
  }
  EXPECT_LE(retained[false], retained[true] + 1);
}

class SensorDriverFile : public ::testing::Test {
 protected:
  std::filesystem::path DriverPath() const { return dir_ / "ROBOTER/DRIVERS/zt_ascii.o"; }

  testing::TempDir dir_;
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
  std::string install_dir_ = dir_.path().string();
};

TEST_F(SensorDriverFile, ReadsTheDriverBelowTheInstallDir) {
  testing::WriteBytes(DriverPath(), Filler(200000) + kWorkedExample + Filler(70000));
  ExpectSame(ReadSensorInfo(*files_, install_dir_), {"SENSOR-A_2.0", "1.3b"});
}

TEST_F(SensorDriverFile, MissingFileGivesNothingAndCreatesNothing) {
  std::filesystem::create_directories(DriverPath().parent_path());
  ExpectSame(ReadSensorInfo(*files_, install_dir_), {"", std::nullopt});
  EXPECT_FALSE(std::filesystem::exists(DriverPath()));
}

TEST_F(SensorDriverFile, MissingFolderGivesNothingAndCreatesNothing) {
  ExpectSame(ReadSensorInfo(*files_, install_dir_), {"", std::nullopt});
  EXPECT_FALSE(std::filesystem::exists(dir_ / "ROBOTER"));
}

TEST_F(SensorDriverFile, EmptyFileGivesNothingAndStaysEmpty) {
  testing::WriteBytes(DriverPath(), "");
  ExpectSame(ReadSensorInfo(*files_, install_dir_), {"", std::nullopt});
  EXPECT_EQ(std::filesystem::file_size(DriverPath()), 0u);
}

TEST_F(SensorDriverFile, UnreadableFileIsAnError) {
  // A folder in the file's place opens but cannot be read.
  std::filesystem::create_directories(DriverPath());
  EXPECT_THROW(ReadSensorInfo(*files_, install_dir_), Error);
}

TEST(SampleDriver, GivesTheSampleSensorAndVersion) {
  const std::string content =
      testing::ReadBytes(testing::SourceDir() / "examples/ROBOTER/DRIVERS/zt_ascii.o");
  ExpectSame(ScanSensorDriver(content), {"SENSOR-A_2.0", "1.3b"});
}

}  // namespace
}  // namespace ordex
