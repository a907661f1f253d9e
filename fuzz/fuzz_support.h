#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace ordex::fuzz {

// Ends the run with a message when an invariant does not hold; libFuzzer records the input.
inline void Require(bool holds, std::string_view what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

}  // namespace ordex::fuzz
