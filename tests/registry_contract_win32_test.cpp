// The Windows registry as a backend of the contract every RegistryAccess backend keeps.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "registry/registry.h"
#include "registry_contract.h"
#include "registry_seed_win32.h"

namespace ordex {
namespace {

// The contract's area lives in the same 32-bit view the component uses; it is removed before
// and after each test, so that a run broken off earlier leaves nothing behind.
class Win32RegistryBackend {
 public:
  Win32RegistryBackend() { testing::RemoveWin32Key(testing::kContractKey); }
  ~Win32RegistryBackend() { testing::RemoveWin32Key(testing::kContractKey); }
  Win32RegistryBackend(const Win32RegistryBackend&) = delete;
  Win32RegistryBackend& operator=(const Win32RegistryBackend&) = delete;

  std::unique_ptr<RegistryAccess> Open() const { return CreateRegistryAccess(); }

  void SeedString(std::string_view key, std::string_view name, std::string_view text) {
    const std::string data(text);
    testing::SeedWin32Value(std::string(key), std::string(name), REG_SZ,
                            std::string_view(data.c_str(), data.size() + 1));
  }

  void SeedBinary(std::string_view key, std::string_view name) {
    testing::SeedWin32Value(std::string(key), std::string(name), REG_BINARY, "\x01\x02\x03\x04");
  }

  void SeedTyped(std::string_view key, std::string_view name, std::uint32_t type,
                 std::string_view bytes) {
    testing::SeedWin32Value(std::string(key), std::string(name), type, bytes, true);
  }

  void Remove(std::string_view key, std::string_view name) {
    const std::string path(key);
    const bool whole_key = name.empty();
    const auto separator = path.rfind('\\');
    const std::string open_path = whole_key ? path.substr(0, separator) : path;
    const std::string child = whole_key ? path.substr(separator + 1) : std::string(name);
    HKEY open = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, open_path.c_str(), 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, &open),
              ERROR_SUCCESS);
    EXPECT_EQ(
        whole_key ? ::RegDeleteTreeA(open, child.c_str()) : ::RegDeleteValueA(open, child.c_str()),
        ERROR_SUCCESS);
    ::RegCloseKey(open);
  }

  void SetVariable(const std::string& name, const std::string& value) {
    ASSERT_TRUE(::SetEnvironmentVariableA(name.c_str(), value.c_str()));
  }
};

}  // namespace
}  // namespace ordex

namespace ordex::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32Registry, RegistryContract, Win32RegistryBackend);
}  // namespace ordex::testing
