#pragma once

// What every RegistryAccess backend promises, as one typed suite. A backend's test file
// instantiates it with a fixture type that provides:
//
//   Backend();                      // an empty area below kContractKey, removed afterwards
//   std::unique_ptr<RegistryAccess> Open();   // a new instance on the same registry
//   void SeedString(std::string_view key, std::string_view name, std::string_view text);
//   void SeedBinary(std::string_view key, std::string_view name);  // a REG_BINARY value
//   // A value of any type with exactly these bytes (strings: UTF-16LE with their NUL).
//   void SeedTyped(std::string_view key, std::string_view name, std::uint32_t type,
//                  std::string_view bytes);
//   // Removes a value, or with an empty name the key with its subkeys.
//   void Remove(std::string_view key, std::string_view name);
//   // Sets a variable of the process environment that expandable strings see.
//   void SetVariable(const std::string& name, const std::string& value);
//
// and then: INSTANTIATE_TYPED_TEST_SUITE_P(Name, RegistryContract, Backend);

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry_access.h"
#include "registry/registry_numbers.h"
#include "registry_reads.h"
#include "test_helpers.h"

namespace ordex::testing {

inline constexpr std::string_view kContractKey = "SOFTWARE\\ORDEX Contract Test";

template <typename Backend>
class RegistryContract : public ::testing::Test {
 protected:
  static std::string Key(std::string_view below) {
    return std::string(kContractKey) + "\\" + std::string(below);
  }

  bool Write(std::string_view key, std::string_view name, std::int32_t value) {
    bool ok = false;
    registry_->WriteDword(HKEY_LOCAL_MACHINE_ROOT, key, name, value, ok);
    return ok;
  }

  bool WriteText(std::string_view key, std::string_view name, std::string_view text) {
    bool ok = false;
    registry_->WriteString(HKEY_LOCAL_MACHINE_ROOT, key, name, text, ok);
    return ok;
  }

  // Reads into a value that holds `previous` before the call (see ReadAnswer).
  std::optional<std::int32_t> ReadDword(std::string_view key, std::string_view name,
                                        std::int32_t previous = 4711) {
    return ReadAnswer(previous, [&](std::int32_t& value, bool& ok) {
      registry_->ReadDword(HKEY_LOCAL_MACHINE_ROOT, key, name, value, ok);
    });
  }

  std::optional<std::string> ReadString(std::string_view key, std::string_view name) {
    return ReadAnswer(std::string("previous"), [&](std::string& value, bool& ok) {
      registry_->ReadString(HKEY_LOCAL_MACHINE_ROOT, key, name, value, ok);
    });
  }

  std::string ReadString(std::string_view key, std::string_view name, bool& ok, bool& lost) {
    std::string value = "previous";
    ok = !ok;
    lost = !lost;
    registry_->ReadString(HKEY_LOCAL_MACHINE_ROOT, key, name, value, ok, lost);
    return value;
  }

