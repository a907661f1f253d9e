#include "platform/file_access_memory.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

namespace ordex {
namespace {

using Hold = MemoryFileAccess::Hold;

enum class Access { kAttributes, kOpen, kRead, kWrite };

// What another program's hold refuses us, as described at Hold. kWrite stands for an open for
// writing together with the writes that follow; kRead for a read through a stream already open.
bool Refuses(Hold hold, Access access) {
  switch (hold) {
    case Hold::kNone:
    case Hold::kChangingWhileRead:
      return false;
    case Hold::kBusy:
      return access == Access::kOpen || access == Access::kWrite;
    case Hold::kRangeLocked:
      return access == Access::kRead || access == Access::kWrite;
    case Hold::kDeletePending:
      return access != Access::kRead;
    case Hold::kSavedInPieces:
      return access == Access::kWrite;
  }
  return false;
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return "/";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Reads a copy taken when the file was opened, as an open handle keeps reading what it opened;
// whether a range is locked is looked at on every read, as a lock comes and goes while the
// file is open.
class MemoryInputStream : public InputStream {
 public:
  MemoryInputStream(std::string content, std::string path, std::function<bool()> range_locked)
      : content_(std::move(content)),
        path_(std::move(path)),
        range_locked_(std::move(range_locked)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (range_locked_()) {
      throw BusyFileError("cannot read", path_, "part of it is locked by another program");
    }
    const std::size_t count = std::min(size, content_.size() - pos_);
    std::copy_n(content_.data() + pos_, count, buffer);
    pos_ += count;
    return count;
  }

 private:
  std::string content_;
  std::string path_;
  std::function<bool()> range_locked_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string MemoryFileAccess::NativePath(std::string_view target_path) const {
  std::string path(target_path);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

FileStamp MemoryFileAccess::TryModificationTime(const std::string& native_path) const {
  if (FolderExists(native_path)) return {FileStatus::kDone, FileTime{}};
  const auto file = files_.find(native_path);
  if (file == files_.end()) return {FileStatus::kNotThere, {}};
  if (Refuses(HoldOf(native_path), Access::kAttributes)) return {FileStatus::kBusy, {}};
  return {FileStatus::kDone, file->second.time};
}

std::chrono::milliseconds MemoryFileAccess::AgeOfStamp(FileTime stamp) const {
  if (!wall_clock_) return std::chrono::milliseconds::max();
  const auto now = std::chrono::floor<std::chrono::milliseconds>(wall_clock_().time_since_epoch());
  return now - std::chrono::milliseconds(stamp.ticks / 1'000'000);
}

OpenedFile MemoryFileAccess::TryOpenForReading(const std::string& native_path) const {
  CheckNotAFolder(native_path);
  const auto file = files_.find(native_path);
  if (file == files_.end()) return {FileStatus::kNotThere, nullptr};
  const Hold hold = HoldOf(native_path);
  if (Refuses(hold, Access::kOpen)) return {FileStatus::kBusy, nullptr};
  auto stream = std::make_unique<MemoryInputStream>(
      file->second.content, native_path,
      [this, native_path] { return Refuses(HoldOf(native_path), Access::kRead); });
  if (hold == Hold::kChangingWhileRead) file->second.time = NextStamp();
  return {FileStatus::kDone, std::move(stream)};
}

FileStatus MemoryFileAccess::TryRewriteFile(const std::string& native_path,
                                            std::string_view content,
                                            NewFileAccess new_file) const {
  CheckNotAFolder(native_path);
  if (!ParentExists(native_path)) throw Error("cannot open " + native_path + ": no such folder");
  return Write(native_path, content, new_file);
}

Error MemoryFileAccess::MissingFileError(const std::string& native_path) const {
  return Error("cannot open " + native_path + ": No such file or directory");
}

Error MemoryFileAccess::DeniedError(const std::string& native_path) const {
  return Error("cannot open " + native_path + ": Permission denied");
}

FileStatus MemoryFileAccess::ReplaceAtomically(const std::string& native_path,
                                               std::string_view content) const {
  CheckNotAFolder(native_path);
  if (!ParentExists(native_path)) return FileStatus::kNotThere;
  return Write(native_path, content, NewFileAccess::kFromFolder);
}

void MemoryFileAccess::SetUser(std::string user) { user_ = std::move(user); }

void MemoryFileAccess::RestrictNewFiles(const std::string& folder) {
  restricted_folders_.insert(folder);
}

void MemoryFileAccess::SetWriters(const std::string& path, std::set<std::string> writers) {
  files_.at(path).writers = std::move(writers);
}

const std::string& MemoryFileAccess::OwnerOf(const std::string& path) const {
  return files_.at(path).owner;
}

void MemoryFileAccess::AddFolder(const std::string& path) {
  for (std::string folder = path; folders_.insert(folder).second; folder = ParentOf(folder)) {
  }
}

void MemoryFileAccess::Remove(const std::string& path) {
  files_.erase(path);
  folders_.erase(path);
  holds_.erase(path);
}

void MemoryFileAccess::SetBusy(const std::string& path, bool busy) {
  SetHold(path, busy ? Hold::kBusy : Hold::kNone);
}

void MemoryFileAccess::SetHold(const std::string& path, Hold hold) {
  const Hold before = HoldOf(path);
  if (before == Hold::kDeletePending && hold != Hold::kDeletePending) files_.erase(path);
  if (before == Hold::kSavedInPieces && hold != Hold::kSavedInPieces) {
    files_.at(path).time = NextStamp();
  }
  if (hold == Hold::kSavedInPieces && before != Hold::kSavedInPieces) {
    files_.at(path).content.clear();
    StampPiece(path);
  }
  if (hold == Hold::kNone) {
    holds_.erase(path);
  } else {
    holds_[path] = hold;
  }
}

void MemoryFileAccess::SetModificationTime(const std::string& path, FileTime time) {
  files_.at(path).time = time;
}

void MemoryFileAccess::AppendPiece(const std::string& path, std::string_view piece) {
  files_.at(path).content.append(piece);
  StampPiece(path);
}

void MemoryFileAccess::StampPiece(const std::string& path) {
  if (!stamp_at_close_) files_.at(path).time = NextStamp();
}

void MemoryFileAccess::StampAtClose() { stamp_at_close_ = true; }

void MemoryFileAccess::StampFrom(std::function<std::chrono::system_clock::time_point()> clock,
                                 std::chrono::milliseconds resolution) {
  wall_clock_ = std::move(clock);
  resolution_ = resolution;
}

MemoryFileAccess::Hold MemoryFileAccess::HoldOf(const std::string& path) const {
  const auto hold = holds_.find(path);
  return hold == holds_.end() ? Hold::kNone : hold->second;
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

bool MemoryFileAccess::Admits(const File& file) const {
  return file.writers.contains(kInteractive) || file.writers.contains(user_);
}

// An existing file keeps its owner and access list; a new one is the writer's, with the access
// its folder and `new_file` give it.
FileStatus MemoryFileAccess::Write(const std::string& path, std::string_view content,
                                   NewFileAccess new_file) const {
  auto file = files_.find(path);
  if (file != files_.end() && !Admits(file->second)) return FileStatus::kDenied;
  if (Refuses(HoldOf(path), Access::kWrite)) return FileStatus::kBusy;
  if (file == files_.end()) {
    std::set<std::string> writers = {restricted_folders_.contains(ParentOf(path)) ? user_
                                                                                  : kInteractive};
    if (new_file == NewFileAccess::kEveryInteractiveUser) writers.insert(kInteractive);
    file = files_.emplace(path, File{{}, {}, user_, std::move(writers)}).first;
  }
  file->second.content = std::string(content);
  file->second.time = NextStamp();
  return FileStatus::kDone;
}

FileTime MemoryFileAccess::NextStamp() const {
  if (!wall_clock_) return FileTime{++clock_};
  const auto since_epoch = wall_clock_().time_since_epoch();
  return FileTime{
      std::chrono::duration_cast<std::chrono::nanoseconds>(
          std::chrono::floor<std::chrono::milliseconds>(since_epoch) / resolution_ * resolution_)
          .count()};
}

}  // namespace ordex
