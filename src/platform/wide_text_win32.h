#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace ordex {

// Text of the 8-bit code page, in which the program holds all text, in UTF-16 for the wide
// functions of Windows (the registry's names, the event log's strings).
inline std::wstring WideFromCodePage(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

}  // namespace ordex
