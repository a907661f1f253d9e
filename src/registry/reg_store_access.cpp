#include "registry/reg_store_access.h"

namespace ordex {

void RegStoreAccess::ReadString(RootKey root, std::string_view key_path,
                                std::string_view value_name, std::string& value, bool& ok,
                                bool& lost_characters) {
  lost_characters = false;
  ok = root == HKEY_LOCAL_MACHINE_ROOT &&
       Current().ReadString(root, key_path, value_name, value, lost_characters);
}

void RegStoreAccess::ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                               std::int32_t& value, bool& ok) {
  ok = root == HKEY_LOCAL_MACHINE_ROOT && Current().ReadDword(root, key_path, value_name, value);
}

void RegStoreAccess::ReadDwords(RootKey root, std::span<DwordRead> reads) {
  const bool served = root == HKEY_LOCAL_MACHINE_ROOT;
  const RegStore* store = served ? &Current() : nullptr;
  for (DwordRead& read : reads) {
    read.ok = served && store->ReadDword(root, read.key_path, read.value_name, read.value);
  }
}

// One value is a write of one: the store file is replaced once, whatever the write holds.
void RegStoreAccess::WriteDword(RootKey root, std::string_view key_path,
                                std::string_view value_name, std::int32_t value, bool& ok) {
  const ValueWrite write{value_name, value, {}};
  WriteValues(root, key_path, std::span(&write, 1), ok);
}

void RegStoreAccess::WriteValues(RootKey root, std::string_view key_path,
                                 std::span<const ValueWrite> values, bool& ok) {
  ok = false;
  if (root != HKEY_LOCAL_MACHINE_ROOT) return;
  RegStore changed = Current();
  for (const ValueWrite& write : values) {
    if (write.dword) {
      changed.WriteDword(root, key_path, write.value_name, *write.dword);
    } else {
      changed.WriteString(root, key_path, write.value_name, write.text);
    }
  }
  ok = Keep(changed, key_path);
}

void RegStoreAccess::WriteString(RootKey root, std::string_view key_path,
                                 std::string_view value_name, std::string_view value, bool& ok) {
  const ValueWrite write{value_name, std::nullopt, value};
  WriteValues(root, key_path, std::span(&write, 1), ok);
}

}  // namespace ordex
