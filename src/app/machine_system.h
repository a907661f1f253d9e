#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/machine.h"

namespace ordex {

// The machine the program runs on, assembled from the backends this platform was built with (the
// platform's services and its registry), showing the form in `view`.
class SystemMachine : public Machine {
 public:
  // `instance` is a one-instance claim already held (or nullptr): the first ClaimSingleInstance
  // hands it over, so that a refused start needs no window. Every later claim is a new one.
  // `program_version` is the program's own version (its version resource's "FileVersion").
  SystemMachine(std::unique_ptr<InstanceLock> instance, WindowView& view,
                std::string program_version);

  const FileAccess& Files() override { return *files_; }
  WindowView& View() override { return view_; }
  std::unique_ptr<RegistryAccess> CreateRegistry() override;
  std::unique_ptr<InstanceLock> ClaimSingleInstance() override;
  MachineWideClaim TryClaimMachineWide(std::string_view name) override;
  void QueryComputerName(char* buffer, std::uint32_t& size) override;
  char DecimalSeparator() override { return decimal_separator_; }
  SessionIdentity Session() override;
  std::string_view ProgramVersion() override { return program_version_; }
  void ReportFatalError(std::string_view message) override;
  void LogEvent(const Event& event) override;
  std::chrono::steady_clock::time_point Now() override;
  std::chrono::system_clock::time_point WallClock() override;
  void Sleep(std::chrono::milliseconds pause) override;

 private:
  std::unique_ptr<InstanceLock> instance_;
  std::unique_ptr<FileAccess> files_;
  WindowView& view_;
  char decimal_separator_;
  std::string program_version_;
};

}  // namespace ordex
