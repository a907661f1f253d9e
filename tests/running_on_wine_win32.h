#pragma once

#include <windows.h>

namespace ordex::testing {

// Wine runs the Windows tests too, and differs from Windows where some of them matter: such a
// test is skipped there, saying why ("Wine ..."), and proven on Windows.
inline bool RunningOnWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace ordex::testing
