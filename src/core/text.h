#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ordex {

// Removes the space character (and only it: not tabs, not NULs) from both ends, as the
// controller's own files are read.
std::string_view TrimSpaces(std::string_view text);

// A blank as regedit and the registry's number texts know it: a space or a tab.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Removes blanks (spaces and tabs) from both ends.
std::string_view TrimBlanks(std::string_view text);

// Calls `on_line(line, line_end)` for every line of `content`, a text of code units of
// `unit_size` bytes (1, or 2 for UTF-16LE). A line ends at CR LF, at a lone LF or at a lone CR,
// so that no CR ever becomes part of a line (CR CR LF is a line end and an empty line). A last
// line without a line end still counts, with an empty `line_end`; bytes after the last whole
// code unit belong to it. `on_line` returns false to stop early.
template <typename OnLine>
void ForEachLineAndEnd(std::string_view content, std::size_t unit_size, OnLine on_line) {
  const auto unit_at = [&](std::size_t pos) {
    unsigned unit = static_cast<unsigned char>(content[pos]);
    if (unit_size == 2)
      unit |= static_cast<unsigned>(static_cast<unsigned char>(content[pos + 1])) << 8;
    return unit;
  };
  std::size_t start = 0;
  std::size_t pos = 0;
  while (pos + unit_size <= content.size()) {
    const unsigned unit = unit_at(pos);
    if (unit != '\r' && unit != '\n') {
      pos += unit_size;
      continue;
    }
    std::size_t end = pos + unit_size;
    if (unit == '\r' && end + unit_size <= content.size() && unit_at(end) == '\n') end += unit_size;
    if (!on_line(content.substr(start, pos - start), content.substr(pos, end - pos))) return;
    start = pos = end;
  }
  if (start < content.size()) on_line(content.substr(start), std::string_view());
}

// The same for 8-bit text, calling `on_line(line)`.
template <typename OnLine>
void ForEachLine(std::string_view content, OnLine on_line) {
  ForEachLineAndEnd(content, 1,
                    [&](std::string_view line, std::string_view) { return on_line(line); });
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
