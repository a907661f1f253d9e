#include "platform/stop_signals_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/error_posix.h"

namespace ordex {
namespace {

volatile std::sig_atomic_t stop_requested = 0;
volatile int stop_pipe_write_fd = -1;

extern "C" void OnStopSignal(int) {
  const int saved_errno = errno;
  stop_requested = 1;
  const char byte = 0;
  // Non-blocking: with the pipe full, a wake-up is pending anyway.
  [[maybe_unused]] const auto ignored = ::write(stop_pipe_write_fd, &byte, 1);
  errno = saved_errno;
}

void Install(int signal_number, struct sigaction& previous) {
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Reads and writes of a pass that a signal interrupts go on; only the loop's wait returns.
  action.sa_flags = SA_RESTART;
  if (::sigaction(signal_number, &action, &previous) != 0) {
    throw PosixError("cannot handle signal", std::to_string(signal_number), errno);
  }
}

}  // namespace

StopSignals::StopSignals() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw PosixError("cannot create", "a pipe", errno);
  }
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  stop_requested = 0;
  stop_pipe_write_fd = write_fd_;
  Install(SIGINT, previous_int_);
  Install(SIGTERM, previous_term_);
}

StopSignals::~StopSignals() {
  ::sigaction(SIGINT, &previous_int_, nullptr);
  ::sigaction(SIGTERM, &previous_term_, nullptr);
  stop_pipe_write_fd = -1;
  ::close(read_fd_);
  ::close(write_fd_);
}

bool StopSignals::Requested() const { return stop_requested != 0; }

void StopSignals::Clear() {
  // The flag first: a signal that lands while the pipe drains is then kept by the flag.
  stop_requested = 0;
  char buffer[64];
  while (::read(read_fd_, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace ordex
