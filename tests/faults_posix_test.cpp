// Faults met by the real ordex binary: a machine data file that changes under a fast-ticking
// instance, a summary folder that is read-only or full, a registry store that cannot be read,
// is malformed or read-only, many simultaneous starts. Each ends in a known state with nothing
// lost, and nothing in the controller tree changes but the summary file.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ordex_process_posix.h"
#include "test_helpers.h"

namespace ordex {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::Eventually;
using testing::Frame;
using testing::OrdexOptions;
using testing::OrdexProcess;
using testing::ParseFrames;
using testing::ReadBytes;
using testing::SampleInstallation;
using testing::WriteBytes;

// Every file and folder under `root` with its type, mode, owner, size, content hash and
// modification time: two listings are equal when nothing under `root` changed.
std::map<std::string, std::string> Listing(const fs::path& root) {
  std::map<std::string, std::string> listing;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat info {};
    ::lstat(entry.path().c_str(), &info);
    std::string line = std::to_string(info.st_mode) + " " + std::to_string(info.st_uid) + " " +
                       std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) +
                       "." + std::to_string(info.st_mtim.tv_nsec);
    if (S_ISREG(info.st_mode)) {
      std::uint64_t hash = 0xcbf29ce484222325u;
      for (const char c : ReadBytes(entry.path())) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
      }
      line += " " + std::to_string(hash);
    }
    listing[fs::relative(entry.path(), root).string()] = line;
  }
  return listing;
}

std::string SummaryWithExAxNum(const std::string& ex_ax_num) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  return std::string("Version: 1.3b\r\nSteuerung: XOC 5.6.11\r\nBSVersion: BR 5.6.3\r\nName: ") +
         host + "\r\nIPO: 12\r\nZusatz-Achsen: " + ex_ax_num + "\r\nSensor: SENSOR-A_2.0\r\n";
}

std::string MachineData(const std::string& ex_ax_num) {
  return "&ACCESS RVP\r\nDEFDAT  $MACHINE PUBLIC\r\nDECL INT $NUM_AX=6 ;number of robot axes\r\n"
         "DECL INT $EX_AX_NUM=" +
         ex_ax_num + " ;number of external axes\r\nENDDAT\r\n";
}

