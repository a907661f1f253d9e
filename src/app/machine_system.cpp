#include "app/machine_system.h"

#include <utility>

#include "platform/session.h"
#include "platform/system.h"
#include "registry/registry.h"

namespace ordex {

SystemMachine::SystemMachine(std::unique_ptr<InstanceLock> instance, WindowView& view,
                             std::string program_version)
    : instance_(std::move(instance)),
      files_(CreateFileAccess()),
      view_(view),
      decimal_separator_(SystemDecimalSeparator()),
      program_version_(std::move(program_version)) {}

SessionIdentity SystemMachine::Session() { return CurrentSessionIdentity(); }

std::unique_ptr<RegistryAccess> SystemMachine::CreateRegistry() { return CreateRegistryAccess(); }

std::unique_ptr<InstanceLock> SystemMachine::ClaimSingleInstance() {
  if (instance_) return std::move(instance_);
  return ordex::ClaimSingleInstance(RegistryStoreLocation());
}

MachineWideClaim SystemMachine::TryClaimMachineWide(std::string_view name) {
  return ordex::TryClaimMachineWide(name, RegistryStoreLocation());
}

void SystemMachine::QueryComputerName(char* buffer, std::uint32_t& size) {
  ordex::QueryComputerName(buffer, size);
}

void SystemMachine::ReportFatalError(std::string_view message) { ordex::ReportFatalError(message); }

void SystemMachine::LogEvent(const Event& event) { ordex::LogEvent(event); }

std::chrono::steady_clock::time_point SystemMachine::Now() {
  return std::chrono::steady_clock::now();
}

std::chrono::system_clock::time_point SystemMachine::WallClock() {
  return std::chrono::system_clock::now();
}

void SystemMachine::Sleep(std::chrono::milliseconds pause) { view_.Pause(pause); }

}  // namespace ordex
