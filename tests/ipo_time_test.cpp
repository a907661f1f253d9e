#include "collectors/ipo_time.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "platform/file_access.h"
#include "test_helpers.h"

namespace ordex {
namespace {

struct IpoCase {
  const char* name;
  std::string ini;
  std::string expected;
};

class IpoTimeResult : public ::testing::TestWithParam<IpoCase> {};

TEST_P(IpoTimeResult, IsProductOfTheTwoEntriesOverOneThousand) {
  EXPECT_EQ(IpoTimeFromText(GetParam().ini, '.'), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IpoTimeResult,
    ::testing::Values(
        IpoCase{"WorkedExample", "system clock=2000\r\nlayer2=6\r\n", "12"},
        IpoCase{"Fraction", "system clock=250\r\nlayer2=1\r\n", "0.25"},
        // Its CR must not stay in the value: "6\r" would not be a number.
        IpoCase{"Layer2First", "layer2=6\r\nsystem clock=2000\r\n", "12"},
        IpoCase{"OnlyClock", "system clock=2000\r\n", "0"},
        IpoCase{"OnlyLayer2", "layer2=6\r\n", "0"},
        IpoCase{"Neither", "[IPO]\r\ncycle=12\r\n", "0"}, IpoCase{"EmptyFile", "", "0"},
        IpoCase{"OtherCaseNotRecognised", "System Clock=2000\r\nlayer2=6\r\n", "0"},
        IpoCase{"UpperCaseLayer2NotRecognised", "system clock=2000\r\nLAYER2=6\r\n", "0"},
        IpoCase{"LeadingSpaces", "   system clock=2000\r\n  layer2=6\r\n", "12"},
        IpoCase{"SpacesAroundValue", "system clock =  2000  \r\nlayer2= 6\r\n", "12"},
        IpoCase{"PrefixIsEnough", "system clock rate=2000\r\nlayer20=6\r\n", "12"},
        IpoCase{"SectionsAndOtherEntries",
                "[HARDWARE]\r\nboard=X3\r\n[TIMING]\r\nsystem clock=2000\r\nlayer1=3\r\n"
                "layer2=6\r\n",
                "12"},
        IpoCase{"ZeroDoesNotStopTheScan", "system clock=0\r\nlayer2=6\r\nsystem clock=2000\r\n",
                "12"},
        IpoCase{"LaterLineOverwritesWhileScanGoesOn",
                "system clock=1000\r\nsystem clock=2000\r\nlayer2=6\r\n", "12"},
        IpoCase{"ScanStopsOnceBothAreNonZero",
                "system clock=2000\r\nlayer2=6\r\nlayer2=7\r\nsystem clock=abc\r\n", "12"},
        IpoCase{"ProductBeyond16Bit", "system clock=200\r\nlayer2=200\r\n", "40"},
        IpoCase{"LoneLineFeeds", "system clock=2000\nlayer2=6\n", "12"},
        IpoCase{"MixedLineEnds", "system clock=2000\r\nlayer2=6", "12"},
        IpoCase{"LoneCarriageReturns", "[T]\rsystem clock=2000\rlayer2=6\r", "12"},
        IpoCase{"CrCrLf", "system clock=2000\r\r\nlayer2=6\r\r\n", "12"},
        IpoCase{"FractionRoundsHalfToEvenDown", "system clock=2.5\r\nlayer2=1000\r\n", "2"},
        IpoCase{"FractionRoundsHalfToEvenUp", "system clock=3.5\r\nlayer2=1000\r\n", "4"},
        IpoCase{"FractionAboveHalf", "system clock=2.51\r\nlayer2=1000\r\n", "3"},
        IpoCase{"FractionBarelyAboveHalf",
                "system clock=2.5000000000000000000001\r\nlayer2=1000\r\n", "3"},
        IpoCase{"FractionBelowHalf", "system clock=2.49\r\nlayer2=1000\r\n", "2"},
        IpoCase{"HalfRoundsToZero", "system clock=0.5\r\nlayer2=6\r\nsystem clock=1\r\n", "0.006"},
        IpoCase{"FractionBelowOneRoundsUp", "system clock=0.6\r\nlayer2=1000\r\n", "1"},
        IpoCase{"HundredthRoundsToZero", "system clock=0.05\r\nlayer2=6\r\nsystem clock=0.05e2\r\n",
                "0.03"},
        IpoCase{"NegativeHalf", "system clock=-2.5\r\nlayer2=1000\r\n", "-2"},
        IpoCase{"Signs", "system clock=+2000\r\nlayer2=-6\r\n", "-12"},
        IpoCase{"Exponent", "system clock=2e3\r\nlayer2=6.0E0\r\n", "12"},
        IpoCase{"NegativeExponent", "system clock=20000e-1\r\nlayer2=.6e1\r\n", "12"},
        IpoCase{"HugeNegativeExponentIsZero",
                "system clock=5e-99999999999999999999\r\nlayer2=6\r\n", "0"},
        IpoCase{"LargestValues", "system clock=2147483647\r\nlayer2=1\r\n", "2147483.647"},
        IpoCase{"SmallestValues", "system clock=-2147483648\r\nlayer2=1\r\n", "-2147483.648"},
        IpoCase{"ManyLeadingZeros", "system clock=0000000000002000.000\r\nlayer2=6\r\n", "12"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IpoTime, UsesTheSystemDecimalSeparator) {
  EXPECT_EQ(IpoTimeFromText("system clock=250\r\nlayer2=1\r\n", ','), "0,25");
  EXPECT_EQ(IpoTimeFromText("system clock=2000\r\nlayer2=6\r\n", ','), "12");
}

struct IpoErrorCase {
  const char* name;
  std::string ini;
  std::string message;
};

class IpoTimeError : public ::testing::TestWithParam<IpoErrorCase> {};

TEST_P(IpoTimeError, NamesTheLineAndTheCause) {
  EXPECT_EQ(testing::MessageOf([] { IpoTimeFromText(GetParam().ini, '.'); }), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IpoTimeError,
    ::testing::Values(
        IpoErrorCase{"NotANumber", "[T]\r\nlayer2=6\r\nsystem clock=abc\r\n",
                     "hw_inf.ini:3: 'abc' is not a number"},
        IpoErrorCase{"EmptyValue", "system clock=\r\n", "hw_inf.ini:1: '' is not a number"},
        IpoErrorCase{"OnlySpaces", "layer2=   \r\n", "hw_inf.ini:1: '' is not a number"},
        IpoErrorCase{"NoEqualsSign", "system clock 2000\r\n",
                     "hw_inf.ini:1: 'system clock 2000' is not a number"},
        IpoErrorCase{"TrailingComment", "layer2=6 ;ms\r\n",
                     "hw_inf.ini:1: '6 ;ms' is not a number"},
        IpoErrorCase{"CommaAsSeparator", "layer2=1,5\r\n", "hw_inf.ini:1: '1,5' is not a number"},
        IpoErrorCase{"Tab", "layer2=\t6\r\n", "hw_inf.ini:1: '\\t6' is not a number"},
        IpoErrorCase{"ControlBytesEscaped", "layer2=\x1b[2J\a6\x7f\r\n",
                     "hw_inf.ini:1: '\\x1b[2J\\x076\\x7f' is not a number"},
        IpoErrorCase{"NulDoesNotCutTheMessage", std::string("layer2=6\0x\r\n", 12),
                     "hw_inf.ini:1: '6\\x00x' is not a number"},
        IpoErrorCase{"LineCountedAfterCrCrLf", "layer2=6\r\r\nsystem clock=x\r",
                     "hw_inf.ini:3: 'x' is not a number"},
        IpoErrorCase{
            "MegabyteValueQuotedShort", "layer2=" + std::string(1 << 20, '7') + "x",
            "hw_inf.ini:1: '" + std::string(100, '7') + "...' (1048577 bytes) is not a number"},
        IpoErrorCase{"Infinity", "layer2=inf\r\n", "hw_inf.ini:1: 'inf' is not a number"},
        IpoErrorCase{"HexNotTaken", "layer2=0x10\r\n", "hw_inf.ini:1: '0x10' is not a number"},
        IpoErrorCase{"BareSign", "layer2=-\r\n", "hw_inf.ini:1: '-' is not a number"},
        IpoErrorCase{"BarePoint", "layer2=.\r\n", "hw_inf.ini:1: '.' is not a number"},
        IpoErrorCase{"ExponentWithoutDigits", "layer2=1e\r\n",
                     "hw_inf.ini:1: '1e' is not a number"},
        IpoErrorCase{"SpaceInsideNumber", "layer2=1 000\r\n",
                     "hw_inf.ini:1: '1 000' is not a number"},
        IpoErrorCase{"ValueAbove32Bit", "\r\nsystem clock=2147483648\r\n",
                     "hw_inf.ini:2: '2147483648' is outside the 32-bit range"},
        IpoErrorCase{"ValueBelow32Bit", "system clock=-2147483649\r\n",
                     "hw_inf.ini:1: '-2147483649' is outside the 32-bit range"},
        IpoErrorCase{"RoundedIntoOverflow", "system clock=2147483647.5\r\n",
                     "hw_inf.ini:1: '2147483647.5' is outside the 32-bit range"},
        IpoErrorCase{"HugeExponent", "layer2=1e99999999999999999999\r\n",
                     "hw_inf.ini:1: '1e99999999999999999999' is outside the 32-bit range"},
        IpoErrorCase{"ProductOverflow", "system clock=70000\r\nlayer2=70000\r\n",
                     "hw_inf.ini:2: system clock 70000 times layer2 70000 is outside the 32-bit "
                     "range"},
        IpoErrorCase{"NegativeProductOverflow", "layer2=-2\r\nsystem clock=1073741825\r\n",
                     "hw_inf.ini:2: system clock 1073741825 times layer2 -2 is outside the "
                     "32-bit range"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IpoTime, SmallestProductIsNoOverflow) {
  EXPECT_EQ(IpoTimeFromText("layer2=-2\r\nsystem clock=1073741824\r\n", '.'), "-2147483.648");
}

class IpoTimeFile : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
  std::string install_dir_ = dir_.path().string();
};

TEST_F(IpoTimeFile, ReadsTheHardwareIniBelowTheInstallDir) {
  testing::WriteBytes(dir_ / "ROBOTER/INIT/hw_inf.ini",
                      "[SYSTEM]\r\nsystem clock=250\r\nlayer2=1\r\n");
  EXPECT_EQ(ReadIpoTime(*files_, install_dir_, ','), "0,25");
}

TEST_F(IpoTimeFile, MissingFileIsAnErrorNamingIt) {
  const std::string path = files_->NativePath(install_dir_ + "\\ROBOTER\\INIT\\hw_inf.ini");
  // The cause after the colon is the system's own text.
  EXPECT_THAT(testing::MessageOf([&] { ReadIpoTime(*files_, install_dir_, '.'); }),
              ::testing::StartsWith("cannot open " + path + ": "));
}

TEST_F(IpoTimeFile, ErrorsNameThePathAndLine) {
  testing::WriteBytes(dir_ / "ROBOTER/INIT/hw_inf.ini",
                      "[SYSTEM]\r\nlayer2=6\r\nsystem clock=x\r\n");
  const std::string path = files_->NativePath(install_dir_ + "\\ROBOTER\\INIT\\hw_inf.ini");
  EXPECT_EQ(testing::MessageOf([&] { ReadIpoTime(*files_, install_dir_, '.'); }),
            path + ":3: 'x' is not a number");
}

}  // namespace
}  // namespace ordex
