#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/registry_access.h"
#include "registry/reg_store.h"

namespace ordex {

// The registry component over a .reg store, for the backends that keep the registry as one (the
// file on POSIX, the store held in memory for tests), so that both read and write alike. Only
// HKEY_LOCAL_MACHINE is served: keys of other roots read as missing and cannot be written.
class RegStoreAccess : public RegistryAccess {
 public:
  using RegistryAccess::ReadString;

  void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value, bool& ok, bool& lost_characters) final;
  void ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                 std::int32_t& value, bool& ok) final;
  // Looks at the store once for all of them.
  void ReadDwords(RootKey root, std::span<DwordRead> reads) final;
  // Sets the value in a copy of the current store and keeps the copy; a key path or value name
  // that cannot be written throws Error before anything is kept.
  void WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::int32_t value, bool& ok) final;
  // The same for a string.
  void WriteString(RootKey root, std::string_view key_path, std::string_view value_name,
                   std::string_view value, bool& ok) final;
  // All of them in one copy, kept once.
  void WriteValues(RootKey root, std::string_view key_path, std::span<const ValueWrite> values,
                   bool& ok) final;

 protected:
  // The store as it stands now; throws Error when it cannot be read.
  virtual const RegStore& Current() = 0;
  // Keeps `changed`, in which a value under `key_path` was set, in place of the store. False,
  // changing nothing, when the user may not write the store (or that key), as the registry
  // refuses a user without administrator rights.
  virtual bool Keep(const RegStore& changed, std::string_view key_path) = 0;
};

}  // namespace ordex
