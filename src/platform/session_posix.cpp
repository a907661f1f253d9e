#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/error_posix.h"
#include "platform/session.h"

namespace ordex {
namespace {

std::string UserName(uid_t uid) {
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
  passwd entry{};
  passwd* found = nullptr;
  int status = 0;
  while ((status = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE)
    buffer.resize(buffer.size() * 2);
  // A user the database does not know (a container's numeric user) still has a number.
  if (status == 0 && found != nullptr) return found->pw_name;
  if (status != 0 && status != ENOENT && status != ESRCH)
    throw PosixError("cannot look up", "user " + std::to_string(uid), status);
  return std::to_string(uid);
}

}  // namespace

SessionIdentity CurrentSessionIdentity() {
  const pid_t session = ::getsid(0);
  if (session < 0) throw PosixError("cannot query", "the session of this process", errno);
  return {std::to_string(session), UserName(::geteuid())};
}

}  // namespace ordex
