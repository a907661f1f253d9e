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
// `line` is the same event as the one line the program's messages get ("ordex: " and, for a
// warning, "warning: " go before it).
struct Event {
  std::uint16_t id = 0;
  EventLevel level = EventLevel::kInformation;
  std::span<const std::string> strings;
  std::string_view line;
};

}  // namespace ordex
