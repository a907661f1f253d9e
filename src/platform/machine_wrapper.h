#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/machine.h"

namespace ordex {

// A machine that passes every call to another one. A machine that differs in a few calls (the
// benchmarks' machine with a registry store of its own) derives from it and overrides only
// those, so that a new call of Machine is forwarded here once.
class MachineWrapper : public Machine {
 public:
  explicit MachineWrapper(Machine& target) : target_(target) {}

  Machine& target() const { return target_; }

  const FileAccess& Files() override { return target_.Files(); }
  WindowView& View() override { return target_.View(); }
  std::unique_ptr<RegistryAccess> CreateRegistry() override { return target_.CreateRegistry(); }
  std::unique_ptr<InstanceLock> ClaimSingleInstance() override {
    return target_.ClaimSingleInstance();
  }
  MachineWideClaim TryClaimMachineWide(std::string_view name) override {
    return target_.TryClaimMachineWide(name);
  }
  void QueryComputerName(char* buffer, std::uint32_t& size) override {
    target_.QueryComputerName(buffer, size);
  }
  char DecimalSeparator() override { return target_.DecimalSeparator(); }
  SessionIdentity Session() override { return target_.Session(); }
  std::string_view ProgramVersion() override { return target_.ProgramVersion(); }
  void ReportFatalError(std::string_view message) override { target_.ReportFatalError(message); }
  void LogEvent(const Event& event) override { target_.LogEvent(event); }
  std::chrono::steady_clock::time_point Now() override { return target_.Now(); }
  std::chrono::system_clock::time_point WallClock() override { return target_.WallClock(); }
  void Sleep(std::chrono::milliseconds pause) override { target_.Sleep(pause); }

 private:
  Machine& target_;
};

}  // namespace ordex
