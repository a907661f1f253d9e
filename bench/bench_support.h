#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ordex::bench {

// A fresh folder under TMPDIR, removed with its content when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::filesystem::path SourceDir();
void WriteFile(const std::filesystem::path& path, std::string_view content);
std::string ReadFile(const std::filesystem::path& path);

// Writes a synthetic driver file of `size` bytes under `install_dir` (ROBOTER/DRIVERS/zt_ascii.o):
// pseudo-random bytes standing in for machine code, with the sample driver (and so both markers)
// placed 64 KiB before the end. Returns its path.
std::filesystem::path MakeDriverFile(const std::filesystem::path& install_dir, std::size_t size);

// Reports a figure for scripts/bench.sh: a line "figure <name> <value>" after the table.
void RecordFigure(std::string name, double value);
void PrintFigures();

}  // namespace ordex::bench
