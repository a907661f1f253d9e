#pragma once

#include <string>
#include <string_view>

#include "core/error.h"

namespace ordex {

// "<action> <path>: <system text>", the one shape of every POSIX error message.
Error PosixError(std::string_view action, const std::string& path, int error_number);

}  // namespace ordex
