#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace ordex::testing {

// Stores a value below HKEY_LOCAL_MACHINE in the 32-bit view the component uses, bypassing the
// component. The ANSI function converts strings from the code page, as a program that writes
// them does; `exact_bytes` stores the bytes as given (strings then in UTF-16LE with their NUL).
inline void SeedWin32Value(const std::string& key_path, const std::string& name, DWORD type,
                           std::string_view data, bool exact_bytes = false) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const auto bytes = reinterpret_cast<const BYTE*>(data.data());
  const auto size = static_cast<DWORD>(data.size());
  const std::wstring wide_name(name.begin(), name.end());  // the tests' names are ASCII
  const LSTATUS status = exact_bytes
                             ? ::RegSetValueExW(key, wide_name.c_str(), 0, type, bytes, size)
                             : ::RegSetValueExA(key, name.c_str(), 0, type, bytes, size);
  ::RegCloseKey(key);
  EXPECT_EQ(status, ERROR_SUCCESS) << name;
}

// Removes the key at `key_path` below HKEY_LOCAL_MACHINE (two levels at least) with all it holds,
// in the 32-bit view; nothing when it is not there.
inline void RemoveWin32Key(std::string_view key_path) {
  const std::string path(key_path);
  const auto separator = path.rfind('\\');
  HKEY parent = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.substr(0, separator).c_str(), 0,
                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, &parent) != ERROR_SUCCESS) {
    return;
  }
  ::RegDeleteTreeA(parent, path.substr(separator + 1).c_str());
  ::RegCloseKey(parent);
}

}  // namespace ordex::testing
