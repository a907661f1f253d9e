#include <unistd.h>

#include <clocale>
#include <cstdio>

#include "platform/system.h"

namespace ordex {

std::unique_ptr<InstanceLock> ClaimSingleInstance(std::string_view) {
  return std::make_unique<InstanceLock>();  // not built yet
}

void QueryComputerName(char* buffer, std::uint32_t& size) {
  if (::gethostname(buffer, size) == 0) {
    buffer[size - 1] = '\0';
  }
}

char SystemDecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  const char* point = conventions ? conventions->decimal_point : nullptr;
  return point && point[0] && !point[1] ? point[0] : '.';
}

void ReportFatalError(std::string_view message) {
  std::fprintf(stderr, "ordex: %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace ordex
