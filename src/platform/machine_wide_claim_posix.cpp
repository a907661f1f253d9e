#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/error_posix.h"
#include "platform/fd_posix.h"
#include "platform/machine_wide_claim.h"
#include "platform/store_key_posix.h"

namespace ordex {
namespace {

// Read access is all an flock needs, so the file's mode decides who shares the claim: every user
// who may read it. The kernel drops the lock with the last descriptor, also when the holder is
// killed.
constexpr mode_t kLockFileMode = 0644;
constexpr int kReplacedTries = 10;

class FlockClaimLock : public InstanceLock {
 public:
  explicit FlockClaimLock(int fd) : file_(fd) {}

 private:
  Fd file_;
};

// The lock file beside the store: "<store>.<the name after its last backslash>.lock".
std::string LockFilePath(std::string_view name, std::string_view scope) {
  const std::size_t backslash = name.rfind('\\');
  const std::string_view last =
      backslash == std::string_view::npos ? name : name.substr(backslash + 1);
  return StoreKey(scope) + "." + std::string(last) + ".lock";
}

// The claim where this user may neither open nor create the lock file because the store's folder
// does not let it (no file there, and no right to make one): the store is not shared that way,
// so there is nothing to wait for, as before there was such a claim.
class NoSharedClaim : public InstanceLock {};

bool MayNotCreate(int error_number) {
  return error_number == EACCES || error_number == EPERM || error_number == EROFS ||
         error_number == ENOENT;
}

// Opens the lock file, creating it readable by all when it is not there. O_NOFOLLOW keeps a link
// from standing in for it. The plain open comes first: a file another user created in a folder
// that is sticky and writable by all may be opened, but not with O_CREAT (protected_regular).
// `tried_creating` tells a failure of the creation from one of the open.
int OpenLockFile(const std::string& path, bool& tried_creating) {
  for (;;) {
    tried_creating = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    tried_creating = true;
    const int created =
        ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kLockFileMode);
    if (created >= 0) {
      // The mode without the umask, so that other users of the store can open it.
      ::fchmod(created, kLockFileMode);
      return created;
    }
    if (errno != EEXIST) return created;
  }
}

bool StillNamedBy(int fd, const std::string& path) {
  struct stat open_file, named_file;
  return ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named_file) == 0 &&
         open_file.st_dev == named_file.st_dev && open_file.st_ino == named_file.st_ino;
}

MachineWideClaim Unavailable(const std::string& path, int error_number) {
  return {nullptr, PosixError("cannot use the machine-wide lock file", path, error_number).what()};
}

}  // namespace

MachineWideClaim TryClaimMachineWide(std::string_view name, std::string_view scope) {
  const std::string path = LockFilePath(name, scope);
  // A file removed or replaced between our open and our lock claims nothing: take it again.
  for (int attempt = 0; attempt < kReplacedTries; ++attempt) {
    bool created = false;
    Fd file(OpenLockFile(path, created));
    if (file.get() < 0 && created && MayNotCreate(errno)) {
      return {std::make_unique<NoSharedClaim>(), {}};
    }
    if (file.get() < 0) return Unavailable(path, errno);
    struct stat info;
    if (::fstat(file.get(), &info) != 0) return Unavailable(path, errno);
    if (!S_ISREG(info.st_mode)) {
      return {nullptr, "cannot use the machine-wide lock file " + path + ": not a regular file"};
    }
    // Another open of the same file conflicts even within this process: a second claim here is
    // refused as it is elsewhere.
    if (RetryOnEintr([&] { return ::flock(file.get(), LOCK_EX | LOCK_NB); }) != 0) {
      if (errno == EWOULDBLOCK) return {};
      return Unavailable(path, errno);
    }
    if (StillNamedBy(file.get(), path))
      return {std::make_unique<FlockClaimLock>(file.Release()), {}};
  }
  return {nullptr, "cannot use the machine-wide lock file " + path + ": it keeps being replaced"};
}

}  // namespace ordex
