// The benchmarks' entry: runs them, then prints the figures scripts/bench.sh reads, among them
// the ratios of one run. "ordex_bench --make-driver DIR" and "--make-driver-like DIR" only write
// the 64 MiB driver file (pseudo-random or shaped like object code) under DIR, for grep to read
// the same bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench_support.h"
#include "counting.h"

namespace ordex::bench {
namespace {

// The console table, plus each benchmark's time per iteration in seconds and its throughput: the
// median of the repetitions when there are several, else the one run.
class FigureReporter : public benchmark::ConsoleReporter {
 public:
  FigureReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string name = run.run_name.str();
      if (!median && medians_.contains(name)) continue;
      if (median) medians_.insert(name);
      seconds_[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      if (const auto rate = run.counters.find("bytes_per_second"); rate != run.counters.end()) {
        bytes_per_second_[name] = rate->second.value;
      }
    }
  }

  void RecordResults() const {
    const auto find = [](const std::map<std::string, double>& map, const std::string& name) {
      const auto it = map.find(name);
      return it == map.end() ? 0.0 : it->second;
    };
    const double bare = find(seconds_, "BM_BareQueries");
    if (bare > 0) {
      RecordFigure("bare_queries_ns", bare * 1e9);
      if (const double pass = find(seconds_, "BM_RefreshPass"); pass > 0) {
        RecordFigure("refresh_pass_ns", pass * 1e9);
        RecordFigure("refresh_pass_over_bare", pass / bare);
      }
      if (const double pass = find(seconds_, "BM_RefreshPassTextView"); pass > 0) {
        RecordFigure("refresh_pass_text_view_over_bare", pass / bare);
      }
      if (const double pass = find(seconds_, "BM_RefreshPassWithPolicy"); pass > 0) {
        RecordFigure("refresh_pass_with_policy_over_bare", pass / bare);
      }
      if (const double pass = find(seconds_, "BM_RefreshPassFltkHidden"); pass > 0) {
        RecordFigure("refresh_pass_fltk_hidden_over_bare", pass / bare);
      }
    }
    for (const auto& [benchmark, figure] : {std::pair{"BM_SensorScan/", "scan_"},
                                            std::pair{"BM_SensorScanDriverLike/", "scan_like_"}}) {
      for (const int mebibytes : {1, 64}) {
        const std::string size = std::to_string(mebibytes);
        if (const double rate = find(bytes_per_second_, benchmark + size); rate > 0) {
          RecordFigure(figure + size + "mib_bytes_per_second", rate);
        }
      }
    }
  }

 private:
  std::map<std::string, double> seconds_;
  std::map<std::string, double> bytes_per_second_;
  std::set<std::string> medians_;
};

// Counts one allocation, one open and one stat, so that a zero in the figures means that none
// happened rather than that the counting wrappers were bypassed.
bool CountingWorks() {
  StartCounting();
  std::string text(100, 'x');
  benchmark::DoNotOptimize(text.data());
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  struct stat info;
  benchmark::DoNotOptimize(::stat("/", &info));
  const Counts counts = StopCounting();
  return counts.allocations >= 1 && counts.opens >= 1 && counts.stats >= 1;
}

}  // namespace
}  // namespace ordex::bench

int main(int argc, char** argv) {
  if (argc == 3 && (std::strcmp(argv[1], "--make-driver") == 0 ||
                    std::strcmp(argv[1], "--make-driver-like") == 0)) {
    using ordex::bench::DriverContent;
    const auto content = std::strcmp(argv[1], "--make-driver") == 0 ? DriverContent::kPseudoRandom
                                                                    : DriverContent::kDriverLike;
    std::printf("%s\n", ordex::bench::MakeDriverFile(argv[2], 64 * 1024 * 1024, content).c_str());
    return 0;
  }
  if (!ordex::bench::CountingWorks()) {
    std::fprintf(stderr, "ordex_bench: the allocation and file counters do not see the calls\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ordex::bench::FigureReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.RecordResults();
  ordex::bench::PrintFigures();
  return 0;
}
