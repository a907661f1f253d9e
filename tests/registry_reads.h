#pragma once

#include <gtest/gtest.h>

#include <optional>

namespace ordex::testing {

// What a registry read gives: the value, or nothing where it reports the value missing. `read`
// runs twice, with its flag preset to false and then to true, so that it must set the flag
// either way; where it reports the value missing it must leave `untouched` as it was.
template <typename T, typename Read>
std::optional<T> ReadAnswer(const T& untouched, const Read& read) {
  std::optional<T> answers[2];
  for (const bool preset : {false, true}) {
    T value = untouched;
    bool ok = preset;
    read(value, ok);
    if (!ok) EXPECT_EQ(value, untouched) << "a read that found nothing changed the value";
    answers[preset] = ok ? std::optional<T>(value) : std::nullopt;
  }
  EXPECT_EQ(answers[0], answers[1]) << "the read left its flag as it was";
  return answers[0];
}

}  // namespace ordex::testing
