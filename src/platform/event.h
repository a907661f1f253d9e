#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ordex {

enum class EventLevel { kError, kWarning, kInformation };

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

}  // namespace ordex
