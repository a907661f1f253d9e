#include "core/text.h"

#include <charconv>
#include <system_error>

namespace ordex {

namespace {

std::string_view TrimAny(std::string_view text, std::string_view characters) {
  const auto first = text.find_first_not_of(characters);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(characters);
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string_view TrimSpaces(std::string_view text) { return TrimAny(text, " "); }

std::string_view TrimBlanks(std::string_view text) { return TrimAny(text, " \t"); }

std::string LineBreaksAsSpaces(std::string_view text) {
  std::string single_line(text);
  for (char& c : single_line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return single_line;
}

namespace {

// Appends `c` to `out`, a control byte in its escaped form.
void AppendEscaped(std::string& out, char c) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x20 && byte != 0x7f) {
    out += c;
  } else if (c == '\r') {
    out += "\\r";
  } else if (c == '\n') {
    out += "\\n";
  } else if (c == '\t') {
    out += "\\t";
  } else {
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0xf];
  }
}

}  // namespace

std::string EscapeControlBytes(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) AppendEscaped(escaped, c);
  return escaped;
}

std::string QuotedForMessage(std::string_view text, char quote) {
  // The limit counts what the message shows, so that a value of control bytes, each shown as
  // four characters, makes no longer a message than a value of letters.
  std::string quoted(1, quote);
  std::size_t shown = 0;
  std::string piece;
  for (; shown < text.size(); ++shown) {
    piece.clear();
    AppendEscaped(piece, text[shown]);
    if (quoted.size() - 1 + piece.size() > kMessageQuoteLimit) break;
    quoted += piece;
  }
  const bool cut = shown < text.size();
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