  Backend backend_;
  std::unique_ptr<RegistryAccess> registry_ = backend_.Open();
};

TYPED_TEST_SUITE_P(RegistryContract);

TYPED_TEST_P(RegistryContract, MissingKeyReadsAsMissingAndKeepsTheValue) {
  EXPECT_EQ(this->ReadDword(this->Key("Nowhere"), "TimerInterval"), std::nullopt);
  EXPECT_EQ(this->ReadString(this->Key("Nowhere"), "InstallationDir"), std::nullopt);
}

TYPED_TEST_P(RegistryContract, MissingValueInAnExistingKeyReadsAsMissing) {
  ASSERT_TRUE(this->Write(this->Key("Settings"), "TimerInterval", 5000));
  EXPECT_EQ(this->ReadDword(this->Key("Settings"), "Visible", -3), std::nullopt);
}

TYPED_TEST_P(RegistryContract, WrittenValuesReadBackOverTheWholeRange) {
  for (const std::int32_t value : {0, 1, 10000, -1, INT32_MIN, INT32_MAX}) {
    ASSERT_TRUE(this->Write(this->Key("Range"), "Value", value));
    EXPECT_EQ(this->ReadDword(this->Key("Range"), "Value"), value);
  }
}

TYPED_TEST_P(RegistryContract, WriteCreatesNestedKeysAndKeepsOtherValues) {
  const std::string key = this->Key("A\\B\\C");
  ASSERT_TRUE(this->Write(key, "TimerInterval", 10000));
  ASSERT_TRUE(this->Write(key, "Visible", 0));
  ASSERT_TRUE(this->Write(key, "TimerInterval", 2000));
  EXPECT_EQ(this->ReadDword(key, "TimerInterval"), 2000);
  EXPECT_EQ(this->ReadDword(key, "Visible"), 0);
}

TYPED_TEST_P(RegistryContract, KeysAndNamesIgnoreCase) {
  ASSERT_TRUE(this->Write(this->Key("Settings"), "TimerInterval", 10000));
  ASSERT_TRUE(this->Write(this->Key("SETTINGS"), "timerinterval", 2000));
  std::string upper_key = this->Key("settings");
  for (char& c : upper_key) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
  EXPECT_EQ(this->ReadDword(upper_key, "TIMERINTERVAL"), 2000);
}

TYPED_TEST_P(RegistryContract, ValuesBelongToTheirOwnKey) {
  ASSERT_TRUE(this->Write(this->Key("Parent\\Child"), "Visible", 1));
  EXPECT_EQ(this->ReadDword(this->Key("Parent"), "Visible"), std::nullopt);
  EXPECT_EQ(this->ReadDword(this->Key("Parent\\Child\\Grandchild"), "Visible"), std::nullopt);
  EXPECT_EQ(this->ReadDword(this->Key("Parent\\Child"), "Visible"), 1);
}

TYPED_TEST_P(RegistryContract, AnotherInstanceSeesWrittenValues) {
  ASSERT_TRUE(this->Write(this->Key("Settings"), "Visible", 1));
  const auto other = this->backend_.Open();
  std::int32_t value = 0;
  bool ok = false;
  other->ReadDword(HKEY_LOCAL_MACHINE_ROOT, this->Key("Settings"), "Visible", value, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(value, 1);
}

TYPED_TEST_P(RegistryContract, StringValuesReadAsTheyAre) {
  this->backend_.SeedString(this->Key("Version"), "InstallationDir", "C:\\XOC\\");
  this->backend_.SeedString(this->Key("Version"), "XOCVersion", " V5.6.1 \"quoted\" ");
  this->backend_.SeedString(this->Key("Version"), "Empty", "");
  EXPECT_EQ(this->ReadString(this->Key("Version"), "InstallationDir"), "C:\\XOC\\");
  EXPECT_EQ(this->ReadString(this->Key("Version"), "xocversion"), " V5.6.1 \"quoted\" ");
  EXPECT_EQ(this->ReadString(this->Key("Version"), "Empty"), "");
}

TYPED_TEST_P(RegistryContract, WrongTypeReadsAsMissingAndKeepsTheValue) {
  this->backend_.SeedString(this->Key("Mixed"), "Text", "five");
  this->backend_.SeedBinary(this->Key("Mixed"), "Binary");
  ASSERT_TRUE(this->Write(this->Key("Mixed"), "Number", 5));
  EXPECT_EQ(this->ReadDword(this->Key("Mixed"), "Text"), std::nullopt);
  EXPECT_EQ(this->ReadDword(this->Key("Mixed"), "Binary"), std::nullopt);
  EXPECT_EQ(this->ReadString(this->Key("Mixed"), "Number"), std::nullopt);
  EXPECT_EQ(this->ReadString(this->Key("Mixed"), "Binary"), std::nullopt);
}

TYPED_TEST_P(RegistryContract, WritingOverAValueOfAnotherTypeMakesItADword) {
  this->backend_.SeedString(this->Key("Mixed"), "Visible", "1");
  ASSERT_TRUE(this->Write(this->Key("Mixed"), "Visible", 1));
  EXPECT_EQ(this->ReadDword(this->Key("Mixed"), "Visible"), 1);
  EXPECT_EQ(this->ReadString(this->Key("Mixed"), "Visible"), std::nullopt);
}

// Written over a DWORD, in a key made for it; every character of the code page, the quoting
// characters of a .reg file and line breaks read back as written; so do several values written
// at once.
TYPED_TEST_P(RegistryContract, WrittenStringsReadBackAsTheyWereWritten) {
  const std::string key = this->Key("Facts\\Below");
  ASSERT_TRUE(this->Write(key, "Version", 5));
  for (const std::string_view text :
       {"1.3b", "", " C:\\XOC\\ \"quoted\" ", "J\xE4ger 50% \x80", "two\r\nlines\n"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    ASSERT_TRUE(this->WriteText(key, "Version", text));
    EXPECT_EQ(this->ReadString(key, "version"), std::string(text));
    EXPECT_EQ(this->ReadDword(key, "Version"), std::nullopt);
  }
  const ValueWrite both[] = {{"Version", 7, {}}, {"Name", std::nullopt, "ROBPC01"}};
  bool ok = false;
  this->registry_->WriteValues(HKEY_LOCAL_MACHINE_ROOT, key, both, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(this->ReadDword(key, "Version"), 7);
  EXPECT_EQ(this->ReadString(key, "Name"), "ROBPC01");
}

TYPED_TEST_P(RegistryContract, ExpandableStringsAreExpandedWithTheEnvironment) {
  this->backend_.SetVariable("ORDEX_CONTRACT_DRIVE", "D:");
  const struct {
    std::uint32_t type;
    std::u16string_view stored;
    std::string_view read;
  } cases[] = {
      {kRegExpandSz, u"%ORDEX_CONTRACT_DRIVE%\\XOC2", "D:\\XOC2"},
      {kRegExpandSz, u"%ORDEX_CONTRACT_UNSET%\\%ORDEX_CONTRACT_DRIVE%",
       "%ORDEX_CONTRACT_UNSET%\\D:"},
      {kRegExpandSz, u"100%", "100%"},
      {kRegSz, u"%ORDEX_CONTRACT_DRIVE%\\XOC2", "%ORDEX_CONTRACT_DRIVE%\\XOC2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.read));
    this->backend_.SeedTyped(this->Key("Version"), "InstallationDir", c.type, StoredText(c.stored));
    bool ok = false;
    bool lost = true;
    EXPECT_EQ(this->ReadString(this->Key("Version"), "InstallationDir", ok, lost), c.read);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(lost);
  }
}

TYPED_TEST_P(RegistryContract, CharactersTheCodePageLacksReadAsQuestionMarksAndAreReported) {
  const struct {
    std::uint32_t type;
    std::u16string_view stored;
    std::string_view read;
    bool lost;
  } cases[] = {
      {kRegSz, u"C:\\X\u014CC", "C:\\X?C", true},  // never the similar "C:\XOC"
      {kRegExpandSz, u"C:\\X\u014CC", "C:\\X?C", true},
      {kRegSz, u"C:\\XOC?", "C:\\XOC?", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.read));
    this->backend_.SeedTyped(this->Key("Version"), "InstallationDir", c.type, StoredText(c.stored));
    bool ok = false;
    bool lost = !c.lost;
    EXPECT_EQ(this->ReadString(this->Key("Version"), "InstallationDir", ok, lost), c.read);
    EXPECT_TRUE(ok);
    EXPECT_EQ(lost, c.lost);
  }
}

TYPED_TEST_P(RegistryContract, NumbersWrittenAnotherWayReadAsDwords) {
  this->backend_.SetVariable("ORDEX_CONTRACT_NUMBER", "42");
  this->backend_.SeedString(this->Key("Settings"), "Quoted", "1");
  EXPECT_EQ(this->ReadDword(this->Key("Settings"), "Quoted"), 1);
  const struct {
    std::uint32_t type;
    std::string stored;
    std::optional<std::int32_t> read;
  } cases[] = {
      {kRegSz, StoredText(u" 0x10 "), 16},
      {kRegSz, StoredText(u"4294967295"), -1},
      {kRegSz, StoredText(u"-2147483648"), INT32_MIN},
      {kRegSz, StoredText(u"4294967296"), std::nullopt},
      {kRegSz, StoredText(u"1.5"), std::nullopt},
      {kRegExpandSz, StoredText(u"%ORDEX_CONTRACT_NUMBER%"), 42},
      {kRegQword, StoredQword(10000), 10000},
      {kRegQword, StoredQword(-1), -1},
      {kRegQword, StoredQword(std::int64_t{1} << 32), std::nullopt},
      {kRegBinary, std::string("\x10\x27\0\0", 4), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.stored));
    this->backend_.SeedTyped(this->Key("Settings"), "Visible", c.type, c.stored);
    EXPECT_EQ(this->ReadDword(this->Key("Settings"), "Visible"), c.read);
  }
}

// An instance that keeps what it read sees at its next read every change made through another
// handle since: a key made below missing ones, a value changed or removed, the key removed.
TYPED_TEST_P(RegistryContract, ReadDwordsSeesEachChangeMadeElsewhereSinceTheLastRead) {
  const std::string late = this->Key("Late");
  const std::string key = late + "\\Settings";
  auto& backend = this->backend_;
  const auto seed = [&](std::int32_t value) {
    backend.SeedTyped(key, "Visible", kRegDword, StoredQword(value).substr(0, 4));
  };
  const struct {
    const char* change;
    std::function<void()> make;
    std::optional<std::int32_t> read;
  } steps[] = {
      {"none yet", [] {}, std::nullopt},
      {"key made", [&] { seed(1); }, 1},
      {"nothing", [] {}, 1},
      {"value changed", [&] { seed(0); }, 0},
      {"value removed", [&] { backend.Remove(key, "Visible"); }, std::nullopt},
      {"value back", [&] { seed(1); }, 1},
      {"key removed", [&] { backend.Remove(late, ""); }, std::nullopt},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.change);
    step.make();
    DwordRead reads[] = {{this->Key("Other"), "Visible", 4711}, {key, "Visible", 4711}};
    this->registry_->ReadDwords(HKEY_LOCAL_MACHINE_ROOT, reads);
    EXPECT_EQ(reads[1].ok ? std::optional(reads[1].value) : std::nullopt, step.read);
    if (!reads[1].ok) EXPECT_EQ(reads[1].value, 4711);
    EXPECT_FALSE(reads[0].ok);
  }
}

REGISTER_TYPED_TEST_SUITE_P(
    RegistryContract, MissingKeyReadsAsMissingAndKeepsTheValue,
    MissingValueInAnExistingKeyReadsAsMissing, WrittenValuesReadBackOverTheWholeRange,
    WriteCreatesNestedKeysAndKeepsOtherValues, KeysAndNamesIgnoreCase, ValuesBelongToTheirOwnKey,
    AnotherInstanceSeesWrittenValues, StringValuesReadAsTheyAre,
    WrongTypeReadsAsMissingAndKeepsTheValue, WritingOverAValueOfAnotherTypeMakesItADword,
    WrittenStringsReadBackAsTheyWereWritten, ExpandableStringsAreExpandedWithTheEnvironment,
    CharactersTheCodePageLacksReadAsQuestionMarksAndAreReported,
    NumbersWrittenAnotherWayReadAsDwords, ReadDwordsSeesEachChangeMadeElsewhereSinceTheLastRead);

}  // namespace ordex::testing
