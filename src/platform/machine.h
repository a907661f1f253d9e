#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/event.h"
#include "platform/file_access.h"
#include "platform/machine_wide_claim.h"
#include "platform/registry_access.h"
#include "platform/session.h"
#include "platform/system.h"
#include "platform/window_view.h"

namespace ordex {

// Everything the main window needs from the machine it runs on, in one interface: the program
// builds it from this platform's backends (app/machine_system.h), tests from in-memory ones
// (MemoryMachine). All calls come from the one thread of the event loop.
class Machine {
 public:
  virtual ~Machine() = default;

  // The file system (see FileAccess).
  virtual const FileAccess& Files() = 0;

  // The form's window and the event loop it lives in.
  virtual WindowView& View() = 0;

  // A new registry component (see RegistryAccess); every one works on the same registry.
  virtual std::unique_ptr<RegistryAccess> CreateRegistry() = 0;

  // The right to run as the only instance, held for as long as the lock lives; nullptr when
  // another instance holds it.
  virtual std::unique_ptr<InstanceLock> ClaimSingleInstance() = 0;

  // One try at the machine-wide claim of `name`, across every session and user of the machine,
  // without waiting (see MachineWideClaim).
  virtual MachineWideClaim TryClaimMachineWide(std::string_view name) = 0;

  // The host-name query in the shape of GetComputerNameA: fills `buffer` (`size` bytes) with the
  // name in the 8-bit code page and its NUL, and sets `size` to its length. Its result is not
  // examined.
  virtual void QueryComputerName(char* buffer, std::uint32_t& size) = 0;

  // The system's decimal separator for numbers shown to the user.
  virtual char DecimalSeparator() = 0;

  // The session this process runs in and the account it runs as (see SessionIdentity); a
  // failing query throws Error.
  virtual SessionIdentity Session() = 0;

  // The program's own version, as its version resource gives it ("FileVersion").
  virtual std::string_view ProgramVersion() = 0;

  // The one-line message of an error that ends the program.
  virtual void ReportFatalError(std::string_view message) = 0;

  // An event of the program (started, a change, a lasting condition, the end) for those who
  // watch a fleet, in the places the program's messages go (see Event); never throws.
  virtual void LogEvent(const Event& event) = 0;

  // The clock that measures waits and how long conditions last, and the pause while start-up
  // waits for a file another program holds.
  virtual std::chrono::steady_clock::time_point Now() = 0;
  // The calendar time, for saying when a condition began.
  virtual std::chrono::system_clock::time_point WallClock() = 0;
  // The window keeps answering during the pause (WindowView::Pause): an end asked of it throws
  // EndRequested.
  virtual void Sleep(std::chrono::milliseconds pause) = 0;
};

}  // namespace ordex
