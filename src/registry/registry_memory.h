#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_access.h"
#include "registry/reg_store.h"

namespace ordex {

// A registry held in memory, for tests: a .reg store (RegStore) without its file, so that it
// reads and writes exactly as the .reg file backend does (names without regard to case, only
// HKEY_LOCAL_MACHINE, numbers written as text, expandable strings...) and passes the same
// contract suite.
class MemoryRegistry {
 public:
  // An empty registry.
  MemoryRegistry();

  // Applies lines of a regedit 5 export in UTF-8 (keys, values, removals) after what the
  // registry holds, as importing a file would.
  void Import(std::string_view lines);

  // A component on this registry; every one sees what the others write.
  std::unique_ptr<RegistryAccess> Open();

  // When false, a write changes nothing and reports a false flag, as a store the user may not
  // write does.
  bool writable = true;
  // The key path of each write that changed the registry, in order.
  std::vector<std::string> written;

 private:
  class Access;

  RegStore store_;
};

}  // namespace ordex
