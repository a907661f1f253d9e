// What the Win32 registry component does beyond the shared contract
// (registry_contract_win32_test.cpp): value types as the registry stores them, the 32-bit view,
// and failing calls. Below a test key of its own that each test removes again.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/error.h"
#include "import_patch_win32.h"
#include "registry/registry.h"
#include "registry_reads.h"
#include "registry_seed_win32.h"
#include "test_helpers.h"

namespace ordex {
namespace {

constexpr RootKey kHklm = HKEY_LOCAL_MACHINE_ROOT;
constexpr REGSAM k32BitView = KEY_WOW64_32KEY;

// The values the component reads from the registry while one lives.
using ValueReads = testing::CallsOf<LSTATUS, HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD>;

bool Is64BitWindows() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_key_name_ = "ORDEX-Test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                     std::to_string(::GetTickCount());
    key_path_ = "SOFTWARE\\" + test_key_name_;
    registry_ = CreateRegistryAccess();
  }

  void TearDown() override {
    HKEY software = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | k32BitView,
                        &software) == ERROR_SUCCESS) {
      ::RegDeleteTreeA(software, test_key_name_.c_str());
      ::RegCloseKey(software);
    }
  }

  // Removes SOFTWARE\Policies\<test key> and what is below it, as Group Policy removes a policy.
  void RemovePolicies() {
    HKEY policies = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies", 0,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, &policies) == ERROR_SUCCESS) {
      ::RegDeleteTreeA(policies, test_key_name_.c_str());
      ::RegCloseKey(policies);
    }
  }

  // A DWORD below SOFTWARE\Policies in the 64-bit view, as Group Policy's client writes it.
  void PutPolicy(const std::string& path, const char* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::RegCloseKey(key);
  }

  // Stores a value of any type directly, bypassing the component.
  void Put(const std::string& name, DWORD type, const void* data, DWORD size) {
    testing::SeedWin32Value(key_path_, name, type,
                            std::string_view(static_cast<const char*>(data), size));
  }

  void PutDword(const std::string& name, DWORD value) {
    Put(name, REG_DWORD, &value, sizeof value);
  }

  void PutString(const std::string& name, const std::string& text) {
    Put(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }

  std::optional<std::string> ReadString(const std::string& name) {
    return ReadString(key_path_, name);
  }
  std::optional<std::string> ReadString(const std::string& path, const std::string& name) {
    return testing::ReadAnswer<std::string>("previous", [&](std::string& value, bool& ok) {
      registry_->ReadString(kHklm, path, name, value, ok);
    });
  }
  std::optional<std::int32_t> ReadDword(const std::string& name) {
    return ReadDword(key_path_, name);
  }
  std::optional<std::int32_t> ReadDword(const std::string& path, const std::string& name) {
    return testing::ReadAnswer<std::int32_t>(42, [&](std::int32_t& value, bool& ok) {
      registry_->ReadDword(kHklm, path, name, value, ok);
    });
  }
  bool WriteDword(const std::string& path, const std::string& name, std::int32_t value) {
    bool ok = false;
    registry_->WriteDword(kHklm, path, name, value, ok);
    return ok;
  }

  // The raw type and bytes of a value as stored in the given view.
  bool Get(const std::string& path, const std::string& name, REGSAM view, DWORD& type,
           std::string& data) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    char buffer[64];
    DWORD size = sizeof buffer;
    const LSTATUS status = ::RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                              reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    data.assign(buffer, size);
    return true;
  }

  std::string test_key_name_;
  std::string key_path_;
  std::unique_ptr<RegistryAccess> registry_;
};

