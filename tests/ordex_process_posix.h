#pragma once
// Helpers for tests that run the real ordex binary: a started process, a scratch copy of the
// sample installation with its registry store, and the frames its text view writes.
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "test_helpers.h"

namespace ordex::testing {

namespace process_detail {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
}  // namespace process_detail

struct OrdexOptions {
  std::filesystem::path store;
  std::filesystem::path output;  // standard output; standard error goes to output + ".err"
  std::optional<uid_t> run_as;   // a user to become before the start (needs root)
  // Where the instance lock lives (XDG_RUNTIME_DIR); empty for the default folder.
  std::filesystem::path runtime_dir;
  std::vector<std::pair<std::string, std::string>> environment;
};

// A started ordex with the text view and no display; killed if the test does not wait for it.
class OrdexProcess {
 public:
  explicit OrdexProcess(const OrdexOptions& options) {
    pid_ = ::fork();
    if (pid_ != 0) return;
    ::setenv("ORDEX_REGISTRY", options.store.c_str(), 1);
    ::setenv("ORDEX_VIEW", "text", 1);
    ::unsetenv("DISPLAY");
    if (options.runtime_dir.empty()) {
      ::unsetenv("XDG_RUNTIME_DIR");
    } else {
      ::setenv("XDG_RUNTIME_DIR", options.runtime_dir.c_str(), 1);
    }
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    if (!std::freopen(options.output.c_str(), "w", stdout) ||
        !std::freopen((options.output.string() + ".err").c_str(), "w", stderr)) {
      _exit(127);
    }
    if (options.run_as) {
      const passwd* user = ::getpwuid(*options.run_as);
      if (!user || ::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 ||
          ::setuid(user->pw_uid) != 0) {
        _exit(126);
      }
    }
    ::execl(ORDEX_BINARY, ORDEX_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  OrdexProcess(const std::filesystem::path& store, const std::filesystem::path& output)
      : OrdexProcess(OrdexOptions{.store = store, .output = output}) {}
  OrdexProcess(const OrdexProcess&) = delete;
  OrdexProcess& operator=(const OrdexProcess&) = delete;

  ~OrdexProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  pid_t pid() const { return pid_; }

  // The exit status (128 + signal when killed), or -1 when it still runs after `timeout`.
  int WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    using namespace process_detail;
    if (exited_) return status_;
    for (auto waited = 0ms; waited <= timeout; waited += 5ms) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_;
      }
      std::this_thread::sleep_for(5ms);
    }
    return -1;
  }
  bool Running() { return WaitForExit(std::chrono::milliseconds(0)) == -1; }
  void Signal(int signal) { ::kill(pid_, signal); }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = -1;
};

template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  using namespace process_detail;
  for (auto waited = 0ms; waited <= timeout; waited += 5ms) {
    if (condition()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

// The unprivileged user that tests running as root become, so that permissions bite.
inline std::optional<uid_t> UnprivilegedUser() {
  if (const passwd* user = ::getpwnam("nobody")) return user->pw_uid;
  return std::nullopt;
}

// A scratch copy of the sample installation (tree/) next to its registry store.
class SampleInstallation {
 public:
  SampleInstallation() {
    namespace fs = std::filesystem;
    fs::create_directories(dir_ / "tree");
    fs::copy(SourceDir() / "examples/ROBOTER", dir_ / "tree/ROBOTER", fs::copy_options::recursive);
    fs::remove(SummaryPath());
    WriteStore("");
    // Lock files go here rather than into /tmp, and go with the scratch folder. Open to
    // everyone like /tmp, for tests that start ordex as another user.
    fs::create_directory(RuntimeDir());
    fs::permissions(RuntimeDir(), fs::perms::all | fs::perms::sticky_bit);
  }

  // The store with the controller's key and `settings` after it, replaced in one step so that
  // a running instance never reads half of it.
  void WriteStore(const std::string& settings) const {
    const std::filesystem::path temporary = store().string() + ".new";
    WriteBytes(temporary, ControllerKey() + settings);
    std::filesystem::rename(temporary, store());
  }
  std::string ControllerKey() const {
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex Roboter GmbH\\Version]\r\n"
           "\"XOCVersion\"=\"XOC 5.6.11\"\r\n\"Version\"=\"BR 5.6.3\"\r\n"
           "\"InstallationDir\"=\"" +
           (dir_ / "tree").string() + "\"\r\n";
  }
  static std::string Settings(int interval_ms, int visible) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex Roboter GmbH\\Tarvex PANO\\Customer "
                  "Preferences\\ZT\\Service\\ORDEX]\r\n\"TimerInterval\"=dword:%08x\r\n"
                  "\"Visible\"=dword:%08x\r\n",
                  static_cast<unsigned>(interval_ms), static_cast<unsigned>(visible));
    return text;
  }

  const TempDir& dir() const { return dir_; }
  std::filesystem::path tree() const { return dir_ / "tree"; }
  std::filesystem::path store() const { return dir_ / "registry.reg"; }
  std::filesystem::path RuntimeDir() const { return dir_ / "run"; }
  std::filesystem::path SummaryFolder() const { return dir_ / "tree/ROBOTER/IBGN/Xoc/R1/IBGN"; }
  std::filesystem::path SummaryPath() const { return SummaryFolder() / "Tarvex.ini"; }
  std::filesystem::path MachineDataPath() const {
    return dir_ / "tree/ROBOTER/XOC/R1/Mada/$Machine.dat";
  }
  std::string Summary() const {
    std::error_code error;
    return std::filesystem::exists(SummaryPath(), error) ? ReadBytes(SummaryPath()) : "";
  }

 private:
  TempDir dir_;
};

// One frame of the text view: the window as it was shown after one event.
struct Frame {
  std::string ex_ax_num;
  long changes = 0;
  long refresh_no = 0;
};

// The complete frames in the text view's output (written to a file or pipe: appended blocks).
inline std::vector<Frame> ParseFrames(std::string_view output) {
  constexpr std::string_view kExAxNumCaption = "Number of external Axes:";
  constexpr std::string_view kChanges = "Changes since start";
  std::vector<Frame> frames;
  Frame frame;
  while (!output.empty()) {
    const auto end = output.find('\n');
    if (end == std::string_view::npos) break;  // a line still being written
    std::string_view line = output.substr(0, end);
    output.remove_prefix(end + 1);
    if (line.starts_with(kExAxNumCaption)) {
      line.remove_prefix(kExAxNumCaption.size());
      frame.ex_ax_num =
          std::string(line.substr(std::min(line.find_first_not_of(' '), line.size())));
    } else if (const auto at = line.find(kChanges); at != std::string_view::npos) {
      frame.changes = std::atol(std::string(line.substr(0, at)).c_str());
      frame.refresh_no = std::atol(std::string(line.substr(line.find_last_of(' ') + 1)).c_str());
      frames.push_back(frame);
    }
  }
  return frames;
}

}  // namespace ordex::testing
