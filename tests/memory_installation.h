#pragma once

#include <utility>

#include "platform/file_access_memory.h"
#include "platform/machine_memory.h"
#include "registry/registry_memory.h"

namespace ordex::testing {

// A machine held in memory with everything it stands on, also in memory: its files, a window
// (`View`, a MemoryWindowView or one derived from it) and its registry. A test or a fixture
// holds one and reaches each part by name.
template <typename View>
struct MemoryInstallation {
  template <typename... ViewArguments>
  explicit MemoryInstallation(ViewArguments&&... view_arguments)
      : view(std::forward<ViewArguments>(view_arguments)...) {}
  // The machine opens the registry of this very installation.
  MemoryInstallation(const MemoryInstallation&) = delete;
  MemoryInstallation& operator=(const MemoryInstallation&) = delete;

  MemoryFileAccess files;
  View view;
  MemoryRegistry registry;
  MemoryMachine machine{files, view, [this] { return registry.Open(); }};
};

}  // namespace ordex::testing
