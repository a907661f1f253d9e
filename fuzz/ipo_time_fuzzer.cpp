// The cycle-time reader on arbitrary ini content: it returns a number text or throws Error,
// nothing else; an error is one short line whatever bytes the file holds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "collectors/ipo_time.h"
#include "core/error.h"
#include "fuzz_support.h"

namespace {

// A plain decimal number, optionally negative, with `separator` as its only separator.
bool IsNumberText(std::string_view text, char separator) {
  if (text.starts_with('-')) text.remove_prefix(1);
  if (text.empty() || text.front() == separator || text.back() == separator) return false;
  int separators = 0;
  for (const char c : text) {
    if (c == separator) {
      ++separators;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return separators <= 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  for (const char separator : {'.', ','}) {
    try {
      const std::string ipo_time = ordex::IpoTimeFromText(content, separator);
      ordex::fuzz::Require(IsNumberText(ipo_time, separator), "cycle time is a number text");
    } catch (const ordex::Error& error) {
      const std::string_view message = error.what();
      ordex::fuzz::Require(message.starts_with("hw_inf.ini:"), "error names the file and line");
      ordex::fuzz::Require(message.size() < 300, "error quotes a short piece of the value");
      ordex::fuzz::Require(std::none_of(message.begin(), message.end(),
                                        [](char c) {
                                          const auto byte = static_cast<unsigned char>(c);
                                          return byte < 0x20 || byte == 0x7f;
                                        }),
                           "error is one line without control bytes");
    }
  }
  return 0;
}
