#include "platform/file_access_memory.h"

#include <algorithm>
#include <utility>

namespace ordex {
namespace {

std::string ParentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return "/";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Reads a copy taken when the file was opened, as an open handle keeps reading what it opened.
class MemoryInputStream : public InputStream {
 public:
  explicit MemoryInputStream(std::string content) : content_(std::move(content)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, content_.size() - pos_);
    std::copy_n(content_.data() + pos_, count, buffer);
    pos_ += count;
    return count;
  }

 private:
  std::string content_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string MemoryFileAccess::NativePath(std::string_view target_path) const {
  std::string path(target_path);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::optional<FileTime> MemoryFileAccess::ModificationTime(const std::string& native_path) const {
  if (FolderExists(native_path)) return FileTime{};
  const auto file = files_.find(native_path);
  if (file == files_.end()) return std::nullopt;
  return file->second.time;
}

OpenedFile MemoryFileAccess::TryOpenForReading(const std::string& native_path) const {
  CheckNotAFolder(native_path);
  const auto file = files_.find(native_path);
  if (file == files_.end()) return {FileStatus::kNotThere, nullptr};
  if (busy_.contains(native_path)) return {FileStatus::kBusy, nullptr};
  return {FileStatus::kDone, std::make_unique<MemoryInputStream>(file->second.content)};
}

FileStatus MemoryFileAccess::TryRewriteFile(const std::string& native_path,
                                            std::string_view content) const {
  CheckNotAFolder(native_path);
  if (!ParentExists(native_path)) throw Error("cannot open " + native_path + ": no such folder");
  return Write(native_path, content);
}

Error MemoryFileAccess::MissingFileError(const std::string& native_path) const {
  return Error("cannot open " + native_path + ": No such file or directory");
}

FileStatus MemoryFileAccess::ReplaceAtomically(const std::string& native_path,
                                               std::string_view content) const {
  CheckNotAFolder(native_path);
  if (!ParentExists(native_path)) return FileStatus::kNotThere;
  return Write(native_path, content);
}

void MemoryFileAccess::AddFolder(const std::string& path) {
  for (std::string folder = path; folders_.insert(folder).second; folder = ParentOf(folder)) {
  }
}

void MemoryFileAccess::SetBusy(const std::string& path, bool busy) {
  if (busy) {
    busy_.insert(path);
  } else {
    busy_.erase(path);
  }
}

bool MemoryFileAccess::FolderExists(const std::string& path) const {
  return folders_.contains(path);
}

bool MemoryFileAccess::ParentExists(const std::string& path) const {
  return FolderExists(ParentOf(path));
}

void MemoryFileAccess::CheckNotAFolder(const std::string& path) const {
  if (FolderExists(path)) throw FolderInPlaceError(path);
}

FileStatus MemoryFileAccess::Write(const std::string& path, std::string_view content) const {
  if (busy_.contains(path)) return FileStatus::kBusy;
  files_[path] = {std::string(content), FileTime{++clock_}};
  return FileStatus::kDone;
}

}  // namespace ordex
