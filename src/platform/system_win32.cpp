#include <windows.h>

#include <string>

#include "core/text.h"
#include "platform/error_win32.h"
#include "platform/event_log_win32.h"
#include "platform/system.h"
#include "platform/unique_handle_win32.h"

namespace ordex {
namespace {

// One instance per Windows session: "Local\" keeps sessions of other users (fast user switching,
// terminal services) apart.
constexpr char kInstanceMutexName[] = "Local\\ORDEX.SingleInstance";

class MutexInstanceLock : public InstanceLock {
 public:
  explicit MutexInstanceLock(UniqueHandle mutex) : mutex_(std::move(mutex)) {}

 private:
  UniqueHandle mutex_;
};

// The debugger output and, started from a console or with redirected output (as in the tests),
// standard error.
void WriteReportLine(std::string_view prefix, std::string_view message) {
  std::string line(prefix);
  line += EscapeControlBytes(message);  // stays one line, and a NUL does not cut it short
  line += "\r\n";
  ::OutputDebugStringA(line.c_str());
  const HANDLE error_output = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error_output != nullptr && error_output != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(error_output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
}

}  // namespace

std::unique_ptr<InstanceLock> ClaimSingleInstance(std::string_view) {
  ::SetLastError(ERROR_SUCCESS);
  UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, kInstanceMutexName));
  const DWORD code = ::GetLastError();
  // A mutex made by another user's process in this session cannot be opened with limited
  // rights: it exists all the same.
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_ACCESS_DENIED) return nullptr;
  // Any other failure says nothing about another instance; the tool still runs rather than
  // refusing to start for good.
  return std::make_unique<MutexInstanceLock>(std::move(mutex));
}

void QueryComputerName(char* buffer, std::uint32_t& size) {
  DWORD length = size;
  ::GetComputerNameA(buffer, &length);
  size = length;
}

char SystemDecimalSeparator() {
  char separator[4] = {};
  // One character and its NUL; longer separators cannot be shown in the one-byte form.
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) == 2) {
    return separator[0];
  }
  return '.';
}

namespace {

// A message that has no event of its own: its line, and an entry whose one string it is.
void ReportMessage(EventLevel level, std::uint16_t id, std::string_view message) {
  const std::string strings[] = {std::string(message)};
  LogEvent({id, level, strings, message});
}

}  // namespace

void ReportFatalError(std::string_view message) {
  ReportMessage(EventLevel::kError, kStoppedEventId, message);
}

void ReportWarning(std::string_view message) {
  ReportMessage(EventLevel::kWarning, kWarningEventId, message);
}

void LogEvent(const Event& event) noexcept {
  try {
    WriteReportLine(EventLinePrefix(event.level), event.line);
  } catch (...) {
    // Out of memory for the line: it is lost, and the event log may still take the event.
  }
  WriteApplicationEvent(event.level, event.id, event.strings);
}

}  // namespace ordex
