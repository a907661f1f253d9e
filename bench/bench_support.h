#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "test_helpers.h"

namespace ordex::bench {

// Scratch folders, file helpers and the source folder are the test suite's (test_helpers.h).
using testing::ReadBytes;
using testing::SourceDir;
using testing::WriteBytes;
using ScratchDir = testing::TempDir;

// What a synthetic driver file is made of around the sample driver.
enum class DriverContent {
  // Shaped like object code (testing::DriverLikeBytes): about 31 % NULs, in runs and ending
  // short texts. This is what a real driver file looks like.
  kDriverLike,
  // Pseudo-random bytes: a NUL about every 256 bytes, far fewer than a driver file holds.
  kPseudoRandom,
};

// Writes a synthetic driver file of `size` bytes under `install_dir` (ROBOTER/DRIVERS/zt_ascii.o):
// `content` with the sample driver (and so both markers) placed 64 KiB before the end. Returns
// its path.
std::filesystem::path MakeDriverFile(const std::filesystem::path& install_dir, std::size_t size,
                                     DriverContent content);

// Reports a figure for scripts/bench.sh: a line "figure <name> <value>" after the table.
void RecordFigure(std::string name, double value);
void PrintFigures();

}  // namespace ordex::bench
