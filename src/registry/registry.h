#pragma once

#include <memory>
#include <string>

#include "platform/registry_access.h"

namespace ordex {

// The registry of the platform: the Windows registry, or on POSIX the regedit-format store named
// by ORDEX_REGISTRY (default /etc/ordex/registry.reg).
std::unique_ptr<RegistryAccess> CreateRegistryAccess();

// Where the POSIX store lives; also the scope of the one-instance claim there. Empty on Windows.
std::string RegistryStoreLocation();

}  // namespace ordex
