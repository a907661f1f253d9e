#include "registry/reg_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/codepage.h"
#include "core/error.h"
#include "test_helpers.h"

namespace ordex {
namespace {

constexpr RootKey kHklm = HKEY_LOCAL_MACHINE_ROOT;
constexpr RootKey kHkcu = 0x80000001u;
constexpr std::string_view kSettings = "SOFTWARE\\Vendor\\ORDEX";

using testing::Utf16;

RegStore ParseText(std::string_view bytes) { return RegStore::Parse(bytes, "store.reg"); }

std::string ErrorOf(std::string_view bytes) {
  return testing::MessageOf([&] { ParseText(bytes); });
}

struct DwordRead {
  bool ok;
  std::int32_t value;
};

DwordRead Dword(const RegStore& store, std::string_view key, std::string_view name,
                RootKey root = kHklm) {
  std::int32_t value = -77;
  const bool ok = store.ReadDword(root, key, name, value);
  return {ok, value};
}

std::string String(const RegStore& store, std::string_view key, std::string_view name) {
  std::string value = "<untouched>";
  store.ReadString(kHklm, key, name, value);
  return value;
}

// ---- Headers and encodings ----------------------------------------------------------------

struct EncodingCase {
  const char* label;
  std::string bytes;
  RegStore::Encoding encoding;

