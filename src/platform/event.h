#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ordex {

enum class EventLevel { kError, kWarning, kInformation };

// The entries of the message table for a message that has no event of its own: the platform
// reports with them (ReportFatalError, ReportWarning), and so may whoever has such a message.
inline constexpr std::uint16_t kStoppedEventId = 1;
inline constexpr std::uint16_t kWarningEventId = 2;

// One event of the program, for the Application event log and for the program's own lines.
// `id` is the number of its entry in the message table of ordex.exe (the event ID a collector
// filters on); `strings` are that entry's insertion strings, %1 first, in the 8-bit code page;
// `line` is the same event as the one line the program's messages get (system.h puts "ordex: "
// and the level before it).
struct Event {
  std::uint16_t id = 0;
  EventLevel level = EventLevel::kInformation;
  std::span<const std::string> strings;
  std::string_view line;
};

// What goes before an event's line: the level shows there as it does in the log, so that a
// reader (or a filter) of the program's messages tells a fact from a problem.
constexpr const char* EventLinePrefix(EventLevel level) {
  switch (level) {
    case EventLevel::kError:
      return "ordex: ";
    case EventLevel::kWarning:
      return "ordex: warning: ";
    case EventLevel::kInformation:
      break;
  }
  return "ordex: info: ";
}

// Event viewers expand "%n", "%%n" and "%{...}" found inside an insertion string, again and
// again ("%0" ends the message there), and the event log knows no escape for them. Whether a '%'
// followed by `next` starts such a code.
template <typename Char>
constexpr bool StartsInsertionCode(Char next) {
  return (next >= Char('0') && next <= Char('9')) || next == Char('%') || next == Char('{');
}

// `text` with every '%' that starts an insertion code replaced by `harmless_percent`, a
// character that reads as a percent sign and starts nothing; every other character as it was.
template <typename Char>
std::basic_string<Char> WithInsertionCodesDisarmed(std::basic_string<Char> text,
                                                   Char harmless_percent) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == Char('%') && StartsInsertionCode(text[i + 1])) text[i] = harmless_percent;
  }
  return text;
}

// The longest insertion string the log takes, in its characters: "Each string is limited to
// 31,839 characters" (ReportEvent, lpStrings). A longer one (a registry value, a line quoted
// from a file) would cost the whole event.
inline constexpr std::size_t kMaxInsertionStringLength = 31839;

// What ends a string cut to that length, so that a reader sees that the rest is missing.
inline constexpr std::string_view kInsertionStringCutMark = " [...]";

// `text` cut to `limit` characters where it is longer, its end replaced by the cut mark; a
// UTF-16 surrogate pair is never split.
template <typename Char>
std::basic_string<Char> CutToLength(std::basic_string<Char> text,
                                    std::size_t limit = kMaxInsertionStringLength) {
  if (text.size() <= limit) return text;
  std::size_t kept = limit - kInsertionStringCutMark.size();
  if constexpr (sizeof(Char) == 2) {
    const auto last = static_cast<std::uint16_t>(text[kept - 1]);
    if (last >= 0xD800 && last <= 0xDBFF) --kept;
  }
  text.resize(kept);
  for (const char c : kInsertionStringCutMark) text.push_back(static_cast<Char>(c));
  return text;
}

// An event's `strings` as the event log gets them: each in the log's characters (`widen` turns
// the 8-bit code page into them), disarmed and cut to the length the log takes. Every string of
// every event goes through here.
template <typename Char, typename Widen>
std::vector<std::basic_string<Char>> EventInsertionStrings(std::span<const std::string> strings,
                                                           Widen widen, Char harmless_percent) {
  std::vector<std::basic_string<Char>> safe;
  safe.reserve(strings.size());
  for (const std::string& text : strings)
    safe.push_back(CutToLength(WithInsertionCodesDisarmed<Char>(widen(text), harmless_percent)));
  return safe;
}

}  // namespace ordex
