#pragma once

#include <memory>
#include <string>

#include "platform/registry_access.h"

namespace ordex {

// The registry kept in the regedit export file at `path` (see RegStore for the format). Only
// HKEY_LOCAL_MACHINE is served; keys of other roots read as missing and cannot be written.
//
// A missing file reads as an empty registry; the first WriteDword creates it as a regedit 5
// export (UTF-16LE). The file is read again only when its size, inode or modification time
// changed. WriteDword replaces the file atomically, keeping its mode and owner, and reports a
// false flag, changing nothing, when the user may not write the file or its folder, or when the
// folder does not exist (it is not created). Other failures throw Error.
std::unique_ptr<RegistryAccess> CreateRegistryFile(std::string path);

}  // namespace ordex
