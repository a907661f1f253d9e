#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/machine.h"

namespace ordex {

// The machine-wide names of a machine held in memory, which every process of every session on it
// shares (give several MemoryMachines the same one): each is free, held by one claim, or made
// its own by another program. As on Windows, a holder that ends without giving its claim back
// (killed) leaves it to the next try.
class MemoryMachineWideNames : public std::enable_shared_from_this<MemoryMachineWideNames> {
 public:
  MachineWideClaim TryClaim(std::string_view name);
  // The holder of `name` is killed: its lock holds nothing any more, and gives nothing back.
  void Abandon(std::string_view name);
  // Another program makes `name` its own in a way no claim can use: every try is refused for
  // `reason`.
  void Squat(std::string_view name, std::string reason);
  bool Held(std::string_view name) const;

 private:
  class Lock;
  struct Name {
    std::uint64_t holder = 0;  // 0: free
    std::string squatted;
  };
  std::map<std::string, Name, std::less<>> names_;
  std::uint64_t next_holder_ = 1;
};

// A machine held in memory, for tests: its instance claim, host name, clock and reports behave
// as the real ones do, without touching the machine the tests run on. The files, the window and
// the registry are any backends the test gives (usually the in-memory ones).
class MemoryMachine : public Machine {
 public:
  using OpenRegistry = std::function<std::unique_ptr<RegistryAccess>()>;

  MemoryMachine(const FileAccess& files, WindowView& view, OpenRegistry open_registry)
      : files_(files), view_(view), open_registry_(std::move(open_registry)) {}

  const FileAccess& Files() override { return files_; }
  WindowView& View() override { return view_; }
  std::unique_ptr<RegistryAccess> CreateRegistry() override { return open_registry_(); }
  // One claim at a time, as on the real machine: nullptr while an earlier lock lives.
  std::unique_ptr<InstanceLock> ClaimSingleInstance() override;
  MachineWideClaim TryClaimMachineWide(std::string_view name) override {
    return machine_wide->TryClaim(name);
  }
  void QueryComputerName(char* buffer, std::uint32_t& size) override;
  char DecimalSeparator() override { return decimal_separator; }
  SessionIdentity Session() override { return session; }
  std::string_view ProgramVersion() override { return program_version; }
  void ReportFatalError(std::string_view message) override { fatal_error = message; }
  void LogEvent(const Event& event) override;
  std::chrono::steady_clock::time_point Now() override { return now; }
  // Moves with `now`, from `wall_clock_at_zero`.
  std::chrono::system_clock::time_point WallClock() override {
    return wall_clock_at_zero +
           std::chrono::duration_cast<std::chrono::system_clock::duration>(now.time_since_epoch());
  }
  // Time passes only here, then `on_sleep` runs, then the window handles what arrived during
  // the pause (see WindowView::Pause).
  void Sleep(std::chrono::milliseconds pause) override;

  std::string computer_name = "ROBPC01";
  char decimal_separator = '.';
  SessionIdentity session{"1", "robot"};
  std::string program_version = "1.3.0";
  // The last fatal error reported, and every event, as the event log would hold it.
  std::string fatal_error;
  struct RecordedEvent {
    std::uint16_t id;
    EventLevel level;
    std::vector<std::string> strings;
    std::string line;
    friend bool operator==(const RecordedEvent&, const RecordedEvent&) = default;
  };
  std::vector<RecordedEvent> events;
  // When true, the event log cannot be written: an event is lost, as on the real machines, whose
  // LogEvent never throws either.
  bool events_fail = false;
  std::chrono::steady_clock::time_point now{};
  std::chrono::system_clock::time_point wall_clock_at_zero{};
  std::function<void()> on_sleep;
  // The machine-wide names; machines that stand for sessions of one PC share one.
  std::shared_ptr<MemoryMachineWideNames> machine_wide = std::make_shared<MemoryMachineWideNames>();

 private:
  class Lock;

  const FileAccess& files_;
  WindowView& view_;
  OpenRegistry open_registry_;
  std::shared_ptr<bool> claimed_ = std::make_shared<bool>(false);
};

}  // namespace ordex
