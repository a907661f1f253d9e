#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "core/case_fold.h"
#include "core/codepage.h"
#include "core/error.h"
#include "platform/error_posix.h"
#include "platform/fd_posix.h"
#include "platform/file_access.h"

namespace ordex {
namespace {

// Owns an open directory stream.
class Dir {
 public:
  explicit Dir(const std::string& path) : dir_(::opendir(path.empty() ? "." : path.c_str())) {}
  ~Dir() {
    if (dir_) ::closedir(dir_);
  }
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// Whether a directory entry names `component`. Names on this side are normally UTF-8 while the
// program's texts are Windows-1252, so an entry also matches through that conversion.
bool EntryMatches(std::string_view entry, std::string_view component) {
  if (EqualIgnoringCase(entry, component)) return true;
  return !IsAscii(entry) && EqualIgnoringCase(Utf8ToCp1252(entry), component);
}

// The entry of folder `parent` that names `component` regardless of case, or nothing. Of several
// (a case-sensitive file system may hold "Xoc" and "XOC" side by side) the byte-wise smallest
// wins, so the choice does not depend on the order of the directory.
std::optional<std::string> FindIgnoringCase(const std::string& parent, std::string_view component) {
  Dir dir(parent);
  if (!dir.get()) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (EntryMatches(name, component) && (!best || name < *best)) best = std::string(name);
  }
  return best;
}

// `component` of the folder `parent` as it exists there, or nothing when it does not.
std::optional<std::string> ResolveComponent(const std::string& parent, std::string_view component) {
  std::string exact = parent + std::string(component);
  if (Exists(exact)) return std::string(component);
  if (!IsAscii(component)) {
    std::string utf8 = Cp1252ToUtf8(component);
    if (Exists(parent + utf8)) return utf8;
  }
  return FindIgnoringCase(parent, component);
}

// Replaces each component of a '/'-separated path by the name it has on disk. Separators stay
// as they are, doubled ones included; from the first component that does not exist on, the rest
// is kept as written.
std::string ResolveIgnoringCase(const std::string& path) {
  if (Exists(path)) return path;
  std::string resolved;
  resolved.reserve(path.size());
  std::size_t pos = 0;
  while (pos < path.size()) {
    if (path[pos] == '/') {
      resolved += '/';
      ++pos;
      continue;
    }
    const std::size_t end = std::min(path.find('/', pos), path.size());
    const std::string_view component(path.data() + pos, end - pos);
    const auto found = component == "." || component == ".."
                           ? std::optional<std::string>(component)
                           : ResolveComponent(resolved, component);
    if (!found) return resolved.append(path, pos);
    resolved += *found;
    pos = end;
  }
  return resolved;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Backslashes become '/', and a drive letter "X:" becomes /mnt/x as WSL mounts the drives.
std::string ToSlashPath(std::string_view target_path) {
  std::string path;
  if (target_path.size() >= 2 && IsAsciiLetter(target_path[0]) && target_path[1] == ':') {
    path = "/mnt/";
    path += static_cast<char>(target_path[0] | 0x20);
    target_path.remove_prefix(2);
    if (!target_path.empty() && target_path[0] != '\\' && target_path[0] != '/') path += '/';
  }
  path.reserve(path.size() + target_path.size());
  for (const char c : target_path) path += c == '\\' ? '/' : c;
  return path;
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t count = RetryOnEintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (count < 0) throw PosixError("cannot write", path, errno);
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

// The errors a user without the rights to change a file gets.
bool IsDenied(int error_number) {
  return error_number == EACCES || error_number == EPERM || error_number == EROFS;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file next to a target that no one else uses, removed again unless it was renamed into
// place. A folder that is missing or closed to this user makes none, and status() says which.
class TempFile {
 public:
  TempFile(const std::string& target, mode_t mode) : fd_(Create(target, mode)) {}
  ~TempFile() {
    if (status_ == FileStatus::kDone && !committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  FileStatus status() const { return status_; }
  const std::string& path() const { return path_; }
  int fd() const { return fd_.get(); }
  int Close() { return fd_.Close(); }
  void Commit() { committed_ = true; }

 private:
  int Create(const std::string& target, mode_t mode) {
    const std::string prefix = FolderOf(target) + "/." + target.substr(target.rfind('/') + 1);
    for (unsigned attempt = 0;; ++attempt) {
      path_ = prefix + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".tmp";
      const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd >= 0) return fd;
      // A missing folder is not created: a mistyped path must not spread folders.
      if (IsDenied(errno) || IsNotThere(errno)) {
        status_ = IsDenied(errno) ? FileStatus::kDenied : FileStatus::kNotThere;
        return -1;
      }
      if (errno != EEXIST || attempt > 100) throw PosixError("cannot create", path_, errno);
    }
  }

  std::string path_;
  FileStatus status_ = FileStatus::kDone;
  bool committed_ = false;
  Fd fd_;
};

// A file reached through a symbolic link is replaced where the link points; the link stays.
std::string ResolvedPath(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

void SyncFolder(const std::string& folder) {
  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Without read access to the folder the rename stands but cannot be flushed from here.
  if (fd.get() < 0) return;
  if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS)
    throw PosixError("cannot flush", folder, errno);
}

// The file's own write permission counts, not only the folder's: renaming would replace a
// read-only file that the user may not change.
bool MayWrite(const std::string& target) {
  Fd probe(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  if (probe.get() >= 0) return true;
  if (IsDenied(errno)) return false;
  if (errno == EISDIR) throw FolderInPlaceError(target);
  throw PosixError("cannot open", target, errno);
}

// The new file gets the old one's permissions and owner; a user who cannot keep the owner
// may not replace the file.
bool KeepOwnerAndMode(int fd, const struct stat& old, const std::string& temp_path) {
  if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
      ::fchown(fd, old.st_uid, old.st_gid) != 0) {
    if (errno == EPERM) return false;
    throw PosixError("cannot change the owner of", temp_path, errno);
  }
  if (::fchmod(fd, old.st_mode & 07777) != 0)
    throw PosixError("cannot change the permissions of", temp_path, errno);
  return true;
}

// POSIX knows no share modes: a file is never busy here.
FileStatus Replace(const std::string& path, std::string_view content) {
  const std::string target = ResolvedPath(path);
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && !IsNotThere(errno)) throw PosixError("cannot examine", target, errno);
  if (exists && !MayWrite(target)) return FileStatus::kDenied;

  TempFile temp(target, exists ? 0600 : 0666);
  if (temp.status() != FileStatus::kDone) return temp.status();
  if (exists && !KeepOwnerAndMode(temp.fd(), old, temp.path())) return FileStatus::kDenied;
  WriteAll(temp.fd(), content, temp.path());
  if (::fsync(temp.fd()) != 0) throw PosixError("cannot flush", temp.path(), errno);
  if (temp.Close() != 0) throw PosixError("cannot close", temp.path(), errno);
  if (::rename(temp.path().c_str(), target.c_str()) != 0) {
    if (IsDenied(errno)) return FileStatus::kDenied;
    throw PosixError("cannot replace", target, errno);
  }
  temp.Commit();
  SyncFolder(FolderOf(target));
  return FileStatus::kDone;
}

// Opens the file for writing it anew, truncated, created when missing with mode 0644 under the
// umask. A file created for every interactive user also gets group read and write, whatever the
// umask takes away: POSIX has no group of the users logged on, and the users who share the
// controller's tree share its group (the file takes the folder's group where the folder is
// set-group-ID, the creator's primary group otherwise). Others get no write: that would admit
// every account, services included. Only a file this call created is changed; a file that exists
// keeps its mode. Returns the descriptor, or -1 with errno set as open(2) does.
int OpenForRewrite(const std::string& path, NewFileAccess new_file) {
  constexpr int kWrite = O_WRONLY | O_CLOEXEC;
  if (new_file == NewFileAccess::kEveryInteractiveUser) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      Fd created(::open(path.c_str(), kWrite | O_CREAT | O_EXCL, 0664));
      if (created.get() >= 0) {
        struct stat info;
        if (::fstat(created.get(), &info) != 0 ||
            ::fchmod(created.get(), (info.st_mode & 07777) | S_IRGRP | S_IWGRP) != 0) {
          throw PosixError("cannot change the permissions of", path, errno);
        }
        return created.Release();
      }
      if (errno != EEXIST) return -1;
      const int existing = ::open(path.c_str(), kWrite | O_TRUNC);
      // Removed between the two opens: try to create it again.
      if (existing >= 0 || errno != ENOENT) return existing;
    }
    // Still "there" to O_EXCL and missing to the open: a symbolic link that points nowhere,
    // whose target is then created as by any rewrite.
  }
  return ::open(path.c_str(), kWrite | O_CREAT | O_TRUNC, 0644);
}

class PosixInputStream : public InputStream {
 public:
  PosixInputStream(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const ssize_t count = RetryOnEintr([&] { return ::read(fd_.get(), buffer, size); });
    if (count < 0) throw PosixError("cannot read", path_, errno);
    return static_cast<std::size_t>(count);
  }

 private:
  Fd fd_;
  std::string path_;
};

class PosixFileAccess : public FileAccess {
 public:
  Error MissingFileError(const std::string& native_path) const override {
    return PosixError("cannot open", native_path, ENOENT);
  }
  Error DeniedError(const std::string& native_path) const override {
    return PosixError("cannot open", native_path, EACCES);
  }

  std::string NativePath(std::string_view target_path) const override {
    return ResolveIgnoringCase(ToSlashPath(target_path));
  }

  // A file unlinked while open loses its name at once: it is not there, never busy.
  FileStamp TryModificationTime(const std::string& native_path) const override {
    struct stat info;
    if (::stat(native_path.c_str(), &info) != 0) {
      if (IsNotThere(errno)) return {FileStatus::kNotThere, {}};
      throw PosixError("cannot examine", native_path, errno);
    }
    return {FileStatus::kDone,
            FileTime{static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                     info.st_mtim.tv_nsec}};
  }

  std::chrono::milliseconds AgeOfStamp(FileTime stamp) const override {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t now_ms =
        static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
    return std::chrono::milliseconds(now_ms - stamp.ticks / 1'000'000);
  }

  OpenedFile TryOpenForReading(const std::string& native_path) const override {
    Fd fd(::open(native_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
      if (IsNotThere(errno)) return {FileStatus::kNotThere, nullptr};
      throw PosixError("cannot open", native_path, errno);
    }
    // A folder opens for reading here; only the first read would fail, with a less clear word.
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) throw PosixError("cannot examine", native_path, errno);
    if (S_ISDIR(info.st_mode)) throw FolderInPlaceError(native_path);
    return {FileStatus::kDone, std::make_unique<PosixInputStream>(fd.Release(), native_path)};
  }

  // POSIX knows no share modes: a file is never busy here.
  FileStatus TryRewriteFile(const std::string& native_path, std::string_view content,
                            NewFileAccess new_file) const override {
    Fd fd(OpenForRewrite(native_path, new_file));
    if (fd.get() < 0 && IsDenied(errno)) return FileStatus::kDenied;
    if (fd.get() < 0 && errno == EISDIR) throw FolderInPlaceError(native_path);
    if (fd.get() < 0) throw PosixError("cannot open", native_path, errno);
    WriteAll(fd.get(), content, native_path);
    if (fd.Close() != 0) throw PosixError("cannot close", native_path, errno);
    return FileStatus::kDone;
  }

  FileStatus ReplaceAtomically(const std::string& native_path,
                               std::string_view content) const override {
    return Replace(native_path, content);
  }
};

}  // namespace

std::unique_ptr<FileAccess> CreateFileAccess() { return std::make_unique<PosixFileAccess>(); }

}  // namespace ordex
