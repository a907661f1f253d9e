#include "platform/error_posix.h"

#include <cstring>

namespace ordex {

Error PosixError(std::string_view action, const std::string& path, int error_number) {
  return Error(std::string(action) + " " + path + ": " + std::strerror(error_number));
}

}  // namespace ordex
