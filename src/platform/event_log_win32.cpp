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
  const WORD level = type == EventType::kError     ? EVENTLOG_ERROR_TYPE
                     : type == EventType::kWarning ? EVENTLOG_WARNING_TYPE
                                                   : EVENTLOG_INFORMATION_TYPE;
  const DWORD id = type == EventType::kError     ? ORDEX_MSG_STOPPED
                   : type == EventType::kWarning ? ORDEX_MSG_WARNING
                                                 : ORDEX_MSG_INFORMATION;
  ::ReportEventA(source, level, 0, id, nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(source);
}

}  // namespace ordex