// Gives the file a modification time of its own, so that each change is told apart from the
// one before even when both fall into the same clock tick of the file system.
void StampUniquely(const fs::path& path) {
  static std::int64_t stamp = 1'600'000'000;
  ++stamp;
  const timespec times[2] = {{stamp, 0}, {stamp, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A listing without the summary file and its folder, whose time stamp records the file's write.
constexpr const char* kSummaryEntry = "ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini";
std::map<std::string, std::string> WithoutSummary(std::map<std::string, std::string> listing) {
  listing.erase(kSummaryEntry);
  listing.erase("ROBOTER/IBGN/Xoc/R1/IBGN");
  return listing;
}

// Rights that bite: tests running as root become an unprivileged user for the start.
class AsUnprivilegedUser {
 public:
  // `scratch` must be reachable for that user (TEST_TMPDIR may lie in a private folder).
  explicit AsUnprivilegedUser(const fs::path& scratch) {
    if (::geteuid() != 0) {
      uid_ = ::geteuid();
      return;
    }
    run_as_ = testing::UnprivilegedUser();
    if (run_as_ && testing::ReachableByOthers(scratch)) uid_ = *run_as_;
  }
  bool available() const { return uid_.has_value(); }
  std::optional<uid_t> run_as() const { return run_as_; }
  void Own(const fs::path& path) const {
    if (run_as_) ASSERT_EQ(::chown(path.c_str(), *run_as_, static_cast<gid_t>(-1)), 0) << path;
  }

 private:
  std::optional<uid_t> uid_;
  std::optional<uid_t> run_as_;
};

struct stat Stat(const fs::path& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info;
}

void Stop(OrdexProcess& ordex) {
  ordex.Signal(SIGTERM);
  EXPECT_EQ(ordex.WaitForExit(), 0);
}

class FaultTest : public ::testing::Test {
 protected:
  OrdexOptions Options(const std::string& output_name,
                       std::optional<uid_t> run_as = std::nullopt) const {
    return {.store = sample_.store(),
            .output = sample_.dir() / output_name,
            .run_as = run_as,
            .runtime_dir = sample_.RuntimeDir()};
  }
  bool SummaryHolds(const std::string& ex_ax_num) const {
    return sample_.Summary() == SummaryWithExAxNum(ex_ax_num);
  }
  // A start that must end at once with exit code 1 and exactly this message.
  void ExpectRefused(const OrdexOptions& options, const std::string& message) const {
    OrdexProcess refused(options);
    EXPECT_EQ(refused.WaitForExit(), 1);
    EXPECT_EQ(Errors(options.output.filename().string()), message);
  }
  // A start whose summary this user may not write: ORDEX starts and runs on, changing nothing in
  // the tree or the store, until `allow` lets it write; a pass then writes the summary.
  void ExpectSummaryWaitsUntilAllowed(const OrdexOptions& options,
                                      const std::function<void()>& allow) const {
    const std::string name = options.output.filename().string();
    const auto before = TreeAndStore();
    OrdexProcess ordex(options);
    ASSERT_TRUE(Eventually([&] {
      return ReadBytes(sample_.dir() / (name + ".err")).find("ordex: info: started ") !=
             std::string::npos;
    })) << Errors(name);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(ordex.Running()) << Errors(name);
    EXPECT_EQ(TreeAndStore(), before);
    allow();
    EXPECT_TRUE(Eventually([&] { return SummaryHolds("2"); })) << Errors(name);
    Stop(ordex);
  }
  // A start that writes the summary and ends cleanly when told to.
  void ExpectSummaryWritten(const OrdexOptions& options) const {
    OrdexProcess allowed(options);
    EXPECT_TRUE(Eventually([&] { return SummaryHolds("2"); }))
        << Errors(options.output.filename().string());
    Stop(allowed);
  }
  // Nothing in the scratch folder but the tree, the store, the collector's lock file beside it,
  // the runtime folder and the outputs (and, where a kill may leave it, the store's replacement).
  void ExpectNothingElseInScratch(const std::string& trace,
                                  bool replacement_allowed = false) const {
    for (const auto& entry : fs::directory_iterator(sample_.dir().path())) {
      const std::string name = entry.path().filename().string();
      const bool replacement = name.starts_with(".registry.reg.") && name.ends_with(".tmp");
      EXPECT_TRUE(name == "tree" || name == "run" || name == "registry.reg" ||
                  name == "registry.reg.ORDEX.Collector.lock" || name.starts_with("out") ||
                  (replacement_allowed && replacement))
          << trace << name;
    }
  }
  // What the instance wrote so far; nothing before it opened its output.
  std::string Output(const std::string& name) const {
    return fs::exists(sample_.dir() / name) ? ReadBytes(sample_.dir() / name) : "";
  }
  // The controller tree and the registry store as they stand.
  std::map<std::string, std::string> TreeAndStore() const {
    auto listing = Listing(sample_.tree());
    listing["registry.reg"] = ReadBytes(sample_.store());
    return listing;
  }
  // What the instance reported on its error output, without the lines every run has (its
  // start, its changes and its end).
  std::string Errors(const std::string& name) const {
    std::istringstream lines(ReadBytes(sample_.dir() / (name + ".err")));
    std::string problems;
    for (std::string line; std::getline(lines, line);) {
      if (!IsRunFact(line)) problems += line + "\n";
    }
    return problems;
  }
  static bool IsRunFact(std::string_view line) {
    for (const char* fact : {"ordex: info: started ", "ordex: info: the number of external axes ",
                             "ordex: info: ended ("}) {
      if (line.starts_with(fact)) return true;
    }
    return false;
  }

  SampleInstallation sample_;
};

// --- The machine data file changing under a running instance --------------------------------

class MachineDataFaultTest : public FaultTest {
 protected:
  void SetUp() override { Start(std::nullopt); }

  void Start(std::optional<uid_t> run_as, int interval_ms = 5) {
    sample_.WriteStore(SampleInstallation::Settings(interval_ms, 1));
    ordex_ = std::make_unique<OrdexProcess>(Options("out", run_as));
    ASSERT_TRUE(Eventually([&] { return SummaryHolds("2"); })) << Errors("out");
    // The summary is written before the window first shows: the tests read the last frame.
    ASSERT_TRUE(Eventually([&] { return !Frames().empty(); })) << Errors("out");
  }

  void WaitPasses(long passes) const {
    const long refresh_before = LastFrame().refresh_no;
    ASSERT_TRUE(Eventually([&] { return LastFrame().refresh_no > refresh_before + passes; }));
  }

  void TearDown() override {
    // A start that failed has said so already.
    if (!ordex_ || Frames().empty()) return;
    // Some passes more on the final state, which must stay as it is.
    const long changes = ChangesShown();
    const long refresh_no = LastFrame().refresh_no;
    EXPECT_TRUE(Eventually([&] { return LastFrame().refresh_no > refresh_no + 20; }));
    EXPECT_EQ(ChangesShown(), changes);
    EXPECT_TRUE(ordex_->Running()) << Errors("out");
    Stop(*ordex_);
    ExpectEveryChangeCountedOnce();
  }

  std::vector<Frame> Frames() const { return ParseFrames(Output("out")); }
  // A blank frame before the first.
  Frame LastFrame() const {
    const auto frames = Frames();
    return frames.empty() ? Frame{} : frames.back();
  }

  // Waits until the window shows `ex_ax_num` and the summary file holds it in its seven lines;
  // then the window must show `changes` changes, if given.
  void ExpectShownAndWritten(const std::string& ex_ax_num,
                             std::optional<long> changes = std::nullopt) {
    EXPECT_TRUE(Eventually([&] {
      const auto frames = Frames();
      return !frames.empty() && frames.back().ex_ax_num == ex_ax_num && SummaryHolds(ex_ax_num);
    })) << "summary: "
        << sample_.Summary() << "\nerrors: " << Errors("out");
    if (changes) EXPECT_EQ(ChangesShown(), *changes);
  }

  // `passes` passes more leave the change count and the summary as they were, and the window
  // too unless the file is gone.
  void ExpectKeptFor(long passes, const std::optional<std::string>& shown, long changes,
                     const std::string& written) {
    WaitPasses(passes);
    if (shown) EXPECT_EQ(LastFrame().ex_ax_num, *shown);
    EXPECT_EQ(ChangesShown(), changes);
    EXPECT_TRUE(SummaryHolds(written)) << sample_.Summary();
  }

  long ChangesShown() const {
    const auto frames = Frames();
    return frames.empty() ? -1 : frames.back().changes;
  }

  void WriteByRename(const std::string& ex_ax_num) {
    const fs::path temporary = sample_.MachineDataPath().string() + ".new";
    WriteBytes(temporary, MachineData(ex_ax_num));
    StampUniquely(temporary);
    fs::rename(temporary, sample_.MachineDataPath());
  }

  void WriteInPlace(const std::string& ex_ax_num) {
    WriteBytes(sample_.MachineDataPath(), MachineData(ex_ax_num));
    StampUniquely(sample_.MachineDataPath());
  }

  // Passes draw one frame each: the change counter goes up by one exactly in the passes where
  // the shown count differs from the pass before, and never otherwise.
  void ExpectEveryChangeCountedOnce() const {
    const auto frames = Frames();
    ASSERT_GT(frames.size(), 10u);
    for (std::size_t i = 1; i < frames.size(); ++i) {
      const Frame& before = frames[i - 1];
      const Frame& now = frames[i];
      if (now.refresh_no == 0) continue;  // the window shown at start-up
      ASSERT_EQ(now.refresh_no, before.refresh_no + 1) << "frame " << i;
      const long expected = before.changes + (now.ex_ax_num != before.ex_ax_num ? 1 : 0);
      ASSERT_EQ(now.changes, expected)
          << "frame " << i << ": '" << before.ex_ax_num << "' -> '" << now.ex_ax_num << "'";
    }
  }

  std::unique_ptr<OrdexProcess> ordex_;
};

TEST_F(MachineDataFaultTest, FileDeletedForManyPassesIsWaitedForAndItsNewCountCounted) {
  fs::remove(sample_.MachineDataPath());
  ExpectKeptFor(20, std::nullopt, 0, "2");
  WriteInPlace("3");
  ExpectShownAndWritten("3", 1);
}

TEST_F(MachineDataFaultTest, FileReplacedByRenameIsCountedOnce) {
  WriteByRename("4");
  ExpectShownAndWritten("4", 1);
  WriteByRename("2");
  ExpectShownAndWritten("2", 2);
}

TEST_F(MachineDataFaultTest, TruncatedFileIsASaveInProgressAndOnlyItsNewCountIsCounted) {
  ::truncate(sample_.MachineDataPath().c_str(), 0);
  StampUniquely(sample_.MachineDataPath());
  ExpectKeptFor(5, "2", 0, "2");
  WriteInPlace("5");
  ExpectShownAndWritten("5", 1);
}

TEST_F(MachineDataFaultTest, ManyChangesOfEveryKindAtRandomMomentsAreEachCountedOnce) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> pause_ms(0, 12);
  std::string value = "2";
  for (int change = 0; change < 60; ++change) {
    value = std::to_string(10 + change);
    switch (change % 4) {
      case 0:
        WriteByRename(value);
        break;
      case 1:
        WriteInPlace(value);
        break;
      case 2:
        fs::remove(sample_.MachineDataPath());
        std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms(random)));
        WriteInPlace(value);
        break;
      default: {
        // The same length in place without truncating: no moment with an empty file.
        std::fstream file(sample_.MachineDataPath(), std::ios::in | std::ios::out);
        const std::string content = MachineData(value);
        file.write(content.data(), static_cast<std::streamsize>(content.size()));
        file.close();
        StampUniquely(sample_.MachineDataPath());
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms(random)));
  }
  ExpectShownAndWritten(value);
  EXPECT_GE(ChangesShown(), 1);
  EXPECT_LE(ChangesShown(), 60);
}

