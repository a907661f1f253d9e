#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/error.h"

namespace ordex {

// The system's text for a Win32 error code in one line, followed by the code itself ("Access is
// denied. (error 5)"). The text is in the language of the PC (FormatMessage with language 0
// takes the thread's, the user's, then the system's language before US English), so a rule that
// must match on every PC of a fleet matches the number. A code the system has no text for is
// named by its number alone ("error 536936447").
std::string SystemErrorText(DWORD code);

// "<action> <thing>: <system text> (error <code>)", the one shape of every Windows error message.
Error Win32Error(std::string_view action, std::string_view thing, DWORD code);

}  // namespace ordex
