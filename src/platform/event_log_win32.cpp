#include "platform/event_log_win32.h"

#include <windows.h>

#include <vector>

#include "ordex_messages.h"
#include "platform/wide_text_win32.h"

namespace ordex {
namespace {

static_assert(MessageTableId(EventLevel::kError, kStoppedEventId) == ORDEX_MSG_STOPPED);
static_assert(MessageTableId(EventLevel::kWarning, kWarningEventId) == ORDEX_MSG_WARNING);

// U+FF05 FULLWIDTH PERCENT SIGN reads as a percent sign and starts no insertion code.
constexpr wchar_t kFullwidthPercent = L'\xFF05';

WORD EventLogType(EventLevel level) {
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

}  // namespace

void WriteApplicationEvent(EventLevel level, std::uint16_t id,
                           std::span<const std::string> strings) noexcept {
  try {
    // The log keeps UTF-16; the program's texts are in the 8-bit code page, so every character
    // of a path or a value arrives as it is shown in the window.
    const std::vector<std::wstring> safe =
        EventInsertionStrings(strings, WideFromCodePage, kFullwidthPercent);
    std::vector<LPCWSTR> pointers;
    for (const std::wstring& text : safe) pointers.push_back(text.c_str());
    const HANDLE source = ::RegisterEventSourceW(nullptr, L"ORDEX");
    if (source == nullptr) return;
    ::ReportEventW(source, EventLogType(level), 0, MessageTableId(level, id), nullptr,
                   static_cast<WORD>(pointers.size()), 0, pointers.data(), nullptr);
    ::DeregisterEventSource(source);
  } catch (...) {
    // Out of memory for the strings: the event is lost, the program goes on.
  }
}

}  // namespace ordex