// Started as an unprivileged user, for whom a file without read permission is unreadable.
class UnreadableMachineDataTest : public MachineDataFaultTest {
 protected:
  void SetUp() override {
    const AsUnprivilegedUser user(sample_.dir().path());
    if (!user.available()) GTEST_SKIP() << "no unprivileged user who can reach the scratch folder";
    user.Own(sample_.SummaryFolder());
    Start(user.run_as());
  }
};

// A file rewritten without read permission, or a folder standing in its place, is a moment in
// which nothing is shown, written or counted, and nothing is reported; the count found once the
// file is readable again is counted once.
TEST_F(UnreadableMachineDataTest, UnreadableMomentsAreWaitedForSilently) {
  const fs::path path = sample_.MachineDataPath();
  struct Moment {
    const char* spoil_name;
    std::function<void()> spoil, mend;
  };
  const Moment moments[] = {
      {"no read permission",
       [&] {
         // Unreadable before the new count is in it, so that no pass can read it in between
         // (the test runs as root, who writes it all the same).
         fs::permissions(path, fs::perms::none);
         WriteInPlace("3");
       },
       [&] { fs::permissions(path, fs::perms::owner_read | fs::perms::others_read); }},
      {"a folder in its place",
       [&] {
         fs::remove(path);
         fs::create_directory(path);
       },
       [&] {
         fs::remove(path);
         WriteInPlace("4");
       }},
  };
  long changes = 0;
  std::string shown = "2";
  for (const Moment& moment : moments) {
    SCOPED_TRACE(moment.spoil_name);
    moment.spoil();
    ExpectKeptFor(20, shown, changes, shown);
    moment.mend();
    shown = std::to_string(std::stoi(shown) + 1);
    ExpectShownAndWritten(shown, ++changes);
  }
  EXPECT_EQ(Errors("out"), "");
}

