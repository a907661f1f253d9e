#include <windows.h>

#include <cstdio>
#include <string>

#include "core/error.h"
#include "platform/error_win32.h"
#include "registry/registry_access.h"

namespace ordex {
namespace {

// The controller software's key and the settings of a 32-bit tool live in the 32-bit view of
// the registry on 64-bit Windows. Every open names this view, so a 64-bit build reads and writes
// the same values as the 32-bit one.
constexpr REGSAM kRegistryView = KEY_WOW64_32KEY;

// Predefined root keys are sign-extended handle values on 64-bit Windows.
HKEY RootHandle(RootKey root) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

std::string RootName(RootKey root) {
  if (root == HKEY_LOCAL_MACHINE_ROOT) return "HKEY_LOCAL_MACHINE";
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(root));
  return text;
}

std::string KeyName(RootKey root, std::string_view key_path) {
  return RootName(root) + "\\" + std::string(key_path);
}

std::string ValueName(RootKey root, std::string_view key_path, std::string_view value_name) {
  return KeyName(root, key_path) + "\\" + std::string(value_name);
}

// "Not there" and "not allowed" are the flag's business; a technician without administrator
// rights must still get a working tool.
bool IsAbsentOrDenied(LSTATUS status) {
  return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND ||
         status == ERROR_ACCESS_DENIED;
}

class UniqueKey {
 public:
  UniqueKey() = default;
  ~UniqueKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  HKEY get() const { return key_; }
  HKEY* out() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

// Opens the key for reading; false when it is missing or may not be read.
bool OpenForQuery(RootKey root, std::string_view key_path, UniqueKey& key) {
  const std::string path(key_path);
  const LSTATUS status = ::RegOpenKeyExA(RootHandle(root), path.c_str(), 0,
                                         KEY_QUERY_VALUE | kRegistryView, key.out());
  if (status == ERROR_SUCCESS) return true;
  if (IsAbsentOrDenied(status)) return false;
  throw Win32Error("cannot open registry key", KeyName(root, key_path), static_cast<DWORD>(status));
}

class Win32Registry : public RegistryAccess {
 public:
  void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value, bool& ok) override {
    ok = false;
    UniqueKey key;
    if (!OpenForQuery(root, key_path, key)) return;
    const std::string name(value_name);
    std::string data;
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
    // The value may grow between asking for its size and reading it.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
      if (type != REG_SZ) return;
      data.resize(size + 1);
      size = static_cast<DWORD>(data.size());
      status = ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
      if (status == ERROR_SUCCESS) break;
    }
    if (status != ERROR_SUCCESS) {
      if (IsAbsentOrDenied(status)) return;
      throw Win32Error("cannot read registry value", ValueName(root, key_path, value_name),
                       static_cast<DWORD>(status));
    }
    if (type != REG_SZ) return;
    data.resize(size);
    // A stored string need not end with its NUL; when it does, the text ends there.
    if (const auto nul = data.find('\0'); nul != std::string::npos) data.resize(nul);
    value = std::move(data);
    ok = true;
  }

  void ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                 std::int32_t& value, bool& ok) override {
    ok = false;
    UniqueKey key;
    if (!OpenForQuery(root, key_path, key)) return;
    const std::string name(value_name);
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const LSTATUS status = ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                                              reinterpret_cast<BYTE*>(&data), &size);
    // A larger value of another type answers ERROR_MORE_DATA: it is not a DWORD either.
    if (status == ERROR_MORE_DATA || IsAbsentOrDenied(status)) return;
    if (status != ERROR_SUCCESS) {
      throw Win32Error("cannot read registry value", ValueName(root, key_path, value_name),
                       static_cast<DWORD>(status));
    }
    if (type != REG_DWORD || size != sizeof data) return;
    value = static_cast<std::int32_t>(data);
    ok = true;
  }

  void WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::int32_t value, bool& ok) override {
    ok = false;
    const std::string path(key_path);
    UniqueKey key;
    LSTATUS status =
        ::RegCreateKeyExA(RootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | kRegistryView, nullptr, key.out(), nullptr);
    if (status == ERROR_ACCESS_DENIED) return;
    if (status != ERROR_SUCCESS) {
      throw Win32Error("cannot create registry key", KeyName(root, key_path),
                       static_cast<DWORD>(status));
    }
    const std::string name(value_name);
    const DWORD data = static_cast<DWORD>(value);
    status = ::RegSetValueExA(key.get(), name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&data), sizeof data);
    if (status == ERROR_ACCESS_DENIED) return;
    if (status != ERROR_SUCCESS) {
      throw Win32Error("cannot write registry value", ValueName(root, key_path, value_name),
                       static_cast<DWORD>(status));
    }
    ok = true;
  }
};

}  // namespace

std::unique_ptr<RegistryAccess> CreateRegistryAccess() { return std::make_unique<Win32Registry>(); }

// The real registry has no file of its own.
std::string RegistryStoreLocation() { return std::string(); }

}  // namespace ordex
