#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file_access.h"

namespace ordex {

// A file access that passes every call to another one. A file access that differs in a few
// calls (start-up's, which waits for files another program holds) derives from it and overrides
// only those, so that a new call of FileAccess is forwarded here once.
class FileAccessWrapper : public FileAccess {
 public:
  explicit FileAccessWrapper(const FileAccess& target) : target_(target) {}

  const FileAccess& target() const { return target_; }

  std::string NativePath(std::string_view target_path) const override {
    return target_.NativePath(target_path);
  }
  FileStamp TryModificationTime(const std::string& native_path) const override {
    return target_.TryModificationTime(native_path);
  }
  std::chrono::milliseconds AgeOfStamp(FileTime stamp) const override {
    return target_.AgeOfStamp(stamp);
  }
  OpenedFile TryOpenForReading(const std::string& native_path) const override {
    return target_.TryOpenForReading(native_path);
  }
  FileStatus TryRewriteFile(const std::string& native_path, std::string_view content,
                            NewFileAccess new_file) const override {
    return target_.TryRewriteFile(native_path, content, new_file);
  }
  FileStatus ReplaceAtomically(const std::string& native_path,
                               std::string_view content) const override {
    return target_.ReplaceAtomically(native_path, content);
  }
  Error MissingFileError(const std::string& native_path) const override {
    return target_.MissingFileError(native_path);
  }
  Error DeniedError(const std::string& native_path) const override {
    return target_.DeniedError(native_path);
  }

 private:
  const FileAccess& target_;
};

}  // namespace ordex
