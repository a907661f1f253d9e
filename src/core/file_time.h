#pragma once

#include <cstdint>

namespace ordex {

// A file's last-modification stamp at the file system's full resolution. It is only ever compared
// for equality, so the unit is the platform's own (nanoseconds on POSIX, 100 ns on Windows).
struct FileTime {
  std::int64_t ticks = 0;

  friend bool operator==(const FileTime&, const FileTime&) = default;
};

}  // namespace ordex
