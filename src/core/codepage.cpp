#include "core/codepage.h"

#include <array>
#include <cstdint>

namespace ordex {
namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of Windows-1252 equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePointOf(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

char ByteOf(char32_t code_point, bool& lost) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    return static_cast<char>(code_point);
  }
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == code_point) return static_cast<char>(0x80 + i);
  }
  lost = true;
  return '?';
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `pos`, advancing it; malformed input yields U+FFFD.
char32_t NextUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (extra < 0 || lead >= 0xF8) return 0xFFFD;
  char32_t cp = lead & (0x3F >> extra);
  for (; extra > 0; --extra) {
    if (pos >= text.size()) return 0xFFFD;
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (next & 0x3F);
    ++pos;
  }
  return cp;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  bool lost = false;
  return Utf8ToCp1252(text, lost);
}

std::string Utf8ToCp1252(std::string_view text, bool& lost) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) out += NextUtf8AsCp1252(text, pos, lost);
  return out;
}

char NextUtf8AsCp1252(std::string_view text, std::size_t& pos, bool& lost) {
  return ByteOf(NextUtf8(text, pos), lost);
}

std::string Utf16LeToCp1252(std::string_view bytes) {
  bool lost = false;
  return Utf16LeToCp1252(bytes, lost);
}

std::string Utf16LeToCp1252(std::string_view bytes, bool& lost) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8);
    // A surrogate pair is one character outside the code page: one '?', not two.
    if (unit >= 0xDC00 && unit < 0xE000) continue;
    out += ByteOf(unit, lost);
  }
  return out;
}

std::string Cp1252ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    const char32_t cp = CodePointOf(static_cast<unsigned char>(c));
    out += static_cast<char>(cp & 0xFF);
    out += static_cast<char>(cp >> 8);
  }
  return out;
}

}  // namespace ordex
