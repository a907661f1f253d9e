#include "platform/machine_memory.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "machine_contract.h"
#include "memory_installation.h"
#include "platform/window_memory.h"

namespace ordex::testing {
namespace {

struct MemoryBackend {
  Machine& machine() { return memory_.machine; }
  void AskTheWindowToEnd() { memory_.view.RequestEnd(EndReason::kStopRequest); }
  void BreakTheEventLog(bool broken) { memory_.machine.events_fail = broken; }
  // The other process's lock stays after a kill, as a killed process's memory does not give
  // anything back: it must not free the claim of the holder after it when it goes.
  void HoldElsewhere(std::string_view name) {
    name_ = name;
    held_elsewhere_ = memory_.machine.machine_wide->TryClaim(name).lock;
  }
  void EndTheHolderElsewhere(bool killed) {
    if (killed) {
      memory_.machine.machine_wide->Abandon(name_);
    } else {
      held_elsewhere_.reset();
    }
  }
  void SquatElsewhere(std::string_view name) {
    memory_.machine.machine_wide->Squat(name, "cannot open " + std::string(name) + ": taken");
  }
  Reports TakeReports() {
    Reports reports;
    for (const auto& event : std::exchange(memory_.machine.events, {})) {
      auto& lines = event.level == EventLevel::kWarning ? reports.warnings : reports.information;
      lines.push_back(event.line);
    }
    std::string& fatal_error = memory_.machine.fatal_error;
    if (!fatal_error.empty()) reports.fatal_errors.push_back(std::exchange(fatal_error, {}));
    return reports;
  }

  MemoryInstallation<MemoryWindowView> memory_{kContractLayout};
  std::string name_;
  std::unique_ptr<InstanceLock> held_elsewhere_;
};

}  // namespace
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, MachineContract, MemoryBackend);
}  // namespace ordex::testing
