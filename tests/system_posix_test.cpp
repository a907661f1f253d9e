#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/machine_system.h"
#include "core/error.h"
#include "machine_contract.h"
#include "platform/fd_posix.h"
#include "platform/machine_wide_claim.h"
#include "platform/store_key_posix.h"
#include "platform/system.h"
#include "platform/window_posix.h"
#include "registry/registry.h"
#include "test_helpers.h"

namespace ordex {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

// Points XDG_RUNTIME_DIR at a folder of the test's own, so that lock files land there; the
// variables that choose the lock's folder are as they were after each test.
class InstanceTest : public ::testing::Test {
 protected:
  std::string Store(std::string_view name = "registry.reg") const {
    return (store_dir_ / name).string();
  }

  // Lock files in the runtime folder.
  std::vector<fs::path> LockFiles() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(runtime_dir_.path())) {
      files.push_back(entry.path());
    }
    return files;
  }

  TempDir runtime_dir_;
  TempDir store_dir_;
  testing::ScopedVariable runtime_variable_{"XDG_RUNTIME_DIR", runtime_dir_.path().string()};
  // Tests that move the lock elsewhere change these; each is put back as it was.
  testing::ScopedVariable tmpdir_{"TMPDIR", Current("TMPDIR")};
  testing::ScopedVariable home_{"HOME", Current("HOME")};

 private:
  static std::optional<std::string> Current(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  }
};

