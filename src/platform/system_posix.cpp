#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "core/error.h"
#include "core/text.h"
#include "platform/error_posix.h"
#include "platform/fd_posix.h"
#include "platform/store_key_posix.h"
#include "platform/system.h"

namespace ordex {
namespace {

// The claim is an flock on an open file: the kernel drops it with the last descriptor, also when
// the process is killed, so a crash never blocks the next start. The file itself stays; only
// the lock counts.
class FlockInstanceLock : public InstanceLock {
 public:
  explicit FlockInstanceLock(int fd) : fd_(fd) {}
  ~FlockInstanceLock() override { ::close(fd_); }
  FlockInstanceLock(const FlockInstanceLock&) = delete;
  FlockInstanceLock& operator=(const FlockInstanceLock&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Opens (creating) the lock file. O_NOFOLLOW and the owner check keep a link or a file of
// someone else from standing in for ours. The sticky bit keeps clean-ups of /tmp and of the runtime
// folder (systemd-tmpfiles, tmpwatch) from removing the file of an instance that runs for weeks.
std::unique_ptr<FlockInstanceLock> OpenLockFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw PosixError("cannot open", path, errno);
  auto lock = std::make_unique<FlockInstanceLock>(fd);
  struct stat info;
  if (::fstat(fd, &info) != 0) throw PosixError("cannot examine", path, errno);
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    throw Error("cannot use " + path + ": not a file of this user");
  }
  if ((info.st_mode & S_ISVTX) == 0 && ::fchmod(fd, S_ISVTX | S_IRUSR | S_IWUSR) != 0) {
    throw PosixError("cannot mark", path, errno);
  }
  return lock;
}

bool StillNamedBy(int fd, const std::string& path) {
  struct stat open_file, named_file;
  if (::fstat(fd, &open_file) != 0) throw PosixError("cannot examine", path, errno);
  if (::stat(path.c_str(), &named_file) != 0) {
    if (errno == ENOENT) return false;
    throw PosixError("cannot examine", path, errno);
  }
  return open_file.st_dev == named_file.st_dev && open_file.st_ino == named_file.st_ino;
}

// 64-bit FNV-1a: stable across builds, so every version of the program agrees on the name.
std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  return hash;
}

// A folder in which no other user can create the lock file first: a real folder (not a link)
// of this user that no one else may write.
bool IsPrivateFolder(const std::string& folder) {
  struct stat info;
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::optional<std::string> AbsoluteFolderFrom(const char* variable) {
  const char* value = std::getenv(variable);
  if (!value || value[0] != '/') return std::nullopt;
  return std::string(value);
}

// Where the lock file goes, so that another local user cannot stop this one from starting by
// creating it first: the per-user runtime folder when there is one; otherwise a folder of this
// user's own in the temporary folder ($TMPDIR or /tmp), created private here; when that folder
// cannot be made (a TMPDIR naming a folder that is gone, or one this user may not write) or
// another user has taken its name, the home folder (as a hidden file). Nothing when none of them
// is usable; `refused` then says why the temporary folder is not.
std::optional<std::string> LockFilePath(std::string_view scope, std::string& refused) {
  char name[64];
  std::snprintf(name, sizeof name, "ordex-%016llx.lock",
                static_cast<unsigned long long>(Fnv1a(StoreKey(scope))));
  const auto runtime = AbsoluteFolderFrom("XDG_RUNTIME_DIR");
  if (runtime && IsPrivateFolder(*runtime)) return *runtime + "/" + name;
  const std::string temp =
      AbsoluteFolderFrom("TMPDIR").value_or("/tmp") + "/ordex-" + std::to_string(::geteuid());
  if (::mkdir(temp.c_str(), 0700) != 0 && errno != EEXIST) {
    refused = PosixError("cannot create", temp, errno).what();
  } else if (IsPrivateFolder(temp)) {
    return temp + "/" + name;
  } else {
    refused = "cannot use " + temp + ": not a private folder of this user";
  }
  const auto home = AbsoluteFolderFrom("HOME");
  if (home && IsPrivateFolder(*home)) return *home + "/." + name;
  return std::nullopt;
}

class NoInstanceLock : public InstanceLock {};

}  // namespace

std::unique_ptr<InstanceLock> ClaimSingleInstance(std::string_view scope) {
  std::string refused;
  const auto lock_path = LockFilePath(scope, refused);
  if (!lock_path) {
    // Another user must not be able to keep ORDEX from running at all; a second instance of
    // this user's is the lesser harm.
    ReportWarning(refused + "; no private folder for the one-instance test, running without it");
    return std::make_unique<NoInstanceLock>();
  }
  const std::string& path = *lock_path;
  // Another process may remove the file between our open and our lock (a clean-up of /tmp, a
  // user); a lock on a file that no longer has the name claims nothing, so take it again.
  for (int attempt = 0; attempt < 10; ++attempt) {
    auto lock = OpenLockFile(path);
    if (RetryOnEintr([&] { return ::flock(lock->fd(), LOCK_EX | LOCK_NB); }) != 0) {
      if (errno == EWOULDBLOCK) return nullptr;
      throw PosixError("cannot lock", path, errno);
    }
    if (StillNamedBy(lock->fd(), path)) return lock;
  }
  throw Error("cannot lock " + path + ": the file keeps being replaced");
}

void QueryComputerName(char* buffer, std::uint32_t& size) {
  if (size == 0) return;
  // gethostname may leave a name that fills the buffer without its NUL.
  if (::gethostname(buffer, size) != 0) return;
  buffer[size - 1] = '\0';
  size = static_cast<std::uint32_t>(std::strlen(buffer));
}

char SystemDecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  const char* point = conventions ? conventions->decimal_point : nullptr;
  return point && point[0] && !point[1] ? point[0] : '.';
}

namespace {

// A message may carry bytes of a path or a file; a control byte must neither end the line
// early, nor reach the terminal, nor cut the message at a NUL.
void WriteReportLine(const char* prefix, std::string_view message) {
  const std::string line = EscapeControlBytes(message);
  std::fprintf(stderr, "%s%.*s\n", prefix, static_cast<int>(line.size()), line.data());
}

}  // namespace

void ReportFatalError(std::string_view message) {
  WriteReportLine(EventLinePrefix(EventLevel::kError), message);
}

void ReportWarning(std::string_view message) {
  WriteReportLine(EventLinePrefix(EventLevel::kWarning), message);
}

void LogEvent(const Event& event) noexcept {
  try {
    WriteReportLine(EventLinePrefix(event.level), event.line);
  } catch (...) {
    // Out of memory for the escaped line: the line is lost, the program goes on.
  }
}

}  // namespace ordex