class LastingConditionTest : public MachineDataFaultTest {
 protected:
  void SetUp() override { Start(std::nullopt, 200); }
};

// At a 200 ms refresh, $Machine.dat gone for 1 s says nothing; gone for 12 s is one warning
// when it has lasted 10 s and one line when it ends, and the count found then is counted.
TEST_F(LastingConditionTest, AFileGoneForLongIsReportedOnceAndItsEndToo) {
  const std::string gone = sample_.MachineDataPath().string();
  const auto lines = [&](const std::string& start) {
    const std::string errors = Errors("out");
    long count = 0;
    for (std::size_t at = errors.find(start); at != std::string::npos;
         at = errors.find(start, at + 1)) {
      ++count;
    }
    return count;
  };
  fs::remove(sample_.MachineDataPath());
  std::this_thread::sleep_for(1s);
  WriteInPlace("3");
  ExpectShownAndWritten("3");
  EXPECT_EQ(Errors("out"), "");

  fs::remove(sample_.MachineDataPath());
  std::this_thread::sleep_for(12s);
  WriteInPlace("4");
  ExpectShownAndWritten("4");
  EXPECT_TRUE(Eventually([&] { return lines("ordex: info: ") == 1; })) << Errors("out");
  EXPECT_EQ(lines("ordex: warning: machine data file missing since "), 1) << Errors("out");
  EXPECT_EQ(lines("ordex: info: machine data file missing: ended after 1"), 1) << Errors("out");
  EXPECT_EQ(lines(gone), 2) << Errors("out");
  EXPECT_EQ(lines("\n"), 2) << Errors("out");
}

