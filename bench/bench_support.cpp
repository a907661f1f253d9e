#include "bench_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <utility>

namespace ordex::bench {
namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (fs::path(base && *base ? base : "/tmp") / "ordex-bench.XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create " + pattern);
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path SourceDir() { return ORDEX_SOURCE_DIR; }

void WriteFile(const fs::path& path, std::string_view content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path MakeDriverFile(const fs::path& install_dir, std::size_t size) {
  constexpr std::size_t kTailAfterSample = 64 * 1024;
  const std::string sample = ReadFile(SourceDir() / "examples/ROBOTER/DRIVERS/zt_ascii.o");
  if (size < sample.size() + kTailAfterSample) throw std::runtime_error("driver file too small");
  const std::size_t sample_at = size - kTailAfterSample - sample.size();
  std::string content(size, '\0');
  std::uint32_t seed = 20240611;
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    content[i] = static_cast<char>(seed >> 23);
  }
  content.replace(sample_at, sample.size(), sample);
  const fs::path path = install_dir / "ROBOTER/DRIVERS/zt_ascii.o";
  WriteFile(path, content);
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
