#pragma once

#include <cstdint>

namespace ordex::bench {

// What the code under measurement asked of the heap and the file system while counting was on.
// Counted in this binary by its own malloc (under operator new) and by wrappers around the C
// library's open and stat functions (calls from the program's code bind to them; the C library's
// own internal calls do not, and the program makes none of those in a pass).
struct Counts {
  std::uint64_t allocations = 0;
  std::uint64_t opens = 0;  // open, openat, opendir, fopen and their 64-bit names
  std::uint64_t stats = 0;  // stat, lstat, fstatat and their 64-bit names
  // The most heap bytes live at one time beyond those live when counting started.
  std::uint64_t peak_heap_bytes = 0;
};

// Starts counting from zero.
void StartCounting();
// Stops counting and returns what was counted since StartCounting.
Counts StopCounting();

}  // namespace ordex::bench
