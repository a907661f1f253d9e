#include <windows.h>

#include <iterator>
#include <string>

#include "platform/error_win32.h"
#include "platform/session.h"
#include "platform/wide_text_win32.h"

namespace ordex {
namespace {

// The user name of the process's token (GetUserNameW), in the 8-bit code page; a character the
// code page lacks becomes '?', as every text the program shows.
std::string UserName() {
  wchar_t name[257];  // UNLEN + 1
  DWORD size = static_cast<DWORD>(std::size(name));
  if (!::GetUserNameW(name, &size)) {
    throw Win32Error("cannot query", "the user of this process", ::GetLastError());
  }
  // `size` counts the NUL.
  const std::size_t length = size > 0 ? size - 1 : 0;
  bool lost = false;
  return CodePageFromWide(std::wstring_view(name, length), "the user name of this process", lost);
}

}  // namespace

// "Retrieves the Remote Desktop Services session associated with a specified process"
// (ProcessIdToSessionId): 0 for services, the console's or a remote user's number otherwise.
SessionIdentity CurrentSessionIdentity() {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) {
    throw Win32Error("cannot query", "the session of this process", ::GetLastError());
  }
  return {std::to_string(session), UserName()};
}

}  // namespace ordex