// A process of its own that tries to claim `scope` and exits with 0 when refused, 1 when it got
// the claim, 2 on an error.
int ClaimInOtherProcess(const std::string& scope) {
  const pid_t child = ::fork();
  if (child == 0) {
    try {
      _exit(ClaimSingleInstance(scope) ? 1 : 0);
    } catch (...) {
      _exit(2);
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A process of its own that holds the claim on `scope` until it is killed. Returns its id once
// the claim is held.
pid_t HoldInOtherProcess(const std::string& scope) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    auto lock = ClaimSingleInstance(scope);
    const char answer = lock ? 'y' : 'n';
    [[maybe_unused]] auto written = ::write(ready[1], &answer, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char answer = 0;
  const auto count = ::read(ready[0], &answer, 1);
  ::close(ready[0]);
  return count == 1 && answer == 'y' ? child : -1;
}

void KillAndWait(pid_t child) {
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST_F(InstanceTest, ASecondProcessIsRefusedWhileTheFirstHoldsTheClaim) {
  auto lock = ClaimSingleInstance(Store());
  ASSERT_NE(lock, nullptr);
  EXPECT_EQ(ClaimInOtherProcess(Store()), 0);
  lock.reset();
  EXPECT_EQ(ClaimInOtherProcess(Store()), 1);
}

TEST_F(InstanceTest, ThisProcessIsRefusedWhileAnotherHoldsTheClaim) {
  const pid_t holder = HoldInOtherProcess(Store());
  ASSERT_GT(holder, 0);
  EXPECT_EQ(ClaimSingleInstance(Store()), nullptr);
  KillAndWait(holder);
}

TEST_F(InstanceTest, AKilledHolderDoesNotBlockTheNextStart) {
  const pid_t holder = HoldInOtherProcess(Store());
  ASSERT_GT(holder, 0);
  KillAndWait(holder);
  EXPECT_FALSE(LockFiles().empty()) << "the file stays; only the lock counts";
  EXPECT_NE(ClaimSingleInstance(Store()), nullptr);
}

TEST_F(InstanceTest, AProgramStartedByTheHolderDoesNotInheritTheClaim) {
  auto lock = ClaimSingleInstance(Store());
  ASSERT_NE(lock, nullptr);
  // The pipe closes in the child at its exec, which tells that the exec has happened.
  int exec_done[2];
  ASSERT_EQ(::pipe2(exec_done, O_CLOEXEC), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(exec_done[1]);
  char ignored;
  ASSERT_EQ(::read(exec_done[0], &ignored, 1), 0);
  ::close(exec_done[0]);
  lock.reset();
  EXPECT_NE(ClaimSingleInstance(Store()), nullptr);
  KillAndWait(child);
}

TEST_F(InstanceTest, DifferentStoresRunSideBySide) {
  auto first = ClaimSingleInstance(Store("a.reg"));
  auto second = ClaimSingleInstance(Store("b.reg"));
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
}

TEST_F(InstanceTest, SpellingsOfOneStorePathShareOneClaim) {
  auto lock = ClaimSingleInstance(Store());
  ASSERT_NE(lock, nullptr);
  const std::string folder = store_dir_.path().string();
  for (const std::string& spelling :
       {folder + "/./registry.reg", folder + "/sub/../registry.reg", folder + "//registry.reg"}) {
    EXPECT_EQ(ClaimSingleInstance(spelling), nullptr) << spelling;
  }
  const std::string relative = fs::relative(Store(), fs::current_path()).string();
  EXPECT_EQ(ClaimSingleInstance(relative), nullptr) << relative;
}

// A store not created yet is keyed by its folder's real path, so a symbolic link to the folder
// is the same store already.
TEST_F(InstanceTest, AStoreNotCreatedYetIsTheSameStoreThroughALinkedFolder) {
  const TempDir links;
  fs::create_directory_symlink(store_dir_.path(), links / "linked");
  auto lock = ClaimSingleInstance(Store("new.reg"));
  ASSERT_NE(lock, nullptr);
  EXPECT_EQ(ClaimSingleInstance((links / "linked/new.reg").string()), nullptr);
  EXPECT_NE(ClaimSingleInstance((links / "new.reg").string()), nullptr) << "another folder";
}

TEST_F(InstanceTest, NeedsNoStoreAndWritesNothingBesideIt) {
  auto lock = ClaimSingleInstance(Store("missing/registry.reg"));
  EXPECT_NE(lock, nullptr);
  EXPECT_TRUE(fs::is_empty(store_dir_.path()));
  ASSERT_EQ(LockFiles().size(), 1u);
  const struct stat info = [&] {
    struct stat s {};
    ::stat(LockFiles()[0].c_str(), &s);
    return s;
  }();
  // Private, and sticky so that clean-ups of temporary folders leave it alone.
  EXPECT_EQ(info.st_mode & 07777, 01600u);
}

TEST_F(InstanceTest, RefusesALockFileOfAnotherUser) {
  ClaimSingleInstance(Store()).reset();
  ASSERT_EQ(LockFiles().size(), 1u);
  const fs::path lock_file = LockFiles()[0];
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file away";
  ASSERT_EQ(::chown(lock_file.c_str(), 65534, 65534), 0);
  EXPECT_THROW(ClaimSingleInstance(Store()), Error);
}

TEST_F(InstanceTest, RefusesASymbolicLinkInPlaceOfTheLockFile) {
  ClaimSingleInstance(Store()).reset();
  ASSERT_EQ(LockFiles().size(), 1u);
  const fs::path lock_file = LockFiles()[0];
  fs::remove(lock_file);
  fs::create_symlink(store_dir_ / "elsewhere", lock_file);
  EXPECT_THROW(ClaimSingleInstance(Store()), Error);
  EXPECT_FALSE(fs::exists(store_dir_ / "elsewhere"));
}

// Without a runtime folder, the lock goes where no other local user can put a file of its name
// first: a private folder of this user's in the temporary folder, or, when another user has
// taken that name, the home folder. Either way the claim works and a second one is refused.
TEST_F(InstanceTest, AnotherUserCannotStopTheStartThroughTheTemporaryFolder) {
  TempDir temp, home;
  fs::permissions(temp.path(), fs::perms::all | fs::perms::sticky_bit);
  const fs::path own = temp / ("ordex-" + std::to_string(::geteuid()));
  ::unsetenv("XDG_RUNTIME_DIR");
  ::setenv("TMPDIR", temp.path().c_str(), 1);
  ::setenv("HOME", home.path().c_str(), 1);
  const struct {
    const char* name;
    std::function<bool()> take;  // false: not possible here
    fs::path expected_folder;
  } cases[] = {
      {"free", [] { return true; }, own},
      {"a file", [&] { return testing::WriteBytes(own, ""), true; }, home.path()},
      {"a folder others may write",
       [&] { return fs::create_directory(own) && ::chmod(own.c_str(), 0777) == 0; }, home.path()},
      {"a folder of another user",
       [&] {
         return ::geteuid() == 0 && fs::create_directory(own) &&
                ::chown(own.c_str(), 65534, 65534) == 0;
       },
       home.path()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(own);
    for (const auto& entry : fs::directory_iterator(home.path())) fs::remove(entry.path());
    if (!c.take()) continue;
    auto lock = ClaimSingleInstance(Store());
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(ClaimInOtherProcess(Store()), 0);
    std::size_t locks = 0;
    for (const auto& entry : fs::directory_iterator(c.expected_folder))
      locks += entry.is_regular_file();
    EXPECT_EQ(locks, 1u);
    if (c.expected_folder == own) {
      EXPECT_EQ(fs::status(own).permissions() & fs::perms::all, fs::perms::owner_all);
    }
  }
  fs::remove_all(own);
}

// With no runtime folder and no temporary folder that can hold the lock's folder (TMPDIR gone,
// or naming a file), the lock goes to the home folder; without a home folder either, ORDEX runs
// without the claim and says why.
TEST_F(InstanceTest, WithoutRuntimeOrTemporaryFolderTheLockGoesHomeElseNowhere) {
  const TempDir home;
  const fs::path missing = home / "missing";
  testing::WriteBytes(home / "file", "");
  ::unsetenv("XDG_RUNTIME_DIR");
  const struct {
    fs::path tmpdir, home;
    bool claimed;
  } cases[] = {
      {missing, home.path(), true}, {home / "file", home.path(), true}, {missing, missing, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tmpdir.string() + ", HOME " + c.home.string());
    ::setenv("TMPDIR", c.tmpdir.c_str(), 1);
    ::setenv("HOME", c.home.c_str(), 1);
    ::testing::internal::CaptureStderr();
    auto lock = ClaimSingleInstance(Store());
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(ClaimInOtherProcess(Store()), c.claimed ? 0 : 1);
    const std::string warnings = ::testing::internal::GetCapturedStderr();
    std::size_t locks = 0;
    for (const auto& entry : fs::directory_iterator(home.path())) {
      locks += entry.path().filename().string().starts_with(".ordex-");
      if (entry.path().filename() != "file") fs::remove(entry.path());
    }
    EXPECT_EQ(locks, c.claimed ? 1u : 0u);
    if (c.claimed) {
      EXPECT_EQ(warnings, "");
    } else {
      EXPECT_THAT(warnings,
                  ::testing::HasSubstr("cannot create " + (c.tmpdir / "ordex-").string()));
      EXPECT_THAT(warnings, ::testing::HasSubstr("running without it"));
    }
  }
}

TEST(ComputerNameTest, GivesTheHostNameAndItsLength) {
  char expected[256] = {};
  ASSERT_EQ(::gethostname(expected, sizeof expected - 1), 0);
  std::string buffer(255, ' ');
  std::uint32_t size = 255;
  QueryComputerName(buffer.data(), size);
  EXPECT_EQ(size, std::strlen(expected));
  EXPECT_EQ(buffer.substr(0, size), expected);
  EXPECT_EQ(buffer[size], '\0');
}

TEST(DecimalSeparatorTest, IsThePointInTheCLocale) { EXPECT_EQ(SystemDecimalSeparator(), '.'); }

TEST(FatalErrorTest, ControlBytesFromAPathStayOnTheLineEscaped) {
  using namespace std::string_view_literals;
  ::testing::internal::CaptureStderr();
  ReportFatalError("cannot open /x\r\n\x1b[2J\0/hw_inf.ini: Permission denied"sv);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "ordex: cannot open /x\\r\\n\\x1b[2J\\x00/hw_inf.ini: Permission denied\n");
}

// The program's machine, over a registry store and a runtime folder of its own; what it
// reports is read back from standard error.
class SystemBackend {
 public:
  SystemBackend() { ::testing::internal::CaptureStderr(); }
  ~SystemBackend() {
    if (capturing_) ::testing::internal::GetCapturedStderr();
  }
  Machine& machine() { return machine_; }
  void AskTheWindowToEnd() { ::raise(SIGTERM); }
  // Standard error on a full device: every write to it fails (ENOSPC).
  void BreakTheEventLog(bool broken) {
    if (broken) {
      saved_error_output_ = ::dup(STDERR_FILENO);
      const Fd full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
      ASSERT_GE(full.get(), 0);
      ::dup2(full.get(), STDERR_FILENO);
    } else {
      ::dup2(saved_error_output_, STDERR_FILENO);
      ::close(saved_error_output_);
    }
  }

  // Another process of this user's: flock locks of two opens conflict whoever holds them.
  void HoldElsewhere(std::string_view name) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    holder_ = ::fork();
    if (holder_ == 0) {
      auto claim = TryClaimMachineWide(name, RegistryStoreLocation());
      [[maybe_unused]] auto written = ::write(ready[1], claim.lock ? "y" : "n", 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    EXPECT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    ::close(ready[0]);
  }
  // An end in order and a kill alike: the kernel drops the lock with the process. (SIGTERM
  // would not do: the child inherits the view's handler that turns it into a request.)
  void EndTheHolderElsewhere(bool) {
    ::kill(holder_, SIGKILL);
    ::waitpid(holder_, nullptr, 0);
  }
  // A folder where the lock file would be.
  void SquatElsewhere(std::string_view name) {
    const std::string last(name.substr(name.rfind('\\') + 1));
    fs::create_directory(StoreKey(RegistryStoreLocation()) + "." + last + ".lock");
  }

  testing::Reports TakeReports() {
    capturing_ = false;
    return testing::ReportsFromLines(::testing::internal::GetCapturedStderr());
  }

 private:
  TempDir dir_;
  testing::ScopedVariable runtime_variable_{"XDG_RUNTIME_DIR", dir_.path().string()};
  testing::ScopedVariable store_variable_{"ORDEX_REGISTRY", (dir_ / "registry.reg").string()};
  // The terminal's view, drawing nowhere: it pauses in real time and hears SIGTERM.
  Fd null_{::open("/dev/null", O_WRONLY | O_CLOEXEC)};
  std::unique_ptr<WindowView> view_ = CreateTextView(null_.get(), testing::kContractLayout);
  // Built as the program builds it, with the claim it made before it opened a window.
  SystemMachine machine_{ClaimSingleInstance(RegistryStoreLocation()), *view_, "1.3.0"};
  bool capturing_ = true;
  int saved_error_output_ = -1;
  pid_t holder_ = -1;
};

}  // namespace
}  // namespace ordex

namespace ordex::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(System, MachineContract, SystemBackend);
}  // namespace ordex::testing
