#include "platform/event_log_win32.h"

#include <windows.h>

#include <string>
#include <vector>

#include "ordex_messages.h"

namespace ordex {
namespace {

static_assert(MessageTableId(EventLevel::kError, kStoppedEventId) == ORDEX_MSG_STOPPED);
static_assert(MessageTableId(EventLevel::kWarning, kWarningEventId) == ORDEX_MSG_WARNING);

WORD EventType(EventLevel level) {
  switch (level) {
    case EventLevel::kError:
      return EVENTLOG_ERROR_TYPE;
    case EventLevel::kWarning:
      return EVENTLOG_WARNING_TYPE;
    case EventLevel::kInformation:
      break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

// The log keeps UTF-16; the program's texts are in the 8-bit code page, so every character of
// a path or a value arrives as it is shown in the window.
std::wstring Utf16(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

}  // namespace

void WriteApplicationEvent(EventLevel level, std::uint16_t id,
                           std::span<const std::string> strings) noexcept {
  try {
    std::vector<std::wstring> wide;
    wide.reserve(strings.size());
    for (const std::string& text : strings) wide.push_back(Utf16(text));
    std::vector<LPCWSTR> pointers;
    for (const std::wstring& text : wide) pointers.push_back(text.c_str());
    const HANDLE source = ::RegisterEventSourceW(nullptr, L"ORDEX");
    if (source == nullptr) return;
    ::ReportEventW(source, EventType(level), 0, MessageTableId(level, id), nullptr,
                   static_cast<WORD>(pointers.size()), 0, pointers.data(), nullptr);
    ::DeregisterEventSource(source);
  } catch (...) {
    // Out of memory for the strings: the event is lost, the program goes on.
  }
}

}  // namespace ordex
