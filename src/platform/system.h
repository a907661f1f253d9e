#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/event.h"

namespace ordex {

// Holds the one-instance claim for as long as it lives.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
};

// Claims the right to run as the only instance. Returns nullptr when another instance holds it.
// On POSIX the claim is per registry store (`scope` is the store's path, and every spelling of
// it, through symbolic links too, is the same store), so instances on different stores run side
// by side; a crashed instance never blocks the next start. On Windows
// it is one claim per session and `scope` is ignored.
std::unique_ptr<InstanceLock> ClaimSingleInstance(std::string_view scope);

// The host-name query in the shape of GetComputerNameA: fills `buffer` (`size` bytes) with the
// name in the 8-bit code page and sets `size` to its length. Its result is not examined.
void QueryComputerName(char* buffer, std::uint32_t& size);

// The system's decimal separator for numbers shown to the user.
char SystemDecimalSeparator();

// Reports the one-line message of an error that ends the program: standard error on POSIX;
// on Windows the debugger output, standard error where there is one, and the Application event
// log as an error of the source "ORDEX".
void ReportFatalError(std::string_view message);

// Reports the one-line message of a problem that does not end the program and has no event of
// its own, in the same places ("ordex: warning: ..."; a warning in the event log).
void ReportWarning(std::string_view message);

// Reports an event of the program: its line in the same places, after "ordex: " and the
// level ("warning: ", "info: "; nothing for an error); on Windows also the event with its id,
// level and insertion strings in the Application event log. Never throws: an event that cannot
// be reported is lost, and the program goes on.
void LogEvent(const Event& event) noexcept;

}  // namespace ordex
