#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/event.h"

namespace ordex {

// The event ID under which the message compiler files an entry of the message table: the
// entry's number with the severity of `level` in the top two bits. Event Viewer finds the
// message by it and shows its low 16 bits as the event ID.
constexpr std::uint32_t MessageTableId(EventLevel level, std::uint16_t id) {
  const std::uint32_t severity = level == EventLevel::kError     ? 3
                                 : level == EventLevel::kWarning ? 2
                                                                 : 1;
  return severity << 30 | id;
}

// Writes an event of the source "ORDEX" to the Application event log: entry `id` of the message
// table of ordex.exe at `level`, with `strings` (8-bit code page) as its insertion strings, each
// made safe by EventInsertionStrings (platform/event.h): every '%' that would start an insertion
// code in a viewer becomes U+FF05 FULLWIDTH PERCENT SIGN. A source that no installer registered
// still logs: the viewer then shows the strings without the message. Never throws: when the log
// cannot be written there is nowhere left to say so.
void WriteApplicationEvent(EventLevel level, std::uint16_t id,
                           std::span<const std::string> strings) noexcept;

}  // namespace ordex
