#pragma once

#include <string_view>

namespace ordex {

enum class EventType { kError, kWarning, kInformation };

// Writes `message` to the Application event log as an event of the source "ORDEX", whose
// message table (in ordex.exe) shows it inside a sentence. A source that no installer
// registered still logs: the viewer then shows the message alone.
void WriteApplicationEvent(EventType type, std::string_view message);

}  // namespace ordex