// A value another program stored reads as the registry holds it: a string as its text (spaces,
// empty, without its NUL, long, a number), a number however it was written; every other type,
// and data of another size, as missing.
TEST_F(Win32RegistryTest, StoredValuesReadAsTheRegistryHoldsThem) {
  using namespace std::string_literals;
  const auto dword = [](std::uint32_t value) {
    return std::string(reinterpret_cast<char*>(&value), 4);
  };
  const std::string long_text(20000, 'x');
  const struct {
    const char* label;
    DWORD type;
    std::string data;
    std::optional<std::string> text;
    std::optional<std::int32_t> number;
  } cases[] = {
      {"text", REG_SZ, "KR C 8.3.20 Build 112\0"s, "KR C 8.3.20 Build 112", std::nullopt},
      {"padded", REG_SZ, "  5.4  \0"s, "  5.4  ", std::nullopt},
      {"empty", REG_SZ, "\0"s, "", std::nullopt},
      {"text without its NUL", REG_SZ, "C:\\XOC", "C:\\XOC", std::nullopt},
      {"long", REG_SZ, long_text + '\0', long_text, std::nullopt},
      // Text stored through the ANSI function (as reg.exe of an 8-bit tool would).
      {"number as text", REG_SZ, "10000\0"s, "10000", 10000},
      {"number as text without its NUL", REG_SZ, "10000", "10000", 10000},
      {"number as expandable text", REG_EXPAND_SZ, "10000\0"s, "10000", 10000},
      {"dword", REG_DWORD, dword(10000), std::nullopt, 10000},
      {"dword 0", REG_DWORD, dword(0), std::nullopt, 0},
      {"largest dword", REG_DWORD, dword(0x7FFFFFFF), std::nullopt, 2147483647},
      {"dword -1", REG_DWORD, dword(0xFFFFFFFF), std::nullopt, -1},
      {"smallest dword", REG_DWORD, dword(0x80000000), std::nullopt, -2147483647 - 1},
      {"qword", REG_QWORD, std::string(8, '\0'), std::nullopt, 0},
      {"multi", REG_MULTI_SZ, "a\0b\0\0"s, std::nullopt, std::nullopt},
      {"multi number", REG_MULTI_SZ, "5\0\0"s, std::nullopt, std::nullopt},
      {"binary", REG_BINARY, "8.3\0"s, std::nullopt, std::nullopt},
      {"four-byte binary", REG_BINARY, dword(10000), std::nullopt, std::nullopt},
      {"big endian", REG_DWORD_BIG_ENDIAN, "\0\0\x27\x10"s, std::nullopt, std::nullopt},
      {"short qword", REG_QWORD, dword(10000), std::nullopt, std::nullopt},
      {"short dword", REG_DWORD, "\x10\x27"s, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Put(c.label, c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    EXPECT_EQ(ReadString(c.label), c.text);
    EXPECT_EQ(ReadDword(c.label), c.number);
  }
}

TEST_F(Win32RegistryTest, ReadStringKeepsEightBitText) {
  if (::GetACP() != 1252) GTEST_SKIP() << "needs the Windows-1252 code page";
  const std::string text = "Grundausf\xFChrung \xB5s";
  PutString("Text", text);
  EXPECT_EQ(ReadString("Text"), text);
}

TEST_F(Win32RegistryTest, MissingKeyOrValueGivesFalseFlagAndLeavesValue) {
  PutString("Other", "x");
  struct Case {
    std::string key_path;
    const char* name;
  };
  const Case cases[] = {
      {key_path_ + "\\Missing", "XOCVersion"},
      {key_path_, "XOCVersion"},
      {"SOFTWARE\\ORDEX-Test-No-Such-Key\\Deeper", "Version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key_path + " / " + c.name);
    EXPECT_EQ(ReadString(c.key_path, c.name), std::nullopt);
    EXPECT_EQ(ReadDword(c.key_path, c.name), std::nullopt);
  }
}

TEST_F(Win32RegistryTest, WriteDwordCreatesKeyAndValue) {
  const std::string path = key_path_ + "\\Tarvex PANO\\Customer Preferences\\ORDEX";
  EXPECT_TRUE(WriteDword(path, "TimerInterval", 10000));
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(Get(path, "TimerInterval", k32BitView, type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, std::string("\x10\x27\0\0", 4));
}

TEST_F(Win32RegistryTest, WriteDwordReplacesValueOfAnyTypeAndReadsBack) {
  PutString("Visible", "yes");
  EXPECT_TRUE(WriteDword(key_path_, "Visible", -5));
  EXPECT_EQ(ReadDword("Visible"), -5);
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(Get(key_path_, "Visible", k32BitView, type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, std::string("\xFB\xFF\xFF\xFF", 4));
}

TEST_F(Win32RegistryTest, WritesGoToThe32BitViewWhateverTheBuild) {
  ASSERT_TRUE(WriteDword(key_path_, "Visible", 1));
  DWORD type = 0;
  std::string data;
  EXPECT_TRUE(Get(key_path_, "Visible", KEY_WOW64_32KEY, type, data));
  if (!Is64BitWindows()) GTEST_SKIP() << "32-bit Windows has one view only";
  EXPECT_FALSE(Get(key_path_, "Visible", KEY_WOW64_64KEY, type, data));
}

// The Group Policy client is a 64-bit program: what it writes below SOFTWARE\Policies reaches a
// 32-bit ORDEX too.
TEST_F(Win32RegistryTest, PoliciesAreReadWhereThe64BitGroupPolicyClientWritesThem) {
  PutPolicy("SOFTWARE\\Policies\\" + test_key_name_, "TimerInterval", 2000);
  const std::string spelled_otherwise = "software\\policies\\" + test_key_name_;
  DwordRead reads[] = {{spelled_otherwise, "TimerInterval"}, {key_path_, "TimerInterval"}};
  registry_->ReadDwords(kHklm, reads);
  RemovePolicies();
  EXPECT_TRUE(reads[0].ok);
  EXPECT_EQ(reads[0].value, 2000);
  EXPECT_FALSE(reads[1].ok);
}

// A policy made after the first read applies at the next, in the view Group Policy writes, and
// a policy key deleted (as Group Policy deletes it when the policy is no longer set) reads as
// missing at the next.
TEST_F(Win32RegistryTest, APolicyKeyMadeOrDeletedAfterTheFirstReadCountsAtTheNext) {
  const std::string policy = "SOFTWARE\\Policies\\" + test_key_name_ + "\\ORDEX";
  DwordRead reads[] = {{policy, "Visible"}, {key_path_, "Visible"}};
  const auto read = [&] {
    reads[0].ok = false;
    registry_->ReadDwords(kHklm, reads);
    return reads[0].ok ? std::optional(reads[0].value) : std::nullopt;
  };
  EXPECT_EQ(read(), std::nullopt);
  PutPolicy(policy, "Visible", 1);
  EXPECT_EQ(read(), 1);
  EXPECT_EQ(read(), 1);
  RemovePolicies();
  EXPECT_EQ(read(), std::nullopt);
}

// The policy's watch sits no higher than SOFTWARE\Policies (which every Windows has: where no
// ORDEX policy exists, on most PCs, it sits there), the settings' on their own key: a key that an
// installer or an update makes and deletes elsewhere below SOFTWARE, in either view, wakes
// neither, and the pass after it reads no value. A policy then made is read at the next pass.
TEST_F(Win32RegistryTest, AKeyMadeAndDeletedElsewhereBelowSoftwareCostsNoRead) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies", 0, nullptr, 0,
                              KEY_READ | KEY_WOW64_64KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
  PutDword("Visible", 1);
  const std::string policy = "SOFTWARE\\Policies\\" + test_key_name_ + "\\ORDEX";
  DwordRead reads[] = {{policy, "Visible"}, {key_path_, "Visible"}};
  registry_->ReadDwords(kHklm, reads);
  const ValueReads value_reads("advapi32.dll", "RegQueryValueExW");
  const std::string elsewhere = "SOFTWARE\\Microsoft\\" + test_key_name_;
  for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, elsewhere.c_str(), 0, nullptr, 0,
                                KEY_READ | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, elsewhere.c_str(), view, 0), ERROR_SUCCESS);
  }
  registry_->ReadDwords(kHklm, reads);
  EXPECT_EQ(value_reads.calls().size(), 0u);
  EXPECT_FALSE(reads[0].ok);
  EXPECT_TRUE(reads[1].ok);
  PutPolicy(policy, "Visible", 0);
  registry_->ReadDwords(kHklm, reads);
  RemovePolicies();
  EXPECT_GT(value_reads.calls().size(), 0u);
  EXPECT_TRUE(reads[0].ok);
  EXPECT_EQ(reads[0].value, 0);
}

// RegOpenKeyEx of an empty path hands back the predefined root itself, which is not the
// component's to close, be it read or watched; the keys it opens it closes.
TEST_F(Win32RegistryTest, APredefinedKeyIsNeverClosed) {
  PutDword("Visible", 1);
  const testing::CallsOf<LSTATUS, HKEY> closes("advapi32.dll", "RegCloseKey");
  EXPECT_EQ(ReadDword("", "ORDEX-No-Such-Value"), std::nullopt);
  DwordRead reads[] = {{"", "ORDEX-No-Such-Value"}, {key_path_, "Visible"}};
  registry_->ReadDwords(kHklm, reads);
  registry_->ReadDwords(kHklm, reads);
  EXPECT_TRUE(reads[1].ok);
  EXPECT_FALSE(closes.calls().empty());
  for (const auto& [key] : closes.calls()) EXPECT_NE(key, HKEY_LOCAL_MACHINE);
}

TEST_F(Win32RegistryTest, FailingCallThrowsNamingTheKey) {
  // Not one of the predefined root keys: the system refuses the handle.
  constexpr RootKey kNoSuchRoot = 0x800000F0u;
  std::string value = "previous";
  bool ok = true;
  EXPECT_THAT(testing::MessageOf(
                  [&] { registry_->ReadString(kNoSuchRoot, key_path_, "Version", value, ok); }),
              ::testing::StartsWith("cannot open registry key 0x800000F0\\" + key_path_ + ": "));
  EXPECT_EQ(value, "previous");
  bool written = true;
  EXPECT_THROW(registry_->WriteDword(kNoSuchRoot, key_path_, "Visible", 1, written), Error);
}

TEST(Win32RegistryStore, HasNoFileOfItsOwn) { EXPECT_EQ(RegistryStoreLocation(), ""); }

}  // namespace
}  // namespace ordex
