#include "platform/event_log_win32.h"

#include <windows.h>

#include <string>

#include "ordex_messages.h"

namespace ordex {

void WriteApplicationEvent(EventType type, std::string_view message) {
  const HANDLE source = ::RegisterEventSourceA(nullptr, "ORDEX");
  // The event log is the last of the places the line goes to; when it cannot be written there
  // is nowhere left to say so.
  if (source == nullptr) return;
  const std::string text(message);
  LPCSTR strings[] = {text.c_str()};
  const bool error = type == EventType::kError;
  ::ReportEventA(source, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0,
                 error ? ORDEX_MSG_STOPPED : ORDEX_MSG_WARNING, nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(source);
}

}  // namespace ordex
