#include "registry/registry_posix.h"
#include "platform/error_posix.h"
#include "platform/fd_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "core/error.h"
#include "registry/reg_store.h"

namespace ordex {
namespace {

// The errors a user without the rights to change the store gets; they make a false flag, as
// the registry gives a user without administrator rights.
bool IsDenied(int error_number) {
  return error_number == EACCES || error_number == EPERM || error_number == EROFS;
}

// What tells that the file changed. The modification time is compared to the nanosecond, since
// two saves within one second must not look alike; the inode catches a file replaced by rename.
struct FileSignature {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t mtime_sec = 0;
  long mtime_nsec = 0;

  static FileSignature Of(const struct stat& info) {
    return {true,         info.st_dev,         info.st_ino,
            info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
  }
  bool operator==(const FileSignature&) const = default;
};

// A temporary file that is removed again unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() {
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  void Commit() { committed_ = true; }

 private:
  std::string path_;
  bool committed_ = false;
};

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A store reached through a symbolic link is replaced where the link points; the link stays.
std::string ResolvedPath(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw PosixError("cannot write", path, errno);
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

std::string ReadAll(int fd, const std::string& path) {
  std::string content;
  char buffer[16384];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw PosixError("cannot read", path, errno);
    if (count == 0) return content;
    content.append(buffer, static_cast<std::size_t>(count));
  }
}

// Creates a new file next to `target` that no one else uses.
std::optional<int> CreateTempBeside(const std::string& target, std::string& temp_path,
                                    mode_t mode) {
  const std::string folder = FolderOf(target);
  const std::string base = target.substr(target.rfind('/') + 1);
  for (unsigned attempt = 0;; ++attempt) {
    temp_path = folder + "/." + base + "." + std::to_string(::getpid()) + "." +
                std::to_string(attempt) + ".tmp";
    const int fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    // A missing folder is not created: a mistyped ORDEX_REGISTRY must not spread folders.
    if (IsDenied(errno) || errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    if (errno != EEXIST || attempt > 100) throw PosixError("cannot create", temp_path, errno);
  }
}

void SyncFolder(const std::string& folder) {
  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Without read access to the folder the rename stands but cannot be flushed from here.
  if (fd.get() < 0) return;
  if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS)
    throw PosixError("cannot flush", folder, errno);
}

class RegistryFile : public RegistryAccess {
 public:
  explicit RegistryFile(std::string path) : path_(std::move(path)) {}

  using RegistryAccess::ReadString;

  void ReadString(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::string& value, bool& ok, bool& lost_characters) override {
    lost_characters = false;
    if (root != HKEY_LOCAL_MACHINE_ROOT) {
      ok = false;
      return;
    }
    ok = Current().ReadString(root, key_path, value_name, value, lost_characters);
  }

  void ReadDword(RootKey root, std::string_view key_path, std::string_view value_name,
                 std::int32_t& value, bool& ok) override {
    if (root != HKEY_LOCAL_MACHINE_ROOT) {
      ok = false;
      return;
    }
    ok = Current().ReadDword(root, key_path, value_name, value);
  }

  void WriteDword(RootKey root, std::string_view key_path, std::string_view value_name,
                  std::int32_t value, bool& ok) override {
    if (root != HKEY_LOCAL_MACHINE_ROOT) {
      ok = false;
      return;
    }
    RegStore changed = Current();
    changed.WriteDword(root, key_path, value_name, value);
    const auto signature = Replace(changed.Serialize());
    ok = signature.has_value();
    if (!ok) return;
    store_ = std::move(changed);
    signature_ = *signature;
  }

 private:
  // The parsed store, read again only when the file changed. An unchanged file costs one stat
  // and no allocation: the refresh pass reads two values on every tick for weeks.
  const RegStore& Current() {
    struct stat info;
    FileSignature now;
    if (::stat(path_.c_str(), &info) == 0) {
      now = FileSignature::Of(info);
    } else if (errno != ENOENT && errno != ENOTDIR) {
      throw PosixError("cannot examine", path_, errno);
    }
    if (loaded_ && now == signature_) return store_;
    Load(now);
    return store_;
  }

  void Load(FileSignature now) {
    std::string content;
    if (now.exists) {
      Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
      if (fd.get() >= 0) {
        struct stat info;
        if (::fstat(fd.get(), &info) != 0) throw PosixError("cannot examine", path_, errno);
        // The signature of what is read, should the file have changed since the stat.
        now = FileSignature::Of(info);
        content = ReadAll(fd.get(), path_);
      } else if (errno == ENOENT || errno == ENOTDIR) {
        now = FileSignature();
      } else {
        throw PosixError("cannot open", path_, errno);
      }
    }
    store_ = RegStore::Parse(content, path_);
    signature_ = now;
    loaded_ = true;
  }

  // Replaces the store with `bytes` so that a crash leaves either the old or the new file:
  // a temporary file in the same folder, flushed, then renamed over it. Returns the new file's
  // signature, or nothing when the store cannot be written by this user.
  std::optional<FileSignature> Replace(std::string_view bytes) const {
    const std::string target = ResolvedPath(path_);
    struct stat old;
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT && errno != ENOTDIR)
      throw PosixError("cannot examine", target, errno);
    if (exists && !MayWrite(target)) return std::nullopt;

    std::string temp_path;
    const auto created = CreateTempBeside(target, temp_path, exists ? 0600 : 0666);
    if (!created) return std::nullopt;
    TempFile temp(temp_path);
    Fd fd(*created);
    if (exists && !KeepOwnerAndMode(fd.get(), old, temp_path)) return std::nullopt;
    WriteAll(fd.get(), bytes, temp_path);
    if (::fsync(fd.get()) != 0) throw PosixError("cannot flush", temp_path, errno);
    struct stat written;
    if (::fstat(fd.get(), &written) != 0) throw PosixError("cannot examine", temp_path, errno);
    if (fd.Close() != 0) throw PosixError("cannot close", temp_path, errno);
    if (::rename(temp_path.c_str(), target.c_str()) != 0) {
      if (IsDenied(errno)) return std::nullopt;
      throw PosixError("cannot replace", target, errno);
    }
    temp.Commit();
    SyncFolder(FolderOf(target));
    return FileSignature::Of(written);
  }

  // The file's own write permission counts, not only the folder's: renaming would replace a
  // read-only store that the user may not change.
  static bool MayWrite(const std::string& target) {
    Fd probe(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (probe.get() >= 0) return true;
    if (IsDenied(errno)) return false;
    throw PosixError("cannot open", target, errno);
  }

  // The new file gets the old one's permissions and owner; a user who cannot keep the owner
  // may not replace the store.
  static bool KeepOwnerAndMode(int fd, const struct stat& old, const std::string& temp_path) {
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0) {
      if (errno == EPERM) return false;
      throw PosixError("cannot change the owner of", temp_path, errno);
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0)
      throw PosixError("cannot change the permissions of", temp_path, errno);
    return true;
  }

  std::string path_;
  RegStore store_;
  FileSignature signature_;
  bool loaded_ = false;
};

}  // namespace

std::string RegistryStoreLocation() {
  const char* path = std::getenv("ORDEX_REGISTRY");
  return path && *path ? path : "/etc/ordex/registry.reg";
}

std::unique_ptr<RegistryAccess> CreateRegistryFile(std::string path) {
  return std::make_unique<RegistryFile>(std::move(path));
}

std::unique_ptr<RegistryAccess> CreateRegistryAccess() {
  return CreateRegistryFile(RegistryStoreLocation());
}

}  // namespace ordex
