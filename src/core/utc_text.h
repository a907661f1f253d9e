#pragma once

#include <chrono>
#include <string>

namespace ordex {

// A moment in UTC, to the second, for a fleet whose PCs may keep different time zones.
// For people: "2026-12-09 08:21:03 UTC".
std::string UtcText(std::chrono::system_clock::time_point time);
// ISO 8601, as inventory tools parse it: "2026-12-09T08:21:03Z".
std::string IsoUtcText(std::chrono::system_clock::time_point time);

}  // namespace ordex
