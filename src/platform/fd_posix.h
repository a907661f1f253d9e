#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace ordex {

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

// Calls `call` (a system call that returns -1 and sets errno on failure) again for as long as a
// signal interrupts it: a signal that the program handles elsewhere must not fail a read, a
// write or a lock.
template <typename Call>
auto RetryOnEintr(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

}  // namespace ordex
