// One refresh pass with nothing changed and the window hidden, against the two file-system
// queries no pass can avoid: the machine data file's modification time and the registry store's
// (which tells whether the store must be read again).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "app/machine_system.h"
#include "bench_support.h"
#include "counting.h"
#include "platform/machine_wrapper.h"
#include "platform/system.h"
#include "platform/window_posix.h"
#include "registry/registry_posix.h"
#include "shell/main_window.h"

namespace ordex::bench {
namespace {

namespace fs = std::filesystem;

class NullView : public WindowView {
 public:
  void SetText(std::size_t, std::string_view) override {}
  void SetVisible(bool) override {}
  void SetTimerInterval(std::int32_t) override {}
  void Listen(TickListener&) override {}
  int Run(TickListener&) override { return 0; }
  void Quit(int) override {}
  void Pause(std::chrono::milliseconds) override {}
};

class NoLock : public InstanceLock {};

// The system's machine with a registry store of its own and no instance claim; a fatal error
// stops the benchmark and events are not shown.
class BenchMachine : public MachineWrapper {
 public:
  BenchMachine(Machine& system, std::string store)
      : MachineWrapper(system), store_(std::move(store)) {}

  std::unique_ptr<RegistryAccess> CreateRegistry() override { return CreateRegistryFile(store_); }
  std::unique_ptr<InstanceLock> ClaimSingleInstance() override {
    return std::make_unique<NoLock>();
  }
  void ReportFatalError(std::string_view message) override {
    std::fprintf(stderr, "ordex_bench: %.*s\n", static_cast<int>(message.size()), message.data());
    std::exit(1);
  }
  void LogEvent(const Event&) override {}

 private:
  std::string store_;
};

std::string KeyLine(std::string_view key) {
  return "[HKEY_LOCAL_MACHINE\\" + std::string(key) + "]\r\n";
}

// A copy of the sample installation with its own registry store, as the program sees it; with
// `policy`, the policy key holds both settings too.
class Installation {
 public:
  explicit Installation(bool policy = false) {
    fs::copy(SourceDir() / "examples/ROBOTER", dir_.path() / "ROBOTER",
             fs::copy_options::recursive);
    store_ = dir_.path() / "registry.reg";
    const std::string settings =
        "\"TimerInterval\"=dword:00002710\r\n\"Visible\"=dword:00000000\r\n";
    WriteBytes(store_, "REGEDIT4\r\n\r\n" + KeyLine(VersionKey) +
                           "\"XOCVersion\"=\"XOC 5.6.11\"\r\n\"Version\"=\"BR 5.6.3\"\r\n"
                           "\"InstallationDir\"=\"" +
                           dir_.path().string() + "\"\r\n\r\n" + KeyLine(SettingsKey) + settings +
                           (policy ? "\r\n" + KeyLine(PolicyKey) + settings : ""));
  }

  std::string MachineData() const {
    return (dir_.path() / "ROBOTER/XOC/R1/Mada/$Machine.dat").string();
  }
  std::string Store() const { return store_.string(); }

 private:
  ScratchDir dir_;
  fs::path store_;
};

// Form1 started on the installation, with the real file access and registry store.
class StartedForm {
 public:
  StartedForm(const Installation& installation, WindowView& view)
      : system_(nullptr, view, "bench"), machine_(system_, installation.Store()), form_(machine_) {
    if (form_.Form_Load() != Form1::LoadResult::kRunning) std::exit(1);
    // The first pass copies the record into Saved; every later one finds room for it there.
    form_.Timer1_Timer();
  }

  void Pass() { form_.Timer1_Timer(); }

 private:
  SystemMachine system_;
  BenchMachine machine_;
  Form1 form_;
};

void ReportCounts(benchmark::State& state, const Counts& counts) {
  const auto per_pass = [&](std::uint64_t count) {
    return static_cast<double>(count) / static_cast<double>(state.iterations());
  };
  state.counters["allocs/pass"] = per_pass(counts.allocations);
  state.counters["opens/pass"] = per_pass(counts.opens);
  state.counters["stats/pass"] = per_pass(counts.stats);
}

// Passes of Form1 started on `installation` and shown in `view`, counted; what each costs is
// recorded as the figures "<figure>_allocs_per_pass" and "<figure>_opens_per_pass".
void MeasurePasses(benchmark::State& state, const Installation& installation, WindowView& view,
                   const std::string& figure) {
  StartedForm form(installation, view);
  StartCounting();
  for (auto _ : state) form.Pass();
  ReportCounts(state, StopCounting());
  RecordFigure(figure + "_allocs_per_pass", state.counters["allocs/pass"]);
  RecordFigure(figure + "_opens_per_pass", state.counters["opens/pass"]);
}

void BM_BareQueries(benchmark::State& state) {
  const Installation installation;
  const std::string machine_data = installation.MachineData();
  const std::string store = installation.Store();
  StartCounting();
  for (auto _ : state) {
    struct stat info;
    benchmark::DoNotOptimize(::stat(machine_data.c_str(), &info));
    benchmark::DoNotOptimize(::stat(store.c_str(), &info));
  }
  ReportCounts(state, StopCounting());
}
BENCHMARK(BM_BareQueries);

void BM_RefreshPass(benchmark::State& state) {
  NullView view;
  MeasurePasses(state, Installation(), view, "refresh");
  RecordFigure("refresh_stats_per_pass", state.counters["stats/pass"]);
}
BENCHMARK(BM_RefreshPass);

// The same with both settings set by policy as well (without one, as above, the policy key is
// looked for and not found).
void BM_RefreshPassWithPolicy(benchmark::State& state) {
  NullView view;
  MeasurePasses(state, Installation(true), view, "refresh_policy");
}
BENCHMARK(BM_RefreshPassWithPolicy);

// The same with the program's own terminal view, hidden, as a headless run has it.
void BM_RefreshPassTextView(benchmark::State& state) {
  const auto view = CreateTextView(STDERR_FILENO, kForm1Layout);
  MeasurePasses(state, Installation(), *view, "refresh_text_view");
}
BENCHMARK(BM_RefreshPassTextView);

// The same with the FLTK window, shown once and then hidden, where a display is at hand
// (scripts/bench.sh runs the benchmarks on a virtual one).
void BM_RefreshPassFltkHidden(benchmark::State& state) {
  const auto view = CreateFltkView(kForm1Layout);
  if (!view) {
    state.SkipWithError("no display");
    return;
  }
  view->SetVisible(true);
  // Visible 0 in the installation: start-up hides the window again.
  MeasurePasses(state, Installation(), *view, "refresh_fltk_hidden");
}
BENCHMARK(BM_RefreshPassFltkHidden);

}  // namespace
}  // namespace ordex::bench
