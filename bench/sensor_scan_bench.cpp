// The sensor driver scan over a large driver file whose markers stand near its end, page cache
// warm: one shaped like object code (what users have) and one of pseudo-random bytes.
// scripts/bench.sh times grep on the same files for comparison.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_support.h"
#include "collectors/sensor_driver.h"
#include "counting.h"
#include "platform/file_access.h"

namespace ordex::bench {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMiB = 1024 * 1024;

// The install folder holding a driver file of `mebibytes`: the one scripts/bench.sh made (named
// by ORDEX_BENCH_INSTALL_DIR or ORDEX_BENCH_LIKE_INSTALL_DIR, 64 MiB) or one made here.
class DriverInstallation {
 public:
  DriverInstallation(std::size_t mebibytes, DriverContent content) {
    const char* given =
        std::getenv(content == DriverContent::kDriverLike ? "ORDEX_BENCH_LIKE_INSTALL_DIR"
                                                          : "ORDEX_BENCH_INSTALL_DIR");
    if (given && *given && mebibytes == 64) {
      dir_ = given;
      return;
    }
    scratch_ = std::make_unique<ScratchDir>();
    dir_ = scratch_->path();
    MakeDriverFile(dir_, mebibytes * kMiB, content);
  }
  const fs::path& dir() const { return dir_; }

 private:
  std::unique_ptr<ScratchDir> scratch_;
  fs::path dir_;
};

void ScanDriverFile(benchmark::State& state, DriverContent content, const std::string& figure) {
  const auto mebibytes = static_cast<std::size_t>(state.range(0));
  const DriverInstallation installation(mebibytes, content);
  const auto files = CreateFileAccess();
  const std::string install_dir = installation.dir().string();
  const auto size = fs::file_size(installation.dir() / "ROBOTER/DRIVERS/zt_ascii.o");

  // Once before timing: warms the page cache, checks the result and measures the heap.
  StartCounting();
  const SensorInfo info = ReadSensorInfo(*files, install_dir);
  const Counts counts = StopCounting();
  if (info.sensor != "SENSOR-A_2.0" || info.driver_version != "1.3b") {
    state.SkipWithError("the scan did not find the sample's markers");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(ReadSensorInfo(*files, install_dir));

  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  const double peak_heap = static_cast<double>(counts.peak_heap_bytes);
  state.counters["peak_heap_bytes"] = peak_heap;
  RecordFigure(figure + std::to_string(mebibytes) + "mib_peak_heap_bytes", peak_heap);
}

void BM_SensorScan(benchmark::State& state) {
  ScanDriverFile(state, DriverContent::kPseudoRandom, "scan_");
}
void BM_SensorScanDriverLike(benchmark::State& state) {
  ScanDriverFile(state, DriverContent::kDriverLike, "scan_like_");
}
BENCHMARK(BM_SensorScan)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SensorScanDriverLike)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ordex::bench
