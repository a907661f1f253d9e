// Each operator of the mutation runner, and what it must leave alone; the self-test holds the
// mutants made of this file against operators.expected. Never compiled. Not mutated: this
// comment (a < b && c > d, "text", 1), the preprocessor lines, static_assert, template
// brackets, the reference &&, declarations, and the return that ends a function's body.
#include <vector>
#define kLimit (1 < 2)

static_assert(sizeof(int) >= 4, "an int holds 32 bits");

template <typename T>
int Count(const std::vector<T>& values, T&& limit, int step) {
  if (values.empty()) return -1;
  int seen = 0;
  for (const T& value : values) {
    if (value < limit && value != T{}) ++seen;
    if (seen > 0x10 || value == limit) break;
    if (const auto left = limit - value; left <= 1'000) continue;
    seen += static_cast<int>(value >= limit);
    Notify("counted", [&](int n) { return n < step; });
  }
  do {
    --seen;
  } while (seen > 0);
  std::vector<int> copy(values.begin(), values.end());
  return seen;
}
