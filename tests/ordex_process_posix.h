#pragma once
// Helpers for tests that run the real ordex binary: a started process, a scratch copy of the
// sample installation with its registry store, and the frames its text view writes.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "shell/settings.h"
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

// The ordex binary as `user` may start it: the build's own when every folder on its way lets
// others pass, otherwise a copy in a folder of the tests' own that they can (a checkout in
// root's home is private); the copy is made once and goes when the tests end.
inline std::filesystem::path BinaryFor(std::optional<uid_t> user) {
  namespace fs = std::filesystem;
  const fs::path binary = ORDEX_BINARY;
  if (!user || ReachableByOthers(binary.parent_path())) return binary;
  static const TempDir folder(TempDir::Reach::kEveryone);
  static const fs::path copy = [&] {
    fs::copy_file(binary, folder / "ordex", fs::copy_options::overwrite_existing);
    fs::permissions(folder / "ordex", fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
    return folder / "ordex";
  }();
  return copy;
}

// A started ordex with the text view and no display; killed if the test does not wait for it.
// A start that fails before the program runs (its output cannot be opened, the other user not
// taken on, the binary not executed) is a failure of the test that says why; the object then
// stands for a program that ended with status 127.
class OrdexProcess {
 public:
  explicit OrdexProcess(const OrdexOptions& options) {
    const std::string binary = BinaryFor(options.run_as).string();
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
      FailToStart(std::string("no pipe: ") + std::strerror(errno));
      return;
    }
    pid_ = ::fork();
    if (pid_ < 0) {
      FailToStart(std::string("cannot fork: ") + std::strerror(errno));
      ::close(report[0]);
      ::close(report[1]);
      return;
    }
    if (pid_ == 0) {
      ::close(report[0]);
      Exec(options, binary, report[1]);
    }
    ::close(report[1]);
    // Closed without a word when the program replaced the child.
    std::string reason;
    char buffer[512];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) != 0;) {
      if (got > 0) reason.append(buffer, static_cast<std::size_t>(got));
      if (got < 0 && errno != EINTR) break;
    }
    ::close(report[0]);
    if (!reason.empty()) {
      WaitForExit();
      FailToStart(reason);
    }
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
  // Only to the program itself: never to a process that took over its number once it was
  // waited for, nor (-1) to every process.
  void Signal(int signal) {
    if (pid_ > 0 && !exited_) ::kill(pid_, signal);
  }

 private:
  // In the child: becomes the program, or writes why not to `report` and ends with 127.
  [[noreturn]] static void Exec(const OrdexOptions& options, const std::string& binary,
                                int report) {
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
      Report(report, "cannot open its output " + options.output.string());
    }
    if (options.run_as) {
      const passwd* user = ::getpwuid(*options.run_as);
      if (!user || ::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 ||
          ::setuid(user->pw_uid) != 0) {
        Report(report, "cannot become user " + std::to_string(*options.run_as));
      }
      // The test's working folder may be closed to that user.
      if (::chdir("/") != 0) Report(report, "cannot enter /");
    }
    ::execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    Report(report, "cannot execute " + binary);
  }
  [[noreturn]] static void Report(int report, const std::string& what) {
    const std::string message = what + ": " + std::strerror(errno);
    [[maybe_unused]] const auto written = ::write(report, message.data(), message.size());
    _exit(127);
  }
  void FailToStart(const std::string& reason) {
    exited_ = true;
    status_ = 127;
    ADD_FAILURE() << "ordex did not start: " << reason;
  }

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
    return "REGEDIT4\r\n\r\n" + RegKeyLine(VersionKey) +
           "\"XOCVersion\"=\"XOC 5.6.11\"\r\n\"Version\"=\"BR 5.6.3\"\r\n"
           "\"InstallationDir\"=\"" +
           (dir_ / "tree").string() + "\"\r\n";
  }
  static std::string Settings(int interval_ms, int visible) {
    char text[256];
    std::snprintf(text, sizeof text, "\"TimerInterval\"=dword:%08x\r\n\"Visible\"=dword:%08x\r\n",
                  static_cast<unsigned>(interval_ms), static_cast<unsigned>(visible));
    return "\r\n" + RegKeyLine(SettingsKey) + text;
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
  // Tests running as root start ordex in it as another user.
  TempDir dir_{TempDir::Reach::kEveryone};
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
