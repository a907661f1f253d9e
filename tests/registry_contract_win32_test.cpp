// The Windows registry as a backend of the contract every RegistryAccess backend keeps.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry_access.h"
#include "registry_contract.h"

namespace ordex {
namespace {

// The contract's area lives in the same 32-bit view the component uses; it is removed before
// and after each test, so that a run broken off earlier leaves nothing behind.
class Win32RegistryBackend {
 public:
  Win32RegistryBackend() { RemoveArea(); }
  ~Win32RegistryBackend() { RemoveArea(); }
  Win32RegistryBackend(const Win32RegistryBackend&) = delete;
  Win32RegistryBackend& operator=(const Win32RegistryBackend&) = delete;

  std::unique_ptr<RegistryAccess> Open() const { return CreateRegistryAccess(); }

  void SeedString(std::string_view key, std::string_view name, std::string_view text) {
    const std::string data(text);
    Seed(key, name, REG_SZ, data.c_str(), static_cast<DWORD>(data.size() + 1));
  }

  void SeedBinary(std::string_view key, std::string_view name) {
    const unsigned char data[] = {1, 2, 3, 4};
    Seed(key, name, REG_BINARY, data, sizeof data);
  }

  // The wide function stores the bytes as they are; the ANSI one would convert strings.
  void SeedTyped(std::string_view key_path, std::string_view name, std::uint32_t type,
                 std::string_view bytes) {
    const std::string path(key_path);
    const std::wstring value_name(name.begin(), name.end());  // the contract's names are ASCII
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(key, value_name.c_str(), 0, type,
                               reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }

  void SetVariable(const std::string& name, const std::string& value) {
    ASSERT_TRUE(::SetEnvironmentVariableA(name.c_str(), value.c_str()));
  }

 private:
  static void Seed(std::string_view key_path, std::string_view name, DWORD type, const void* data,
                   DWORD size) {
    const std::string path(key_path);
    const std::string value_name(name);
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        ::RegSetValueExA(key, value_name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
        ERROR_SUCCESS);
    ::RegCloseKey(key);
  }

  static void RemoveArea() {
    const std::string area(testing::kContractKey);
    const auto separator = area.find('\\');
    const std::string parent = area.substr(0, separator);
    const std::string child = area.substr(separator + 1);
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                        &key) != ERROR_SUCCESS) {
      return;
    }
    ::RegDeleteTreeA(key, child.c_str());
    ::RegCloseKey(key);
  }
};

}  // namespace
}  // namespace ordex

namespace ordex::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32Registry, RegistryContract, Win32RegistryBackend);
}  // namespace ordex::testing
