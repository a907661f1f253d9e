#pragma once

#include <memory>
#include <string>

#include "registry/registry_access.h"

namespace ordex {

// The registry kept in the regedit export file at `path` (see RegStore for the format). Only
// HKEY_LOCAL_MACHINE is served; keys of other roots read as missing and cannot be written.
std::unique_ptr<RegistryAccess> CreateRegistryFile(std::string path);

}  // namespace ordex
