#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/machine.h"

namespace ordex {

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

 private:
  class Lock;

  const FileAccess& files_;
  WindowView& view_;
  OpenRegistry open_registry_;
  std::shared_ptr<bool> claimed_ = std::make_shared<bool>(false);
};

}  // namespace ordex
