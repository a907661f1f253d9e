#include "core/text.h"

#include <charconv>
#include <system_error>

namespace ordex {

std::string_view TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string LineBreaksAsSpaces(std::string_view text) {
  std::string single_line(text);
  for (char& c : single_line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return single_line;
}

std::string EscapeControlBytes(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      escaped += c;
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      escaped += "\\x";
      escaped += kHexDigits[byte >> 4];
      escaped += kHexDigits[byte & 0xf];
    }
  }
  return escaped;
}

std::string QuotedForMessage(std::string_view text, char quote) {
  const bool cut = text.size() > kMessageQuoteLimit;
  std::string quoted(1, quote);
  quoted += EscapeControlBytes(text.substr(0, kMessageQuoteLimit));
  if (cut) quoted += "...";
  quoted += quote;
  if (cut) quoted += " (" + std::to_string(text.size()) + " bytes)";
  return quoted;
}

std::string FormatShortest(double value, char decimal_separator) {
  // Fixed notation with no precision given is the shortest round-trip form in positional
  // notation; large enough for any double.
  char buffer[400];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string text(buffer, ec == std::errc{} ? end : buffer);
  if (const auto point = text.find('.'); point != std::string::npos)
    text[point] = decimal_separator;
  return text;
}

}  // namespace ordex
