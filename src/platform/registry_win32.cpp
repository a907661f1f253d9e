#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "core/case_fold.h"
#include "core/error.h"
#include "platform/error_win32.h"
#include "platform/registry_access.h"
#include "platform/registry_numbers.h"

namespace ordex {
namespace {

// The controller software's key and the settings of a 32-bit tool live in the 32-bit view of
// the registry on 64-bit Windows. Every open names this view, so a 64-bit build reads and writes
// the same values as the 32-bit one.
constexpr REGSAM kRegistryView = KEY_WOW64_32KEY;

// Policies are the exception: Group Policy writes them from its 64-bit client, and Windows keeps
// SOFTWARE\Policies as one key for both views. Naming the 64-bit view for them reads what the
// client wrote even where that key is redirected like the rest (on 32-bit Windows the flag is
// ignored).
constexpr std::string_view kPoliciesKey = "SOFTWARE\\Policies\\";

REGSAM ViewOf(std::string_view key_path) {
  const bool policy = key_path.size() >= kPoliciesKey.size() &&
                      EqualIgnoringCase(key_path.substr(0, kPoliciesKey.size()), kPoliciesKey);
  return policy ? KEY_WOW64_64KEY : kRegistryView;
}

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
                                         KEY_QUERY_VALUE | ViewOf(key_path), key.out());
  if (status == ERROR_SUCCESS) return true;
  if (IsAbsentOrDenied(status)) return false;
  throw Win32Error("cannot open registry key", KeyName(root, key_path), static_cast<DWORD>(status));
}

// The name in UTF-16, from the 8-bit code page in which the program holds it.
std::wstring Wide(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), size);
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return wide;
}

// UTF-16 text in the 8-bit code page. No best-fit mapping: a character the code page lacks
// becomes '?', never a similar one that could name another file ("X\u014CC" must not read as
// "XOC"); `lost` tells that it happened.
std::string Narrow(std::wstring_view text, std::string_view value_name, bool& lost) {
  lost = false;
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  // Where the code page is UTF-8, every character has its bytes, and Windows allows neither
  // flag there.
  const bool utf8 = ::GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used_default_out = utf8 ? nullptr : &used_default;
  const int length = ::WideCharToMultiByte(CP_ACP, flags, text.data(), size, nullptr, 0, nullptr,
                                           used_default_out);
  if (length <= 0) throw Win32Error("cannot convert registry value", value_name, ::GetLastError());
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, flags, text.data(), size, narrow.data(), length, nullptr,
                        used_default_out);
  lost = used_default != FALSE;
  return narrow;
}

// %NAME% replaced from the environment of the process, as RegGetValue expands a REG_EXPAND_SZ.
std::wstring Expand(const std::wstring& text, std::string_view value_name) {
  std::wstring expanded(text.size() + 1, L'\0');
  for (;;) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                     static_cast<DWORD>(expanded.size()));
    if (needed == 0) throw Win32Error("cannot expand registry value", value_name, ::GetLastError());
    if (needed <= expanded.size()) {
      expanded.resize(needed - 1);
      return expanded;
    }
    expanded.resize(needed);
  }
}

// A value's type and bytes; false when the key or value is missing or may not be read, or the
// value's type is not in `wanted`, in which case its data is not read at all.
template <typename Wanted>
bool QueryValue(RootKey root, std::string_view key_path, std::string_view value_name, Wanted wanted,
                DWORD& type, std::string& data) {
  UniqueKey key;
  if (!OpenForQuery(root, key_path, key)) return false;
  const std::wstring name = Wide(value_name);
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
  // The value may grow between asking for its size and reading it.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (!wanted(type)) return false;
    data.resize(size);
    status = ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_SUCCESS) {
      if (!wanted(type)) return false;
      data.resize(size);
      return true;
    }
  }
  if (IsAbsentOrDenied(status)) return false;
  throw Win32Error("cannot read registry value", ValueName(root, key_path, value_name),
                   static_cast<DWORD>(status));
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The text of a REG_SZ or REG_EXPAND_SZ, expanded. A stored string need not end with its NUL;
// when it does, the text ends there. An odd last byte is no character.
std::wstring TextOf(DWORD type, const std::string& data, std::string_view value_name) {
  std::wstring text(data.size() / 2, L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
  return type == REG_EXPAND_SZ ? Expand(text, value_name) : text;
}

class Win32Registry : public RegistryAccess {
 public:
  using RegistryAccess::ReadString;

  void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value, bool& ok, bool& lost_characters) override {
    ok = lost_characters = false;
    DWORD type = 0;
    std::string data;
    if (!QueryValue(root, key_path, value_name, IsText, type, data)) return;
    bool lost = false;
    value = Narrow(TextOf(type, data, value_name), value_name, lost);
    lost_characters = lost;
    ok = true;
  }

  void ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                 std::int32_t& value, bool& ok) override {
    ok = false;
    const auto is_number_type = [](DWORD type) {
      return type == REG_DWORD || type == REG_QWORD || IsText(type);
    };
    DWORD type = 0;
    std::string data;
    if (!QueryValue(root, key_path, value_name, is_number_type, type, data)) return;
    std::optional<std::int32_t> number;
    if (IsText(type)) {
      bool lost = false;
      number = DwordFromText(Narrow(TextOf(type, data, value_name), value_name, lost));
    } else {
      number = DwordFromData(type, data);
    }
    if (!number) return;
    value = *number;
    ok = true;
  }

  void WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::int32_t value, bool& ok) override {
    ok = false;
    const std::string path(key_path);
    UniqueKey key;
    LSTATUS status =
        ::RegCreateKeyExA(RootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | ViewOf(key_path), nullptr, key.out(), nullptr);
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