// --- The summary folder read-only or full ----------------------------------------------------

// A summary folder or file that this user may not write stops the summary, not ORDEX: it waits
// for an administrator (or the file's owner) to let it write.
TEST_F(FaultTest, ReadOnlySummaryFolderLeavesOrdexRunningUntilItMayWriteTheSummary) {
  const AsUnprivilegedUser user(sample_.dir().path());
  if (!user.available()) GTEST_SKIP() << "no unprivileged user who can reach the scratch folder";
  sample_.WriteStore(SampleInstallation::Settings(50, 0));
  user.Own(sample_.SummaryFolder());
  fs::permissions(sample_.SummaryFolder(), fs::perms::owner_write, fs::perm_options::remove);
  ExpectSummaryWaitsUntilAllowed(Options("out", user.run_as()), [&] {
    fs::permissions(sample_.SummaryFolder(), fs::perms::owner_write, fs::perm_options::add);
  });
}

TEST_F(FaultTest, ReadOnlySummaryFileIsRewrittenInPlaceOnceWritable) {
  const AsUnprivilegedUser user(sample_.dir().path());
  if (!user.available()) GTEST_SKIP() << "no unprivileged user who can reach the scratch folder";
  sample_.WriteStore(SampleInstallation::Settings(50, 0));
  WriteBytes(sample_.SummaryPath(), "old\r\n");
  user.Own(sample_.SummaryPath());
  fs::permissions(sample_.SummaryPath(), fs::perms::owner_read | fs::perms::group_read);
  const struct stat original = Stat(sample_.SummaryPath());
  ExpectSummaryWaitsUntilAllowed(Options("out", user.run_as()), [&] {
    EXPECT_EQ(sample_.Summary(), "old\r\n");
    fs::permissions(sample_.SummaryPath(), fs::perms::owner_write, fs::perm_options::add);
  });
  const struct stat rewritten = Stat(sample_.SummaryPath());
  EXPECT_EQ(rewritten.st_ino, original.st_ino);
  EXPECT_EQ(rewritten.st_mode, original.st_mode | S_IWUSR);
  EXPECT_EQ(rewritten.st_uid, original.st_uid);
}

// A small tmpfs over the summary folder; unmounted when the test ends.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(fs::path folder) : folder_(std::move(folder)) {
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=8k") == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

  // Fills every free block with a file of its own.
  void Fill() const {
    std::FILE* filler = std::fopen((folder_ / "filler").c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    std::setvbuf(filler, nullptr, _IONBF, 0);
    const std::string block(512, 'x');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
    }
    std::fclose(filler);
  }
  void MakeRoom() const { fs::remove(folder_ / "filler"); }

 private:
  fs::path folder_;
  bool mounted_ = false;
};

