#pragma once

#include <cstdint>
#include <optional>
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

// One value for WriteValues: a DWORD when `dword` holds one, else the string `text`.
struct ValueWrite {
  std::string_view value_name;
  std::optional<std::int32_t> dword;
  std::string_view text;
};

// All registry access of the program. Each operation takes root, key path, value name, value and
// a success flag. A missing key or value, or a value of a type (or text) the operation does not
// read, is not an error: the flag is false and the value argument keeps what it held. A failing
// call (a store that cannot be read or parsed, a system error) throws Error.
//
// A service the machine hands out, as it hands out the files; the backends live a layer above
// (src/registry), so that this layer names the interface and knows none of them.
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
  // REG_EXPAND_SZ holding its text, within the 32-bit range (registry/registry_numbers.h).
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

  // Stores the text, given in the 8-bit code page, as a REG_SZ, creating key and value as
  // needed; a value of another type under the name becomes this one. The flag as for WriteDword.
  virtual void WriteString(RootKey root, std::string_view key_path, std::string_view value_name,
                           std::string_view value, bool& ok) = 0;

  // Writes each value under the key as WriteDword and WriteString do, stopping with a false flag
  // at the first this user may not write. A store kept as one file is written once for all of
  // them, so that it holds all or none: the facts are many values, written at every change.
  virtual void WriteValues(RootKey root, std::string_view key_path,
                           std::span<const ValueWrite> values, bool& ok) {
    ok = true;
    for (const ValueWrite& write : values) {
      if (write.dword) {
        WriteDword(root, key_path, write.value_name, *write.dword, ok);
      } else {
        WriteString(root, key_path, write.value_name, write.text, ok);
      }
      if (!ok) return;
    }
  }
};

}  // namespace ordex