  friend void PrintTo(const EncodingCase& c, std::ostream* out) { *out << c.label; }
};

class RegStoreEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(RegStoreEncoding, ReadsValuesAndKeepsEveryByte) {
  const RegStore store = ParseText(GetParam().bytes);
  EXPECT_EQ(store.encoding(), GetParam().encoding);
  EXPECT_EQ(String(store, "SOFTWARE\\Vendor\\Version", "InstallationDir"), "C:\\XOC");
  EXPECT_EQ(String(store, "SOFTWARE\\Vendor\\Version", "Owner"), "J\xE4ger \x80");
  EXPECT_EQ(Dword(store, kSettings, "TimerInterval").value, 0x2710);
  EXPECT_EQ(store.Serialize(), GetParam().bytes);
}

const std::string kSample =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Version]\r\n"
    "\"InstallationDir\"=\"C:\\\\XOC\"\r\n"
    "\"Owner\"=\"J\xE4ger \x80\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\ORDEX]\r\n"
    "\"TimerInterval\"=dword:00002710\r\n"
    "\r\n";

INSTANTIATE_TEST_SUITE_P(
    Headers, RegStoreEncoding,
    ::testing::Values(
        EncodingCase{"Regedit4Ansi", "REGEDIT4\r\n\r\n" + kSample, RegStore::Encoding::kAnsi},
        EncodingCase{"Version5Utf16",
                     Utf16("Windows Registry Editor Version 5.00\r\n\r\n" + kSample),
                     RegStore::Encoding::kUtf16Le},
        EncodingCase{"Regedit4Utf16", Utf16("REGEDIT4\r\n\r\n" + kSample),
                     RegStore::Encoding::kUtf16Le},
        EncodingCase{"Version5Utf8WithoutBom",
                     Cp1252ToUtf8("Windows Registry Editor Version 5.00\r\n\r\n" + kSample),
                     RegStore::Encoding::kUtf8}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegStore, Utf16CharactersOutsideTheCodePageReadAsQuestionMarks) {
  // U+4E2D and U+1F600 (a surrogate pair) in a string value.
  const std::string bytes =
      Utf16("Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"s\"=\"a") +
      std::string("\x2D\x4E\x3D\xD8\x00\xDE", 6) + Cp1252ToUtf16Le("b\"\r\n");
  const RegStore store = ParseText(bytes);
  EXPECT_EQ(String(store, "K", "s"), "a??b");
  EXPECT_EQ(store.Serialize(), bytes);
}

TEST(RegStore, EmptyFileIsAnEmptyRegistry) {
  const RegStore store = ParseText("");
  EXPECT_FALSE(Dword(store, kSettings, "TimerInterval").ok);
}

// ---- Syntax that reads --------------------------------------------------------------------

TEST(RegStore, EscapesInNamesAndStrings) {
  const RegStore store = ParseText(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n"
      "\"path\"=\"C:\\\\XOC\\\\\"\n"
      "\"quote\"=\"say \\\"hi\\\"\"\n"
      "\"na\\\"me\\\\x\"=\"odd name\"\n"
      "\"semi\"=\"a;b\" ; comment\n"
      "\"empty\"=\"\"\n");
  EXPECT_EQ(String(store, "K", "path"), "C:\\XOC\\");
  EXPECT_EQ(String(store, "K", "quote"), "say \"hi\"");
  EXPECT_EQ(String(store, "K", "na\"me\\x"), "odd name");
  EXPECT_EQ(String(store, "K", "semi"), "a;b");
  EXPECT_EQ(String(store, "K", "empty"), "");
}

TEST(RegStore, KeyAndValueNamesCompareWithoutCase) {
  const RegStore store =
      ParseText("REGEDIT4\n[hkey_local_machine\\Software\\J\xE4ger]\n\"TimerInterval\"=dword:5\n");
  EXPECT_EQ(Dword(store, "SOFTWARE\\J\xC4GER", "timerinterval").value, 5);
  EXPECT_EQ(Dword(store, "software\\j\xE4ger", "TIMERINTERVAL").value, 5);
  EXPECT_FALSE(Dword(store, "SOFTWARE\\Jager", "TimerInterval").ok);
  EXPECT_FALSE(Dword(store, "SOFTWARE", "TimerInterval").ok);
}

TEST(RegStore, DwordDigitsOfEitherCase) {
  const RegStore store = ParseText(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:1\n\"b\"=dword:FFFFFFFF\n"
      "\"c\"=dword:7fffFFFF\n\"d\"=dword:00000000\n");
  EXPECT_EQ(Dword(store, "K", "a").value, 1);
  EXPECT_EQ(Dword(store, "K", "b").value, -1);
  EXPECT_EQ(Dword(store, "K", "c").value, 0x7FFFFFFF);
  EXPECT_TRUE(Dword(store, "K", "d").ok);
}

TEST(RegStore, WrongTypeReadsAsMissingAndLeavesTheValue) {
  const RegStore store = ParseText(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"text\"=\"five\"\n\"number\"=dword:5\n"
      "\"binary\"=hex:05,00,00,00\n\"multi\"=hex(7):41,00,00\n");
  EXPECT_FALSE(Dword(store, "K", "text").ok);
  EXPECT_EQ(Dword(store, "K", "text").value, -77);
  EXPECT_FALSE(Dword(store, "K", "binary").ok);
  EXPECT_FALSE(Dword(store, "K", "multi").ok);
  EXPECT_EQ(String(store, "K", "number"), "<untouched>");
  EXPECT_EQ(String(store, "K", "binary"), "<untouched>");
  EXPECT_EQ(String(store, "K", "multi"), "<untouched>");
}

// Text as hex bytes: UTF-16LE after a version 5 header, 8-bit after REGEDIT4.
std::string HexData(std::string_view bytes) {
  std::string data;
  for (const char c : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x,", static_cast<unsigned char>(c));
    data += pair;
  }
  if (!data.empty()) data.pop_back();
  return data;
}

std::string Utf16Hex(std::string_view cp1252_text) {
  return HexData(Cp1252ToUtf16Le(cp1252_text) + std::string(2, '\0'));
}

struct TypedCase {
  const char* label;
  std::string data;                 // after "v"=
  std::optional<std::string> text;  // as ReadString gives it
  bool lost;
  std::optional<std::int32_t> dword;
};

// PATH is set wherever the tests run, so that expansion is tested without changing the
// environment (the portable tests have no portable way to set it).
std::string PathVariable() { return Utf8ToCp1252(std::getenv("PATH")); }

TEST(RegStore, ValuesReadAsTheRegistryHoldsThemAfterAnImport) {
  const std::string path = PathVariable();
  const std::string qword_10000 = "hex(b):10,27,00,00,00,00,00,00";
  const TypedCase cases[] = {
      {"Expanded", "hex(2):" + Utf16Hex("%PATH%\\XOC2"), path + "\\XOC2", false, {}},
      {"ExpandedOverLines",
       "hex(2):" + Utf16Hex("%PATH%\\").insert(12, "\\\r\n  "),
       path + "\\",
       false,
       {}},
      {"UnsetNameStays",
       "hex(2):" + Utf16Hex("%ORDEX_TEST_UNSET%\\%PATH%"),
       "%ORDEX_TEST_UNSET%\\" + path,
       false,
       {}},
      {"LonePercent", "hex(2):" + Utf16Hex("100% %"), "100% %", false, {}},
      {"ForeignCharacter",
       "hex(2):" + HexData(std::string("X\0\x4C\x01?\0\0\0", 8)),
       "X??",
       true,
       {}},
      {"EndsAtNul", "hex(1):" + Utf16Hex("5") + ",41,00", "5", false, 5},
      {"QuotedNumber", "\"1\"", "1", false, 1},
      {"QuotedNotANumber", "\"1 s\"", "1 s", false, {}},
      {"Qword", qword_10000, {}, false, 10000},
      {"QwordMinusOne", "hex(b):ff,ff,ff,ff,ff,ff,ff,ff", {}, false, -1},
      {"QwordBeyond32Bits", "hex(b):00,00,00,00,01,00,00,00", {}, false, {}},
      {"QwordShort", "hex(b):10,27,00,00", {}, false, {}},
      {"DwordAsHex", "hex(4):10,27,00,00", {}, false, 10000},
      {"DwordAsHexShort", "hex(4):10,27", {}, false, {}},
  };
  for (const TypedCase& c : cases) {
    SCOPED_TRACE(c.label);
    const RegStore store = ParseText(
        "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=" + c.data +
        "\r\n");
    std::string text = "<untouched>";
    bool lost = !c.lost;
    EXPECT_EQ(store.ReadString(kHklm, "K", "v", text, lost), c.text.has_value());
    EXPECT_EQ(text, c.text.value_or("<untouched>"));
    EXPECT_EQ(lost, c.lost);
    const DwordRead dword = Dword(store, "K", "v");
    EXPECT_EQ(dword.ok ? std::optional(dword.value) : std::nullopt, c.dword);
  }
}

TEST(RegStore, ExpandableTextOfARegedit4FileIsEightBit) {
  const RegStore store = ParseText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=hex(2):" +
                                   HexData(std::string("%PATH%\\J\xE4ger\0", 13)) + "\n");
  EXPECT_EQ(String(store, "K", "v"), PathVariable() + "\\J\xE4ger");
}

TEST(RegStore, QuotedTextTellsWhenACharacterWasLost) {
  const struct {
    std::string bytes;
    const char* text;
    bool lost;
  } cases[] = {
      {"Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"C:\\\\X\xC5\x8C"
       "C\"\n",
       "C:\\X?C", true},
      {"Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"J\xC3\xA4ger?\"\n",
       "J\xE4ger?", false},
      {Utf16("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=\"X") + std::string("\x4C\x01", 2) +
           Cp1252ToUtf16Le("\"\r\n"),
       "X?", true},
  };
  for (const auto& c : cases) {
    const RegStore store = ParseText(c.bytes);
    std::string text;
    bool lost = !c.lost;
    EXPECT_TRUE(store.ReadString(kHklm, "K", "v", text, lost));
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(lost, c.lost);
  }
}

TEST(RegStore, OnlyTheAskedRootAnswers) {
  const RegStore store = ParseText(
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=dword:1\n[HKEY_USERS\\K]\n\"b\"=dword:2\n");
  EXPECT_FALSE(Dword(store, "K", "a").ok);
  EXPECT_TRUE(Dword(store, "K", "a", kHkcu).ok);
  EXPECT_FALSE(Dword(store, "K", "b").ok);
}

TEST(RegStore, DefaultValueBlanksAroundEqualsAndComments) {
  const RegStore store = ParseText(
      "REGEDIT4\n; a comment\n  ; an indented comment\n[HKEY_LOCAL_MACHINE\\K] ; key comment\n"
      "@=\"default\"\n\"a\" = dword:1;comment\n\t\"b\"\t=\t\"x\"\t\n\n[HKEY_LOCAL_MACHINE\\L]\n"
      "\"\"=dword:2\n");
  EXPECT_EQ(String(store, "K", ""), "default");
  EXPECT_EQ(Dword(store, "K", "a").value, 1);
  EXPECT_EQ(String(store, "K", "b"), "x");
  EXPECT_EQ(Dword(store, "L", "").value, 2);
}

TEST(RegStore, KeyNameEndsAtTheLastBracket) {
  const RegStore store = ParseText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\a]b]\n\"v\"=dword:1\n");
  EXPECT_TRUE(Dword(store, "a]b", "v").ok);
}

