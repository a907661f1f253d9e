#include "core/utc_text.h"

#include <cstdio>

namespace ordex {
namespace {

// `format` takes year, month, day, hours, minutes and seconds, in that order.
std::string UtcText(std::chrono::system_clock::time_point time, const char* format) {
  using namespace std::chrono;
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(floor<seconds>(time - day));
  char text[32];
  std::snprintf(
      text, sizeof text, format, static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
      static_cast<unsigned>(date.day()), static_cast<long>(clock.hours().count()),
      static_cast<long>(clock.minutes().count()), static_cast<long>(clock.seconds().count()));
  return text;
}

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point time) {
  return UtcText(time, "%04d-%02u-%02u %02ld:%02ld:%02ld UTC");
}

std::string IsoUtcText(std::chrono::system_clock::time_point time) {
  return UtcText(time, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ");
}

}  // namespace ordex
