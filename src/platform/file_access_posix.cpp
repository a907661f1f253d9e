#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/error.h"
#include "platform/file_access.h"

namespace ordex {
namespace {

Error PosixError(std::string_view action, const std::string& path, int error_number) {
  return Error(std::string(action) + " " + path + ": " + std::strerror(error_number));
}

// Owns a file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, so that a failing close can be reported.
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

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
    std::string path(target_path);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return path;
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

  std::unique_ptr<InputStream> OpenForReading(const std::string& native_path) const override {
    const int fd = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT || errno == ENOTDIR) return nullptr;
      throw PosixError("cannot open", native_path, errno);
    }
    return std::make_unique<PosixInputStream>(fd, native_path);
  }

  std::string ReadWholeFile(const std::string& native_path) const override {
    auto stream = OpenForReading(native_path);
    if (!stream) throw PosixError("cannot open", native_path, ENOENT);
    std::string content;
    char buffer[16384];
    while (const auto count = stream->Read(buffer, sizeof buffer)) content.append(buffer, count);
    return content;
  }

  void RewriteFile(const std::string& native_path, std::string_view content) const override {
    Fd fd(::open(native_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) throw PosixError("cannot open", native_path, errno);
    while (!content.empty()) {
      const ssize_t count = ::write(fd.get(), content.data(), content.size());
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) throw PosixError("cannot write", native_path, errno);
      content.remove_prefix(static_cast<std::size_t>(count));
    }
    if (fd.Close() != 0) throw PosixError("cannot close", native_path, errno);
  }
};

}  // namespace

std::unique_ptr<FileAccess> CreateFileAccess() { return std::make_unique<PosixFileAccess>(); }

}  // namespace ordex
