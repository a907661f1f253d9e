#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ordex {

// Removes the space character (and only it: not tabs, not NULs) from both ends.
std::string_view TrimSpaces(std::string_view text);

// Calls `on_line` for every line of `content`. A line ends at CR LF, at a lone LF or at a lone
// CR, so that no CR ever becomes part of a line (CR CR LF is a line end and an empty line). A
// last line without a line end still counts. `on_line` returns false to stop early.
template <typename OnLine>
void ForEachLine(std::string_view content, OnLine on_line) {
  while (!content.empty()) {
    const auto end = content.find_first_of("\r\n");
    if (!on_line(content.substr(0, end))) return;
    if (end == std::string_view::npos) return;
    const bool cr_lf = content.substr(end, 2) == "\r\n";
    content.remove_prefix(end + (cr_lf ? 2 : 1));
  }
}

// `text` with every CR and every LF replaced by one space, so that a value written as one line
// of a text file, or shown in one text box, stays one line.
std::string LineBreaksAsSpaces(std::string_view text);

// `text` with every control byte (below 0x20, and 0x7F) written readably: \r, \n, \t, or \x
// and two hex digits. Nothing else changes, so escaping twice changes nothing.
std::string EscapeControlBytes(std::string_view text);

// How many characters of a value a message shows at most, escapes counted as they are shown.
inline constexpr std::size_t kMessageQuoteLimit = 100;

// `text` for a one-line message: between `quote` characters, control bytes escaped, and cut after
// kMessageQuoteLimit characters, with "..." and the full length in bytes after the closing quote.
std::string QuotedForMessage(std::string_view text, char quote = '\'');

// The shortest decimal text that reads back as `value` (12, 0.25, 1e-05 never: always plain
// positional notation), with `decimal_separator` in place of the point.
std::string FormatShortest(double value, char decimal_separator);

}  // namespace ordex
