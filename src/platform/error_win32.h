#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/error.h"

namespace ordex {

// The system's text for a Win32 error code, without the trailing line end and full stop, so it
// reads well after a colon ("The system cannot find the file specified").
std::string SystemErrorText(DWORD code);

// "<action> <thing>: <system text>", the one shape of every Windows error message.
Error Win32Error(std::string_view action, std::string_view thing, DWORD code);

}  // namespace ordex
