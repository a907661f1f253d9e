#include "core/case_fold.h"

#include <array>

namespace ordex {
namespace {

// A table, since the registry compares names on every refresh pass.
constexpr std::array<unsigned char, 256> MakeUpperCaseTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<unsigned char>(c - 0x20);
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) table[c] = static_cast<unsigned char>(c - 0x20);  // 0xF7 is the division sign
  }
  table[0x9A] = 0x8A;  // s caron
  table[0x9C] = 0x8C;  // oe
  table[0x9E] = 0x8E;  // z caron
  table[0xFF] = 0x9F;  // y diaeresis
  return table;
}
constexpr std::array<unsigned char, 256> kUpperCase = MakeUpperCaseTable();

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (kUpperCase[static_cast<unsigned char>(a[i])] !=
        kUpperCase[static_cast<unsigned char>(b[i])])
      return false;
  }
  return true;
}

}  // namespace ordex
