#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/error_win32.h"

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

// UTF-16 from Windows in the 8-bit code page. A character the code page lacks becomes '?' and
// sets `lost`, never a look-alike that could name another file ("X\u014CC" must not read as
// "XOC"; WC_NO_BEST_FIT_CHARS: "translate any Unicode characters that do not translate directly
// to multibyte equivalents to the default character"). `what` names
// the text in the error of a failed conversion.
inline std::string CodePageFromWide(std::wstring_view text, std::string_view what, bool& lost) {
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
  if (length <= 0) throw Win32Error("cannot convert", what, ::GetLastError());
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, flags, text.data(), size, narrow.data(), length, nullptr,
                        used_default_out);
  lost = used_default != FALSE;
  return narrow;
}

}  // namespace ordex
