#include "registry/registry_posix.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "core/error.h"
#include "platform/error_posix.h"
#include "platform/file_access.h"
#include "registry/reg_store_access.h"
#include "registry/registry.h"

namespace ordex {
namespace {

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

class RegistryFile : public RegStoreAccess {
 public:
  explicit RegistryFile(std::string path) : path_(std::move(path)) {}

 protected:
  // A user who may not change the store, or a store whose folder does not exist, gets the false
  // flag that the registry gives a user without administrator rights.
  bool Keep(const RegStore& changed, std::string_view /*key_path*/) override {
    if (files_->ReplaceAtomically(path_, changed.Serialize()) != FileStatus::kDone) return false;
    // Read back on the next call: what stands in the file now is what counts.
    loaded_ = false;
    return true;
  }

  // The parsed store, read again only when the file changed. An unchanged file costs one stat
  // and no allocation: the refresh pass reads two values on every tick for weeks.
  const RegStore& Current() override {
    struct stat info;
    FileSignature now;
    if (::stat(path_.c_str(), &info) == 0) {
      now = FileSignature::Of(info);
    } else if (!IsNotThere(errno)) {
      throw PosixError("cannot examine", path_, errno);
    }
    if (loaded_ && now == signature_) return store_;
    Load(now);
    return store_;
  }

 private:
  // `now` was taken before the file is opened: should the file change in between, the newer
  // content is read under the older signature, and the next call reads it again.
  void Load(FileSignature now) {
    std::string content;
    if (now.exists) {
      const auto stream = files_->OpenForReading(path_);
      if (stream) content = ReadToEnd(*stream);
    }
    store_ = RegStore::Parse(content, path_);
    signature_ = now;
    loaded_ = true;
  }

  std::string path_;
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
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
