#pragma once

#include <string>

namespace ordex {

// Who runs this process: the number of the session it runs in and the account it runs as, both
// as text in the 8-bit code page, so that a fleet can tell in whose session a program runs.
struct SessionIdentity {
  std::string session;
  std::string user;
};

// The session and account of this process. On Windows the Remote Desktop Services session of
// the process (0 for services) and the user name of its token; on POSIX the session id of the
// process (getsid) and the name of its effective user, or the user's number where the user
// database names none. A system call that fails throws Error.
SessionIdentity CurrentSessionIdentity();

}  // namespace ordex
