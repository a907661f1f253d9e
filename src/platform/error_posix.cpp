#include "platform/error_posix.h"

#include <cerrno>
#include <cstring>

namespace ordex {

Error PosixError(std::string_view action, const std::string& path, int error_number) {
  return Error(std::string(action) + " " + path + ": " + std::strerror(error_number));
}

bool IsNotThere(int error_number) { return error_number == ENOENT || error_number == ENOTDIR; }

}  // namespace ordex
