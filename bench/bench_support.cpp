#include "bench_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <utility>

namespace ordex::bench {
namespace fs = std::filesystem;

namespace {
std::string PseudoRandomBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t seed = 20240611;
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 23);
  }
  return bytes;
}
}  // namespace

fs::path MakeDriverFile(const fs::path& install_dir, std::size_t size, DriverContent kind) {
  constexpr std::size_t kTailAfterSample = 64 * 1024;
  const std::string sample = ReadBytes(SourceDir() / "examples/ROBOTER/DRIVERS/zt_ascii.o");
  if (size < sample.size() + kTailAfterSample) throw std::runtime_error("driver file too small");
  const std::size_t sample_at = size - kTailAfterSample - sample.size();
  std::string content = kind == DriverContent::kDriverLike ? testing::DriverLikeBytes(size, 1)
                                                           : PseudoRandomBytes(size);
  content.replace(sample_at, sample.size(), sample);
  const fs::path path = install_dir / "ROBOTER/DRIVERS/zt_ascii.o";
  WriteBytes(path, content);
  return path;
}

namespace {
// The last value recorded under each name counts: the library runs a benchmark several times
// while it settles on an iteration count.
std::map<std::string, double>& Figures() {
  static std::map<std::string, double> figures;
  return figures;
}
}  // namespace

void RecordFigure(std::string name, double value) { Figures()[std::move(name)] = value; }

void PrintFigures() {
  for (const auto& [name, value] : Figures()) std::printf("figure %s %.6g\n", name.c_str(), value);
}

}  // namespace ordex::bench
