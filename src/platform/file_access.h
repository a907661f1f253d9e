#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_time.h"

namespace ordex {

// An open file read from start to end in pieces; closed when destroyed.
class InputStream {
 public:
  virtual ~InputStream() = default;
  // Reads up to `size` bytes into `buffer`; 0 means the end of the file. Throws Error when the
  // read fails.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// The file system as the program sees it. Paths given to it are target paths, built as on the
// controller PC ("C:\XOC\ROBOTER\INIT\hw_inf.ini"); NativePath turns them into this platform's.
// Every failure other than "not there" throws Error naming the native path and the cause.
class FileAccess {
 public:
  virtual ~FileAccess() = default;

  // The platform's path for a target path. On POSIX backslashes become '/', a drive letter "X:"
  // becomes "/mnt/x", and each component that has no exact match is matched without regard to
  // case, as the target's file system does. On Windows the path is used as it is.
  virtual std::string NativePath(std::string_view target_path) const = 0;

  // The last-modification time at full resolution, or nothing when the file does not exist.
  virtual std::optional<FileTime> ModificationTime(const std::string& native_path) const = 0;

  // Opens for reading only, or returns nullptr when the file (or a folder on its path) does
  // not exist.
  virtual std::unique_ptr<InputStream> OpenForReading(const std::string& native_path) const = 0;

  // The whole content of a file that must exist.
  virtual std::string ReadWholeFile(const std::string& native_path) const = 0;

  // Writes `content` over the file in place (created when missing, truncated otherwise), so that
  // the file keeps its identity and permissions. A failing open, write or close throws.
  virtual void RewriteFile(const std::string& native_path, std::string_view content) const = 0;
};

// The file access of the platform the program was built for.
std::unique_ptr<FileAccess> CreateFileAccess();

}  // namespace ordex
