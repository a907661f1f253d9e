#pragma once

#include <windows.h>

#include "platform/unique_handle_win32.h"

namespace ordex {

// The machine-wide event by which ORDEX's package closes every running ORDEX, in every session,
// before it replaces or removes the program's file: the Restart Manager cannot ("An installer
// running as a service with LocalSystem privileges cannot shut down or restart any applications
// in another user or terminal session. Installers should implement a custom method to shut down
// and restart applications running in other sessions", Remarks of RmShutdown). A manual-reset
// event: set, it stays set for every ORDEX that waits on it, and for one that starts meanwhile,
// until the package resets it. The name is the contract between the program and the package.
inline constexpr wchar_t kCloseForUpdateEventName[] = L"Global\\ORDEX.CloseForUpdate";

// Opens the event with `access` alone, or creates it, not set, when it does not exist yet:
// whoever comes first (an ORDEX at a user's logon, the package as LocalSystem) creates it, with
// the security described in the source. ORDEX asks for SYNCHRONIZE, to wait on it; the package
// for EVENT_MODIFY_STATE as well. An invalid handle when it cannot, with GetLastError() set
// (ERROR_ACCESS_DENIED: a program made the name its own without these rights).
UniqueHandle OpenOrCreateCloseForUpdateEvent(DWORD access);

}  // namespace ordex
