#include "platform/event_log_win32.h"

#include <windows.h>

#include <vector>

#include "ordex_messages.h"

namespace ordex {
namespace {

static_assert(MessageTableId(EventLevel::kError, kStoppedEventId) == ORDEX_MSG_STOPPED);
static_assert(MessageTableId(EventLevel::kWarning, kWarningEventId) == ORDEX_MSG_WARNING);

constexpr wchar_t kFullwidthPercent = L'\xFF05';

bool StartsInsertionCode(wchar_t next) {
  return (next >= L'0' && next <= L'9') || next == L'%' || next == L'{';
}

// The log keeps UTF-16; the program's texts are in the 8-bit code page, so every character of
// a path or a value arrives as it is shown in the window.
std::wstring Widened(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::wstring wide(::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

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

std::wstring EventInsertionString(std::string_view message) {
  std::wstring text = Widened(message);
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == L'%' && StartsInsertionCode(text[i + 1])) text[i] = kFullwidthPercent;
  }
  return text;
}

void WriteApplicationEvent(EventLevel level, std::uint16_t id,
                           std::span<const std::string> strings) noexcept {
  try {
    std::vector<std::wstring> safe;
    safe.reserve(strings.size());
    for (const std::string& text : strings) safe.push_back(EventInsertionString(text));
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
