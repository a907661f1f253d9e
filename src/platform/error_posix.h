#pragma once

#include <unistd.h>

#include <string>
#include <string_view>
#include <utility>

#include "core/error.h"

namespace ordex {

// "<action> <path>: <system text>", the one shape of every POSIX error message.
Error PosixError(std::string_view action, const std::string& path, int error_number);

// Owns a file descriptor and closes it when it goes.
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
  // Hands the descriptor over to a new owner.
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace ordex
