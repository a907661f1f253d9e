// The external-axis reader on arbitrary machine data: it never throws, and its value is a piece
// of the one line that holds "$EX_AX_NUM" (CR LF, LF and a lone CR each end a line), trimmed and
// cut before any comment.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "collectors/ex_ax_num.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using ordex::fuzz::Require;
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const std::string value = ordex::ExAxNumFromText(content);
  const bool has_variable = content.find("$EX_AX_NUM") != std::string_view::npos;
  Require(has_variable || value.empty(), "no value without the variable");
  if (value.empty()) return 0;
  Require(content.find(value) != std::string_view::npos, "the value comes from the content");
  Require(value.front() != ' ' && value.back() != ' ', "the value is trimmed");
  Require(value.find(';') == std::string::npos, "the comment is cut off");
  Require(value.find_first_of("\r\n") == std::string::npos, "the value lies within one line");
  // Text after the first line that holds the variable cannot change the value.
  const auto line_end = content.find_first_of("\r\n", content.find("$EX_AX_NUM"));
  if (line_end != std::string_view::npos) {
    const std::string extended = std::string(content) + "\n$EX_AX_NUM=99 ;later line\n";
    Require(ordex::ExAxNumFromText(extended) == value, "the first line holding it counts");
  }
  return 0;
}
