#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace ordex {

// Root keys are passed as the 32-bit handle values of the Windows API.
using RootKey = std::uint32_t;
inline constexpr RootKey HKEY_LOCAL_MACHINE_ROOT = 0x80000002u;

// One value for ReadDwords: where it is, and what was read.
struct DwordRead {
  std::string_view key_path;
  std::string_view value_name;
  std::int32_t value = 0;
  bool ok = false;
};

// All registry access of the program. Each operation takes root, key path, value name, value and
// a success flag. A missing key or value, or a value of a type (or text) the operation does not
// read, is not an error: the flag is false and the value argument keeps what it held. A failing
// call (a store that cannot be read or parsed, a system error) throws Error.
class RegistryAccess {
 public:
  virtual ~RegistryAccess() = default;

  // Reads a REG_SZ, or a REG_EXPAND_SZ expanded with the environment of the process, and gives
  // it in the 8-bit code page. A character the code page lacks reads as '?', never as a similar
  // one; `lost_characters` tells whether that happened, for values where a '?' would name
  // something else (a path). It is false when `ok` is false.
  virtual void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                          std::string& value, bool& ok, bool& lost_characters) = 0;

  // The same for values where a '?' may stand in, such as texts that are only shown.
  void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value, bool& ok) {
    bool lost_characters = false;
    ReadString(root, key_path, value_name, value, ok, lost_characters);
  }

  // Reads a REG_DWORD, or a number written another way: a REG_QWORD, or a REG_SZ or
  // REG_EXPAND_SZ holding its text, within the 32-bit range (platform/registry_numbers.h).
  virtual void ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                         std::int32_t& value, bool& ok) = 0;

  // Reads each value as ReadDword does, into its entry. A store that must be looked at before it
  // is read (a file) is looked at once for all of them: the refresh pass reads four values.
  virtual void ReadDwords(RootKey root, std::span<DwordRead> reads) {
    for (DwordRead& read : reads) {
      ReadDword(root, read.key_path, read.value_name, read.value, read.ok);
    }
  }

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
