#include "platform/machine_memory.h"

#include <gtest/gtest.h>

#include <utility>

#include "machine_contract.h"
#include "platform/file_access_memory.h"
#include "platform/window_memory.h"

namespace ordex::testing {
namespace {

struct MemoryBackend {
  Machine& machine() { return machine_; }
  Reports TakeReports() {
    Reports reports;
    for (const auto& event : std::exchange(machine_.events, {})) {
      auto& lines = event.level == EventLevel::kWarning ? reports.warnings : reports.information;
      lines.push_back(event.line);
    }
    if (!machine_.fatal_error.empty()) reports.fatal_errors.push_back(machine_.fatal_error);
    machine_.fatal_error.clear();
    return reports;
  }

  MemoryFileAccess files_;
  MemoryWindowView view_{kContractLayout};
  MemoryMachine machine_{files_, view_};
};

}  // namespace
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, MachineContract, MemoryBackend);
}  // namespace ordex::testing
