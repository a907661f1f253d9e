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

}  // namespace ordex::testing
