#pragma once

#include <csignal>

namespace ordex {

// SIGINT and SIGTERM turned into a request to end the event loop. While an object lives, the two
// signals no longer end the process: they set a flag and make a pipe readable, so an event loop
// blocked in poll or select wakes at once (the self-pipe trick). The previous handlers come back
// when it goes. One object at a time per process.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Readable once a signal has arrived.
  int fd() const { return read_fd_; }

  // Whether a signal has arrived. Costs no system call.
  bool Requested() const;

  // Forgets the signals that arrived so far.
  void Clear();

 private:
  int read_fd_ = -1;
  int write_fd_ = -1;
  struct sigaction previous_int_ {};
  struct sigaction previous_term_ {};
};

}  // namespace ordex
