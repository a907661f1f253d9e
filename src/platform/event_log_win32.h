#pragma once

#include <string>
#include <string_view>

namespace ordex {

enum class EventType { kError, kWarning, kInformation };

// Writes `message` to the Application event log as an event of the source "ORDEX", whose
// message table (in ordex.exe) shows it inside a sentence. A source that no installer
// registered still logs: the viewer then shows the message alone.
void WriteApplicationEvent(EventType type, std::string_view message);

// `message` (in the system's 8-bit code page) as the insertion string handed to ReportEventW.
// Event viewers expand "%n", "%%n" and "%{...}" found inside an insertion string, again and
// again, and the event log knows no escape for them; so every '%' followed by a digit, '%' or
// '{' becomes U+FF05 FULLWIDTH PERCENT SIGN, which reads as a percent sign and starts nothing.
// Every string of every event goes through here.
std::wstring EventInsertionString(std::string_view message);

}  // namespace ordex
