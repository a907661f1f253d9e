#include "platform/event_log_win32.h"

#include <windows.h>

#include "ordex_messages.h"

namespace ordex {
namespace {

constexpr wchar_t kFullwidthPercent = L'\xFF05';

bool StartsInsertionCode(wchar_t next) {
  return (next >= L'0' && next <= L'9') || next == L'%' || next == L'{';
}

std::wstring Widened(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::wstring wide(::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

DWORD EventId(EventType type) {
  switch (type) {
    case EventType::kError:
      return ORDEX_MSG_STOPPED;
    case EventType::kWarning:
      return ORDEX_MSG_WARNING;
    case EventType::kInformation:
      return ORDEX_MSG_INFORMATION;
  }
  return ORDEX_MSG_WARNING;
}

WORD EventLogType(EventType type) {
  switch (type) {
    case EventType::kError:
      return EVENTLOG_ERROR_TYPE;
    case EventType::kWarning:
      return EVENTLOG_WARNING_TYPE;
    case EventType::kInformation:
      return EVENTLOG_INFORMATION_TYPE;
  }
  return EVENTLOG_WARNING_TYPE;
}

}  // namespace

std::wstring EventInsertionString(std::string_view message) {
  std::wstring text = Widened(message);
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == L'%' && StartsInsertionCode(text[i + 1])) text[i] = kFullwidthPercent;
  }
  return text;
}

void WriteApplicationEvent(EventType type, std::string_view message) {
  const HANDLE source = ::RegisterEventSourceW(nullptr, L"ORDEX");
  // The event log is the last of the places the line goes to; when it cannot be written there
  // is nowhere left to say so.
  if (source == nullptr) return;
  const std::wstring text = EventInsertionString(message);
  LPCWSTR strings[] = {text.c_str()};
  ::ReportEventW(source, EventLogType(type), 0, EventId(type), nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(source);
}

}  // namespace ordex
