#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

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

// Upper case of a Windows-1252 byte, as the target's file system folds names: ASCII letters,
// the Latin-1 letters and the four pairs of 0x8A-0x9F and 0xFF.
unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 0x10);
  if (c == 0xFF) return 0x9F;
  return c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

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

Error FolderInPlaceError(const std::string& path) {
  return Error("cannot open " + path + ": is a folder");
}

class PosixInputStream : public InputStream {
 public:
  PosixInputStream(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t count = ::read(fd_.get(), buffer, size);
      if (count >= 0) return static_cast<std::size_t>(count);
      if (errno != EINTR) throw PosixError("cannot read", path_, errno);
    }
  }

 private:
  Fd fd_;
  std::string path_;
};

class PosixFileAccess : public FileAccess {
 public:
  std::string NativePath(std::string_view target_path) const override {
    return ResolveIgnoringCase(ToSlashPath(target_path));
  }

  std::optional<FileTime> ModificationTime(const std::string& native_path) const override {
    struct stat info;
    if (::stat(native_path.c_str(), &info) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
      throw PosixError("cannot examine", native_path, errno);
    }
    return FileTime{static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                    info.st_mtim.tv_nsec};
  }

  OpenedFile TryOpenForReading(const std::string& native_path) const override {
    Fd fd(::open(native_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
      if (errno == ENOENT || errno == ENOTDIR) return {FileStatus::kNotThere, nullptr};
      throw PosixError("cannot open", native_path, errno);
    }
    // A folder opens for reading here; only the first read would fail, with a less clear word.
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) throw PosixError("cannot examine", native_path, errno);
    if (S_ISDIR(info.st_mode)) throw FolderInPlaceError(native_path);
    return {FileStatus::kDone, std::make_unique<PosixInputStream>(fd.Release(), native_path)};
  }

  // POSIX knows no share modes: a file is never busy here.
  FileStatus TryRewriteFile(const std::string& native_path,
                            std::string_view content) const override {
    Fd fd(::open(native_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0 && errno == EISDIR) throw FolderInPlaceError(native_path);
    if (fd.get() < 0) throw PosixError("cannot open", native_path, errno);
    while (!content.empty()) {
      const ssize_t count = ::write(fd.get(), content.data(), content.size());
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) throw PosixError("cannot write", native_path, errno);
      content.remove_prefix(static_cast<std::size_t>(count));
    }
    if (fd.Close() != 0) throw PosixError("cannot close", native_path, errno);
    return FileStatus::kDone;
  }
};

}  // namespace

Error MissingFileError(const std::string& native_path) {
  return PosixError("cannot open", native_path, ENOENT);
}

std::unique_ptr<FileAccess> CreateFileAccess() { return std::make_unique<PosixFileAccess>(); }

}  // namespace ordex
