#include <cstdlib>

#include "core/error.h"
#include "registry/registry_access.h"

namespace ordex {

std::string RegistryStoreLocation() {
  const char* path = std::getenv("ORDEX_REGISTRY");
  return path && *path ? path : "/etc/ordex/registry.reg";
}

std::unique_ptr<RegistryAccess> CreateRegistryAccess() { throw Error("not built yet"); }

}  // namespace ordex
