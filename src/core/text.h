#pragma once

#include <string>
#include <string_view>

namespace ordex {

// Removes the space character (and only it: not tabs, not NULs) from both ends.
std::string_view TrimSpaces(std::string_view text);

// Calls `on_line` for every line of `content`. A line ends at CR LF or at a lone LF; the CR of
// CR LF never becomes part of the line. A last line without a line end still counts. `on_line`
// returns false to stop early.
template <typename OnLine>
void ForEachLine(std::string_view content, OnLine on_line) {
  while (!content.empty()) {
    const auto end = content.find('\n');
    std::string_view line = content.substr(0, end);
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (!on_line(line)) return;
    if (end == std::string_view::npos) return;
    content.remove_prefix(end + 1);
  }
}

// The shortest decimal text that reads back as `value` (12, 0.25, 1e-05 never: always plain
// positional notation), with `decimal_separator` in place of the point.
std::string FormatShortest(double value, char decimal_separator);

}  // namespace ordex
