#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace ordex {

// One try at the machine-wide claim of a name: the right to be its one holder among every
// process of every session and user of the machine. Taken, `lock` holds it for as long as it
// lives, also when the holder before ended without giving it back (killed, crashed, its session
// ended under it). Not taken, either another holder has it (`unavailable` empty; it can be tried
// again, and is taken once that holder ends) or the name cannot be claimed nor waited for at all
// (another program made it its own in a way this one may not use): `unavailable` says why, with
// the system's words.
struct MachineWideClaim {
  std::unique_ptr<InstanceLock> lock;
  std::string unavailable;
};

// Tries the machine-wide claim of `name` without waiting. A name this process holds already is
// held by another holder for the second try, as on every platform.
// On Windows `name` is the name of a mutex ("Global\..."), created when it does not exist with
// a security that lets every interactive user's process wait on it and take it; `scope` is
// ignored. On POSIX the claim is an flock on a lock file beside the registry store `scope` (its
// canonical path), named after the store and the part of `name` after its last backslash: every
// user who may read the file shares the claim. Where it is not there and this user may not make
// it (the store's folder is not theirs to write), the store is not shared that way and the try
// is taken at once, holding nothing; a file there that cannot be opened or locked makes the claim
// unavailable.
MachineWideClaim TryClaimMachineWide(std::string_view name, std::string_view scope);

}  // namespace ordex