struct LineEndCase {
  const char* label;
  const char* bytes;

  friend void PrintTo(const LineEndCase& c, std::ostream* out) { *out << c.label; }
};

class RegStoreLineEnds : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(RegStoreLineEnds, AllReadTheSame) {
  const RegStore store = ParseText(GetParam().bytes);
  EXPECT_EQ(Dword(store, "K", "a").value, 1);
  EXPECT_EQ(Dword(store, "K", "b").value, 2);
  EXPECT_EQ(store.Serialize(), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, RegStoreLineEnds,
    ::testing::Values(
        LineEndCase{"CrLf",
                    "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=dword:1\r\n\"b\"=dword:2\r\n"},
        LineEndCase{"Lf", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:1\n\"b\"=dword:2\n"},
        LineEndCase{"Cr", "REGEDIT4\r[HKEY_LOCAL_MACHINE\\K]\r\"a\"=dword:1\r\"b\"=dword:2\r"},
        LineEndCase{"Mixed",
                    "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\"a\"=dword:1\n\r\n\"b\"=dword:2"},
        LineEndCase{"NoFinalNewline",
                    "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=dword:1\r\n\"b\"=dword:2"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegStore, HexValuesContinueOverLines) {
  const RegStore store = ParseText(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n"
      "\"bin\"=hex:01,02,\\\n  03,04,\\\n  05\n"
      "\"multi\"=hex(7):41,00,00,\\\n"
      "  00 ; a comment ends it\n"
      "\"after\"=dword:9\n");
  EXPECT_FALSE(Dword(store, "K", "bin").ok);
  EXPECT_EQ(Dword(store, "K", "after").value, 9);
}

// ---- Import order -------------------------------------------------------------------------

TEST(RegStore, LaterLinesOverrideEarlierOnes) {
  const RegStore store = ParseText(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:1\n\"b\"=dword:1\n\"c\"=dword:1\n"
      "[HKEY_LOCAL_MACHINE\\k]\n\"A\"=dword:2\n\"b\"=-\n\"c\"=\"now text\"\n");
  EXPECT_EQ(Dword(store, "K", "a").value, 2);
  EXPECT_FALSE(Dword(store, "K", "b").ok);
  EXPECT_FALSE(Dword(store, "K", "c").ok);
  EXPECT_EQ(String(store, "K", "c"), "now text");
}

TEST(RegStore, KeyDeletionRemovesTheTreeOnly) {
  const RegStore store = ParseText(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:1\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=dword:2\n"
      "[HKEY_LOCAL_MACHINE\\AB]\n\"v\"=dword:3\n"
      "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:4\n"
      "[-hkey_local_machine\\a]\n"
      "[HKEY_LOCAL_MACHINE\\A\\C]\n\"v\"=dword:5\n");
  EXPECT_FALSE(Dword(store, "A", "v").ok);
  EXPECT_FALSE(Dword(store, "A\\B", "v").ok);
  EXPECT_EQ(Dword(store, "AB", "v").value, 3);
  EXPECT_EQ(Dword(store, "A", "v", kHkcu).value, 4);
  EXPECT_EQ(Dword(store, "A\\C", "v").value, 5);
}

// ---- What regedit would not import --------------------------------------------------------

struct MalformedCase {
  const char* label;
  std::string bytes;
  std::string message;  // whole: what it says is what a technician reads

  friend void PrintTo(const MalformedCase& c, std::ostream* out) { *out << c.label; }
};

class RegStoreMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(RegStoreMalformed, ErrorNamesFileAndLine) {
  EXPECT_EQ(ErrorOf(GetParam().bytes), GetParam().message);
}

const std::string kKeyLine = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n";
const std::string kNotRegedit =
    "store.reg:1: not a regedit export file: the first line must be \"Windows Registry Editor "
    "Version 5.00\" or \"REGEDIT4\"";

INSTANTIATE_TEST_SUITE_P(
    Files, RegStoreMalformed,
    ::testing::Values(
        MalformedCase{"NoHeader", "[HKEY_LOCAL_MACHINE\\K]\r\n", kNotRegedit},
        MalformedCase{"HeaderCase", "regedit4\r\n", kNotRegedit},
        MalformedCase{"HeaderTextAfter", "REGEDIT4 x\r\n", kNotRegedit},
        MalformedCase{"Utf8BomRegedit4", "\xEF\xBB\xBFREGEDIT4\r\n", kNotRegedit},
        MalformedCase{"Utf8BomOnly", "\xEF\xBB\xBF", kNotRegedit},
        MalformedCase{"Utf16WithoutBom", Cp1252ToUtf16Le("REGEDIT4\r\n"), kNotRegedit},
        MalformedCase{"Utf16BomOnly", "\xFF\xFE", kNotRegedit},
        MalformedCase{"Utf16OddLength", Utf16("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]") + "x",
                      "store.reg:2: UTF-16 text ends in the middle of a character"},
        MalformedCase{"AbbreviatedRoot", "REGEDIT4\r\n[HKLM\\K]\r\n",
                      "store.reg:2: unknown root key \"HKLM\""},
        MalformedCase{"EmptyRoot", "REGEDIT4\r\n[\\K]\r\n", "store.reg:2: unknown root key \"\""},
        MalformedCase{"RootWithControlBytes", "REGEDIT4\r\n[HK\x1bLM\x7f\\K]\r\n",
                      "store.reg:2: unknown root key \"HK\\x1bLM\\x7f\""},
        MalformedCase{"NoClosingBracket", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K\r\n",
                      "store.reg:2: key name without closing ']'"},
        MalformedCase{"TextAfterKey", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K] x\r\n",
                      "store.reg:2: unexpected text after the key name"},
        MalformedCase{"ValueOutsideKey", "REGEDIT4\r\n\"a\"=dword:1\r\n",
                      "store.reg:2: value outside of a key"},
        MalformedCase{"ValueAfterDeletedKey",
                      "REGEDIT4\r\n[-HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=dword:1\r\n",
                      "store.reg:3: value outside of a key"},
        MalformedCase{"IndentedBrokenKey", kKeyLine + "  [HKEY_LOCAL_MACHINE\\L\r\n",
                      "store.reg:4: key name without closing ']'"},
        MalformedCase{"MissingEquals", kKeyLine + "\"a\" dword:1\r\n",
                      "store.reg:4: missing '=' after the value name"},
        MalformedCase{"DwordWithPrefix", kKeyLine + "\"a\"=dword:0x1\r\n",
                      "store.reg:4: unexpected text after the value"},
        MalformedCase{"DwordNineDigits", kKeyLine + "\"a\"=dword:000000001\r\n",
                      "store.reg:4: dword: needs 1 to 8 hexadecimal digits"},
        MalformedCase{"DwordNoDigits", kKeyLine + "\"a\"=dword:\r\n",
                      "store.reg:4: dword: needs 1 to 8 hexadecimal digits"},
        MalformedCase{"DwordInnerBlank", kKeyLine + "\"a\"=dword:0000 0001\r\n",
                      "store.reg:4: unexpected text after the value"},
        MalformedCase{"DwordUpperCase", kKeyLine + "\"a\"=DWORD:1\r\n",
                      "store.reg:4: unknown value type"},
        MalformedCase{"Qword", kKeyLine + "\"a\"=qword:1\r\n", "store.reg:4: unknown value type"},
        MalformedCase{"BareNumber", kKeyLine + "\"a\"=5\r\n", "store.reg:4: unknown value type"},
        MalformedCase{"UnterminatedString", kKeyLine + "\"a\"=\"text\r\n\"\r\n",
                      "store.reg:4: quoted text without closing '\"'"},
        MalformedCase{"UnterminatedName", kKeyLine + "\"a=dword:1\r\n",
                      "store.reg:4: quoted text without closing '\"'"},
        MalformedCase{"UnknownEscape", kKeyLine + "\"a\"=\"C:\\XOC\"\r\n",
                      "store.reg:4: invalid escape in quoted text: only \\\\ and \\\" are allowed"},
        MalformedCase{"TextAfterString", kKeyLine + "\"a\"=\"x\" y\r\n",
                      "store.reg:4: unexpected text after the value"},
        MalformedCase{"BadHex", kKeyLine + "\"a\"=hex:01,0g\r\n",
                      "store.reg:4: invalid character in a hex value"},
        MalformedCase{"BadHexContinuation", kKeyLine + "\"a\"=hex:01,\\\r\n  zz\r\n",
                      "store.reg:5: invalid character in a hex value"},
        MalformedCase{"TextAfterHexContinuation", kKeyLine + "\"a\"=hex:01,\\ 02\r\n",
                      "store.reg:4: text after the '\\' that continues a hex value"},
        MalformedCase{"BadValueDeletion", kKeyLine + "\"a\"=-1\r\n",
                      "store.reg:4: unexpected text after the value deletion"},
        MalformedCase{"CrOnlyLines", "REGEDIT4\r[HKEY_LOCAL_MACHINE\\K]\r\r\"a\"=dword:1\r@junk",
                      "store.reg:5: missing '=' after the value name"}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- What regedit imports although it is not strictly a key, value or comment --------------

struct LenientCase {
  const char* label;
  std::string bytes;  // each holds [HKEY_LOCAL_MACHINE\K] "a"=dword:1
  bool utf16;
};

class RegStoreLenient : public ::testing::TestWithParam<LenientCase> {};

TEST_P(RegStoreLenient, ReadsAndWritesBackEveryOtherByte) {
  const auto encode = [&](std::string_view text) {
    return GetParam().utf16 ? Cp1252ToUtf16Le(text) : std::string(text);
  };
  RegStore store = ParseText(GetParam().bytes);
  EXPECT_EQ(Dword(store, "K", "a").value, 1);
  EXPECT_EQ(store.Serialize(), GetParam().bytes);
  store.WriteDword(kHklm, "K", "a", 7);
  std::string expected = GetParam().bytes;
  expected.replace(expected.find(encode("dword:1")), encode("dword:1").size(),
                   encode("dword:00000007"));
  EXPECT_EQ(store.Serialize(), expected);
}

const std::string kKeyAndValue = "[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=dword:1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Files, RegStoreLenient,
    ::testing::Values(
        LenientCase{"HeaderTrailingBlanks", "REGEDIT4 \t \r\n" + kKeyAndValue, false},
        LenientCase{"HeaderComment",
                    "Windows Registry Editor Version 5.00 ; J\xC3\xA4ger\r\n" + kKeyAndValue,
                    false},
        LenientCase{"Utf8WithBom",
                    "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n" + kKeyAndValue +
                        "\"s\"=\"J\xC3\xA4ger\"\r\n",
                    false},
        LenientCase{
            "HashNotes",
            "REGEDIT4\r\n# exported by hand\r\n[HKEY_LOCAL_MACHINE\\K]\r\n  #\"a\"=dword:2\r\n"
            "\"a\"=dword:1\r\n",
            false},
        LenientCase{"StrayText", "REGEDIT4\r\nTimerInterval=5\r\n" + kKeyAndValue + "-\r\n", false},
        LenientCase{"CtrlZAtTheEnd", "REGEDIT4\r\n" + kKeyAndValue + "\x1A", false},
        LenientCase{"CrOnlyWithJunk", "REGEDIT4\r[HKEY_LOCAL_MACHINE\\K]\r\"a\"=dword:1\rjunk",
                    false},
        LenientCase{"Utf16HeaderCommentAndNotes",
                    Utf16("Windows Registry Editor Version 5.00\t; x\r\n# note\r\n" + kKeyAndValue +
                          "\x1A"),
                    true}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Writing ------------------------------------------------------------------------------

RegStore Written(std::string_view bytes, std::string_view key, std::string_view name,
                 std::int32_t value) {
  RegStore store = ParseText(bytes);
  store.WriteDword(kHklm, key, name, value);
  return store;
}

TEST(RegStoreWrite, MissingStoreBecomesARegeditExport) {
  RegStore store;
  store.WriteDword(kHklm, kSettings, "TimerInterval", 10000);
  store.WriteDword(kHklm, kSettings, "Visible", 0);
  EXPECT_EQ(store.Serialize(), Utf16("Windows Registry Editor Version 5.00\r\n"
                                     "\r\n"
                                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\ORDEX]\r\n"
                                     "\"TimerInterval\"=dword:00002710\r\n"
                                     "\"Visible\"=dword:00000000\r\n"
                                     "\r\n"));
  EXPECT_EQ(Dword(store, kSettings, "TimerInterval").value, 10000);
  EXPECT_EQ(Dword(store, kSettings, "Visible").value, 0);
}

// Each writes one dword into `before`; the store must read it back and serialize as `after`,
// and the value named `kept` (if any) must read as it did before the write.
struct WriteCase {
  const char* label;
  std::string before;
  std::string key;
  std::string name;
  std::int32_t value;
  std::string after;
  const char* kept = nullptr;

  friend void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.label; }
};

class RegStoreWrites : public ::testing::TestWithParam<WriteCase> {};

TEST_P(RegStoreWrites, ChangeOnlyWhatTheyMust) {
  const WriteCase& c = GetParam();
  const RegStore store = Written(c.before, c.key, c.name, c.value);
  EXPECT_EQ(store.Serialize(), c.after);
  EXPECT_EQ(Dword(store, c.key, c.name).value, c.value);
  if (c.kept)
    EXPECT_EQ(Dword(store, c.key, c.kept).value, Dword(ParseText(c.before), c.key, c.kept).value);
}

const std::string kHexBefore =
    "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n@=\"text\"\n\"bin\"=hex:01,\\\n  02,\\\n  03\n"
    "\"z\"=dword:1\n";
const std::string kHexReplaced =
    "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n@=\"text\"\n\"bin\"=dword:00000007\n\"z\"=dword:1\n";
const std::string kKeyDeletedLater =
    "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=dword:1\n[-HKEY_LOCAL_MACHINE\\A]\n\n";

INSTANTIATE_TEST_SUITE_P(
    RegStoreWrite, RegStoreWrites,
    ::testing::Values(
        // The file's name keeps its own case; the read asks in yet another case.
        WriteCase{"ReplacingAValueChangesOnlyItsData",
                  "REGEDIT4\r\n; keep me\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
                  "  \"TIMERinterval\" =  dword:5 ; period\r\n\"Other\"=\"x\"\r\n",
                  "K", "TimerInterval", -2,
                  "REGEDIT4\r\n; keep me\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
                  "  \"TIMERinterval\" =  dword:fffffffe ; period\r\n\"Other\"=\"x\"\r\n"},
        WriteCase{"ValueOfAnotherTypeBecomesADword", kHexBefore, "K", "bin", 7, kHexReplaced, "z"},
        WriteCase{"DefaultValueOfAnotherTypeBecomesADword", kHexReplaced, "K", "", 1,
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n@=dword:00000001\n\"bin\"=dword:00000007\n"
                  "\"z\"=dword:1\n"},
        WriteCase{"HexValueThatOverridesAnEarlierOneIsReplacedWhole",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"bin\"=dword:1\n\"z\"=dword:2\n"
                  "\"bin\"=hex:01,\\\n  02\n\"y\"=dword:3\n",
                  "K", "bin", 7,
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"bin\"=dword:1\n\"z\"=dword:2\n"
                  "\"bin\"=dword:00000007\n\"y\"=dword:3\n",
                  "z"},
        WriteCase{"NewValueGoesAtTheEndOfItsKeyBlock",
                  "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=dword:1\r\n\r\n; about L\r\n"
                  "[HKEY_LOCAL_MACHINE\\L]\r\n\"b\"=dword:2\r\n\r\n",
                  "k", "New \"one\" \\ here", 3,
                  "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=dword:1\r\n"
                  "\"New \\\"one\\\" \\\\ here\"=dword:00000003\r\n\r\n; about L\r\n"
                  "[HKEY_LOCAL_MACHINE\\L]\r\n\"b\"=dword:2\r\n\r\n"},
        WriteCase{"NewValueGoesIntoTheLastBlockOfItsKey",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:1\n[HKEY_LOCAL_MACHINE\\L]\n"
                  "[HKEY_LOCAL_MACHINE\\K]\n\"b\"=hex:00,\\\n 01\n\n",
                  "K", "c", 3,
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:1\n[HKEY_LOCAL_MACHINE\\L]\n"
                  "[HKEY_LOCAL_MACHINE\\K]\n\"b\"=hex:00,\\\n 01\n\"c\"=dword:00000003\n\n",
                  "a"},
        // The last line gets its line end; new lines take the file's own.
        WriteCase{"NewKeyGoesAtTheEndAfterABlankLine",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:1", std::string(kSettings),
                  "Visible", 1,
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:1\n\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\ORDEX]\n\"Visible\"=dword:00000001\n\n"},
        WriteCase{"KeyDeletedLaterInTheFileGetsANewBlock", kKeyDeletedLater, "A\\B", "v", 2,
                  kKeyDeletedLater + "[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=dword:00000002\n\n"},
        WriteCase{
            "ValueDeletedLaterInItsKeyIsAddedAfterTheDeletion",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:1\n\"v\"=-\n", "K", "v", 2,
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:1\n\"v\"=-\n\"v\"=dword:00000002\n"},
        WriteCase{"Utf8StoreStaysUtf8",
                  "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n", "K",
                  "J\xE4ger", 1,
                  "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n"
                  "\"J\xC3\xA4ger\"=dword:00000001\n"},
        WriteCase{"UnrelatedValueKeepsEveryOtherByte", "REGEDIT4\r\n\r\n" + kSample,
                  std::string(kSettings), "Visible", 0,
                  "REGEDIT4\r\n\r\n" + kSample.substr(0, kSample.size() - 2) +
                      "\"Visible\"=dword:00000000\r\n\r\n",
                  "TimerInterval"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegStoreWrite, NewKeyAfterALoneCrKeepsItsBlankLine) {
  // The last line continues a hex value and ends with a lone CR: the blank line written after
  // it must stay a line of its own, or the new key would read as more hex bytes.
  const RegStore store =
      Written("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"b\"=hex:01,\\\r", kSettings, "Visible", 1);
  const DwordRead visible = Dword(ParseText(store.Serialize()), kSettings, "Visible");
  EXPECT_TRUE(visible.ok);
  EXPECT_EQ(visible.value, 1);
}

TEST(RegStoreWrite, Utf16StoreStaysUtf16AndKeepsForeignCharacters) {
  // A value name with U+4E2D, which the program sees as '?'.
  const std::string before = Utf16(
                                 "Windows Registry Editor Version 5.00\r\n\r\n"
                                 "[HKEY_LOCAL_MACHINE\\K]\r\n\"W") +
                             std::string("\x2D\x4E", 2) +
                             Cp1252ToUtf16Le("\"=dword:00000001\r\n\r\n");
  RegStore store = ParseText(before);
  store.WriteDword(kHklm, "K", "W?", 2);
  store.WriteDword(kHklm, "K", "J\xE4ger", 3);
  EXPECT_EQ(store.Serialize(), Utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                                     "[HKEY_LOCAL_MACHINE\\K]\r\n\"W") +
                                   std::string("\x2D\x4E", 2) +
                                   Cp1252ToUtf16Le("\"=dword:00000002\r\n"
                                                   "\"J\xE4ger\"=dword:00000003\r\n\r\n"));
}

TEST(RegStoreWrite, NamesThatWouldBreakTheLineAreRefused) {
  RegStore store;
  const struct {
    std::string_view key, name, message;
  } refused[] = {
      {"K", "a\nb", "cannot write registry value name \"a\\nb\": it holds a line break or NUL"},
      {"K\r", "a", "cannot write registry key \"K\\r\": it holds a line break or NUL"},
      {"K", std::string_view("a\0b", 3),
       "cannot write registry value name \"a\\x00b\": it holds a line break or NUL"},
  };
  for (const auto& write : refused) {
    EXPECT_EQ(testing::MessageOf([&] { store.WriteDword(kHklm, write.key, write.name, 1); }),
              write.message);
  }
  EXPECT_EQ(store.Serialize(), "");
}

}  // namespace
}  // namespace ordex
