#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ordex {

// Root keys are passed as the 32-bit handle values of the Windows API.
using RootKey = std::uint32_t;
inline constexpr RootKey HKEY_LOCAL_MACHINE_ROOT = 0x80000002u;

// All registry access of the program. Each operation takes root, key path, value name, value and
// a success flag. A missing key or value, or a value of another type, is not an error: the flag
// is false and the value argument keeps what it held. A failing call (a store that cannot be
// read or parsed, a system error) throws Error.
class RegistryAccess {
 public:
  virtual ~RegistryAccess() = default;

  virtual void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                          std::string& value, bool& ok) = 0;

  virtual void ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                         std::int32_t& value, bool& ok) = 0;

  // Stores the value, creating key and value as needed. When the store cannot be written (as a
  // user without administrator rights finds it on the target), the flag is false.
  virtual void WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                          std::int32_t value, bool& ok) = 0;
};

// The registry of the platform: the Windows registry, or on POSIX the regedit-format store named
// by ORDEX_REGISTRY (default /etc/ordex/registry.reg).
std::unique_ptr<RegistryAccess> CreateRegistryAccess();

// Where the POSIX store lives; also the scope of the one-instance claim there. Empty on Windows.
std::string RegistryStoreLocation();

}  // namespace ordex
