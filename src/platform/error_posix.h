#pragma once

#include <string>
#include <string_view>

#include "core/error.h"

namespace ordex {

// "<action> <path>: <system text>", the one shape of every POSIX error message; `path` names
// what failed, a file or another thing ("a pipe").
Error PosixError(std::string_view action, const std::string& path, int error_number);

// Whether a call on a path failed because the file, or a folder on its path, does not exist:
// "not there", a result, never an error.
bool IsNotThere(int error_number);

}  // namespace ordex