TEST_F(FaultTest, FullDiskEndsWithItsMessageAndTheNextStartWritesTheSummaryInPlace) {
  sample_.WriteStore(SampleInstallation::Settings(50, 0));
  const SmallFileSystem small(sample_.SummaryFolder());
  if (!small.mounted()) GTEST_SKIP() << "this machine does not allow mounting a tmpfs";
  // The installation gave the summary file its identity and rights; a full disk must not
  // change them.
  WriteBytes(sample_.SummaryPath(), "");
  fs::permissions(sample_.SummaryPath(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const struct stat original = Stat(sample_.SummaryPath());
  small.Fill();
  const auto before = TreeAndStore();
  ExpectRefused(Options("refused"), "ordex: cannot write " + sample_.SummaryPath().string() +
                                        ": No space left on device\n");
  // The summary file itself was opened and truncated in place; everything else is untouched.
  EXPECT_EQ(WithoutSummary(TreeAndStore()), WithoutSummary(before));
  small.MakeRoom();
  ExpectSummaryWritten(Options("allowed"));
  const struct stat rewritten = Stat(sample_.SummaryPath());
  EXPECT_EQ(rewritten.st_ino, original.st_ino);
  EXPECT_EQ(rewritten.st_mode, original.st_mode);
}

// --- The registry store unreadable, malformed, read-only -------------------------------------

TEST_F(FaultTest, StoreThatIsAFolderEndsWithAMessageNamingIt) {
  fs::remove(sample_.store());
  fs::create_directory(sample_.store());
  const auto before = Listing(sample_.tree());
  OrdexProcess ordex(Options("out"));
  EXPECT_EQ(ordex.WaitForExit(), 1);
  EXPECT_NE(Errors("out").find(sample_.store().string()), std::string::npos) << Errors("out");
  EXPECT_TRUE(Errors("out").starts_with("ordex: ")) << Errors("out");
  EXPECT_TRUE(fs::is_directory(sample_.store()));
  EXPECT_TRUE(fs::is_empty(sample_.store()));
  EXPECT_EQ(Listing(sample_.tree()), before);
}

TEST_F(FaultTest, UnreadableStoreEndsWithAMessageAndStaysAsItWas) {
  const AsUnprivilegedUser user(sample_.dir().path());
  if (!user.available()) GTEST_SKIP() << "no unprivileged user who can reach the scratch folder";
  sample_.WriteStore(SampleInstallation::Settings(50, 0));
  const std::string store = ReadBytes(sample_.store());
  fs::permissions(sample_.store(), fs::perms::none);
  const auto before = Listing(sample_.tree());

  ExpectRefused(Options("out", user.run_as()),
                "ordex: cannot open " + sample_.store().string() + ": Permission denied\n");
  fs::permissions(sample_.store(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadBytes(sample_.store()), store);
  EXPECT_EQ(Listing(sample_.tree()), before);
}

TEST_F(FaultTest, MalformedStoreEndsWithTheFileAndLineAndStaysAsItWas) {
  const std::string store = sample_.ControllerKey() + "\"TimerInterval\"=dword:ten\r\n";
  WriteBytes(sample_.store(), store);
  const auto before = Listing(sample_.tree());
  OrdexProcess ordex(Options("out"));
  EXPECT_EQ(ordex.WaitForExit(), 1);
  EXPECT_TRUE(Errors("out").starts_with("ordex: " + sample_.store().string() + ":7: "))
      << Errors("out");
  EXPECT_EQ(ReadBytes(sample_.store()), store);
  EXPECT_EQ(Listing(sample_.tree()), before);
  EXPECT_FALSE(fs::exists(sample_.SummaryPath()));
}

TEST_F(FaultTest, ReadOnlyStoreRunsWithTheDefaultsAndIsNotTouched) {
  const AsUnprivilegedUser user(sample_.dir().path());
  if (!user.available()) GTEST_SKIP() << "no unprivileged user who can reach the scratch folder";
  user.Own(sample_.SummaryFolder());
  fs::permissions(sample_.store(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string store = ReadBytes(sample_.store());

  OrdexProcess ordex(Options("out", user.run_as()));
  // The defaults cannot be written, as for a user without administrator rights on the target;
  // the program goes on with them.
  EXPECT_TRUE(Eventually([&] { return SummaryHolds("2"); })) << Errors("out");
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(ordex.Running());
  Stop(ordex);
  EXPECT_EQ(ReadBytes(sample_.store()), store);
  EXPECT_EQ(Output("out"), "") << "hidden by default";
  ExpectNothingElseInScratch("");
}

TEST_F(FaultTest, StoreKilledWhileWritingItsDefaultsIsNeverHalfWritten) {
  // Each default is written by replacing the whole store: a kill leaves the store as it was,
  // with the first default, or with both; never a part of a line. The facts follow in one more
  // replacement, all of them or none. (A kill between creating the replacement and renaming it
  // can leave that temporary file next to the store.)
  const std::string original = ReadBytes(sample_.store());
  const std::string key =
      "\r\n" + testing::RegKeyLine(SettingsKey) + "\"TimerInterval\"=dword:00002710\r\n";
  const std::vector<std::string> whole_states = {
      original, original + key + "\r\n", original + key + "\"Visible\"=dword:00000000\r\n\r\n"};
  const auto whole = [&](const std::string& store) {
    const std::string with_facts = whole_states[2] + testing::RegKeyLine(FactsKey);
    if (!store.starts_with(with_facts))
      return std::find(whole_states.begin(), whole_states.end(), store) - whole_states.begin();
    const bool all_facts = store.find("\"User\"=", with_facts.size()) != std::string::npos &&
                           store.ends_with("\r\n\r\n");
    return all_facts ? std::ptrdiff_t{2} : std::ptrdiff_t{-1};
  };
  // The kills spread over the time a start takes here and now to write both defaults.
  const auto started = std::chrono::steady_clock::now();
  {
    OrdexProcess ordex(Options("out"));
    ASSERT_TRUE(Eventually(
        [&] { return ReadBytes(sample_.store()).find("\"User\"=") != std::string::npos; }));
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int64_t> delay_us(
      0, (std::chrono::steady_clock::now() - started) / std::chrono::microseconds(1));
  std::map<std::string, int> seen;
  for (int attempt = 0; attempt < 30; ++attempt) {
    testing::WriteBytes(sample_.store(), original);
    OrdexProcess ordex(Options("out"));
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    ordex.Signal(SIGKILL);
    ordex.WaitForExit();
    const std::string store = ReadBytes(sample_.store());
    const auto state = whole(store);
    ASSERT_TRUE(state >= 0 && state < 3) << "attempt " << attempt << ":\n" << store;
    ++seen[std::to_string(state)];
    ExpectNothingElseInScratch("attempt " + std::to_string(attempt) + " left ", true);
  }
  EXPECT_TRUE(seen.contains("1") || seen.contains("2")) << "no kill came after a write";
}

// --- Many starts at once ---------------------------------------------------------------------

TEST_F(FaultTest, TwentySimultaneousStartsLeaveExactlyOneInstance) {
  const std::string original = ReadBytes(sample_.store());
  std::vector<std::unique_ptr<OrdexProcess>> starts;
  for (int i = 0; i < 20; ++i) {
    starts.push_back(std::make_unique<OrdexProcess>(Options("out" + std::to_string(i))));
  }
  int refused = 0;
  for (auto& start : starts) {
    if (start->WaitForExit(3s) == 0) ++refused;
  }
  EXPECT_EQ(refused, 19);
  int running = 0;
  for (auto& start : starts) running += start->Running() ? 1 : 0;
  EXPECT_EQ(running, 1);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(Output("out" + std::to_string(i)), "");
    EXPECT_EQ(Errors("out" + std::to_string(i)), "");
  }
  EXPECT_TRUE(SummaryHolds("2"));
  const std::string store = ReadBytes(sample_.store());
  ASSERT_TRUE(store.starts_with(original));
  const std::string added = store.substr(original.size());
  EXPECT_EQ(added.find("TimerInterval"), added.rfind("TimerInterval")) << added;
  EXPECT_NE(added.find("\"TimerInterval\"=dword:00002710"), std::string::npos) << added;
  EXPECT_NE(added.find("\"Visible\"=dword:00000000"), std::string::npos) << added;
  for (auto& start : starts) start->Signal(SIGTERM);
}

// Every spelling of the store is the same store: a second start through a symbolic link to it
// or to its folder is refused, and before it loads the window module or opens a display.
TEST_F(FaultTest, ASecondStartThroughAnotherSpellingIsRefusedBeforeTheWindowIsLoaded) {
  OrdexProcess first(Options("first"));
  // Start-up ends with the facts, after the summary.
  ASSERT_TRUE(Eventually(
      [&] { return ReadBytes(sample_.store()).find("\"User\"=") != std::string::npos; }));
  fs::create_symlink(sample_.store(), sample_.dir() / "alias.reg");
  fs::create_directory_symlink(sample_.dir().path(), sample_.dir() / "linked");
  const auto before = TreeAndStore();
  for (const fs::path& spelling :
       {sample_.dir() / "alias.reg", sample_.dir() / "linked/registry.reg",
        sample_.dir() / "linked/./registry.reg"}) {
    OrdexOptions options = Options("second");
    options.store = spelling;
    // The loader lists every library it initialises; a display is named, a window asked for.
    options.environment = {{"DISPLAY", ":97"}, {"ORDEX_VIEW", "window"}, {"LD_DEBUG", "libs"}};
    OrdexProcess second(options);
    EXPECT_EQ(second.WaitForExit(), 0) << spelling;
    const std::string loader_log = Errors("second");
    ASSERT_NE(loader_log.find("calling init"), std::string::npos) << "no loader log";
    EXPECT_EQ(loader_log.find("ordex_fltk"), std::string::npos) << spelling;
    EXPECT_EQ(Output("second"), "") << spelling;
  }
  EXPECT_EQ(TreeAndStore(), before);
  EXPECT_TRUE(first.Running());
  Stop(first);
}

// --- The controller tree ---------------------------------------------------------------------

TEST_F(FaultTest, ARunChangesNothingButTheSummaryFileAndTheStoresTwoDefaults) {
  const auto tree_before = Listing(sample_.tree());
  const std::string store_before = ReadBytes(sample_.store());
  {
    // A first start on the store as the installation left it: it gets the two defaults.
    OrdexProcess ordex(Options("out-first"));
    ASSERT_TRUE(Eventually([&] { return ReadBytes(sample_.store()) != store_before; }));
    ASSERT_TRUE(Eventually([&] { return SummaryHolds("2"); }));
    Stop(ordex);
  }
  const std::string store = ReadBytes(sample_.store());
  ASSERT_TRUE(store.starts_with(store_before));
  EXPECT_NE(store.find("\"TimerInterval\"=dword:00002710", store_before.size()), std::string::npos);
  EXPECT_NE(store.find("\"Visible\"=dword:00000000", store_before.size()), std::string::npos);
  {
    // A second one ticking quickly, shown, for many passes.
    sample_.WriteStore(SampleInstallation::Settings(5, 1));
    OrdexProcess ordex(Options("out-second"));
    ASSERT_TRUE(Eventually([&] { return ParseFrames(Output("out-second")).size() > 100; }));
    Stop(ordex);
  }
  // Only the summary file is new; its folder's time stamp records that, nothing else changed.
  const auto tree_after = Listing(sample_.tree());
  ASSERT_TRUE(tree_after.contains(kSummaryEntry));
  EXPECT_EQ(WithoutSummary(tree_after), WithoutSummary(tree_before));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(sample_.SummaryFolder())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".gitignore", "Tarvex.ini"}));
  ExpectNothingElseInScratch("");
}

}  // namespace
}  // namespace ordex
