#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/error.h"
#include "file_access_contract.h"
#include "platform/fd_posix.h"
#include "platform/file_access.h"
#include "test_helpers.h"

namespace ordex {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

// Runs `body` as an ordinary user: root passes every permission check, so failures that a
// technician without rights meets can only be seen that way. Returns body's exit code.
int RunUnprivileged(const std::function<int()>& body) {
  if (::geteuid() != 0) return body();
  const pid_t child = ::fork();
  if (child == 0) {
    const gid_t nobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) _exit(99);
    _exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

class NativePathTest : public ::testing::Test {
 protected:
  std::string Native(const std::string& target) const { return files_->NativePath(target); }
  std::string Root() const { return dir_.path().string(); }

  TempDir dir_;
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
};

struct MappingCase {
  std::string_view target;
  std::string_view native;
};

class PathMappingTest : public ::testing::TestWithParam<MappingCase> {};

// None of these exist, so every component stays as written.
TEST_P(PathMappingTest, MapsSeparatorsAndDriveLetters) {
  EXPECT_EQ(CreateFileAccess()->NativePath(GetParam().target), GetParam().native);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathMappingTest,
    ::testing::Values(MappingCase{"C:\\NoSuchXoc\\ROBOTER\\INIT\\hw_inf.ini",
                                  "/mnt/c/NoSuchXoc/ROBOTER/INIT/hw_inf.ini"},
                      MappingCase{"d:\\NoSuchXoc", "/mnt/d/NoSuchXoc"},
                      MappingCase{"Q:\\", "/mnt/q/"}, MappingCase{"Q:", "/mnt/q"},
                      MappingCase{"Q:NoSuchXoc",
                                  "/mnt/q/NoSuchXoc"},  // drive-relative: from the root
                      MappingCase{"C:\\NoSuchXoc\\\\ROBOTER", "/mnt/c/NoSuchXoc//ROBOTER"},
                      MappingCase{"/no/such/xoc\\ROBOTER", "/no/such/xoc/ROBOTER"},
                      MappingCase{"1:\\NoSuchXoc", "1:/NoSuchXoc"},  // not a drive letter
                      MappingCase{"no_such_relative\\file", "no_such_relative/file"}));

// Each component as it exists on disk, whatever its case: the exact name first, else the
// byte-wise smallest variant, whatever order the folder lists its entries in, and UTF-8 names
// for Windows-1252 text; from a missing component on, the rest stays as written (a file to be
// created included), and a file is never descended through.
TEST_F(NativePathTest, FindsEachComponentAsItExistsOnDisk) {
  const struct {
    const char* what;
    std::vector<std::string> made;  // below the temporary folder: files, and folders ending in /
    std::string target, native;     // below it
  } cases[] = {
      {"any case",
       {"Roboter/Xoc/r1/MADA/$machine.DAT"},
       "ROBOTER\\XOC\\R1\\Mada\\$Machine.dat",
       "/Roboter/Xoc/r1/MADA/$machine.DAT"},
      {"as written",
       {"ROBOTER/INIT/hw_inf.ini"},
       "ROBOTER\\INIT\\hw_inf.ini",
       "/ROBOTER/INIT/hw_inf.ini"},
      {"the exact name", {"XOC/inner/", "Xoc/other/"}, "Xoc", "/Xoc"},
      {"the other exact name", {"XOC/inner/", "Xoc/other/"}, "XOC", "/XOC"},
      {"the smallest variant", {"xoc/", "Xoc/", "XOC/"}, "xOc", "/XOC"},
      {"missing components",
       {"roboter/ibgn/"},
       "ROBOTER\\IBGN\\Xoc\\R1\\Tarvex.ini",
       "/roboter/ibgn/Xoc/R1/Tarvex.ini"},
      {"a file to create",
       {"Roboter/Drivers/"},
       "ROBOTER\\DRIVERS\\zt_ascii.o",
       "/Roboter/Drivers/zt_ascii.o"},
      // "\303\234bung" is "Übung" as this side names folders, "\374BUNG" "üBUNG" in Windows-1252.
      {"a UTF-8 name", {"\303\234bung/"}, "\374BUNG", "/\303\234bung"},
      {"not through a file", {"ROBOTER"}, "robOTER\\INIT", "/ROBOTER/INIT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir dir;
    for (const std::string& made : c.made) {
      if (made.ends_with('/')) fs::create_directories(dir / made);
      if (!made.ends_with('/')) WriteBytes(dir / made, "x");
    }
    EXPECT_EQ(files_->NativePath(dir.path().string() + "\\" + c.target),
              dir.path().string() + c.native);
  }
}

TEST_F(NativePathTest, KeepsADoubledSeparatorAndStillResolves) {
  WriteBytes(dir_ / "roboter/init/hw_inf.ini", "x");
  // InstallDir read with a trailing backslash.
  const std::string native = Native(Root() + "\\\\ROBOTER\\INIT\\HW_INF.INI");
  EXPECT_EQ(native, Root() + "//roboter/init/hw_inf.ini");
  EXPECT_TRUE(files_->ModificationTime(native).has_value());
}

class FileAccessTest : public ::testing::Test {
 protected:
  // Some tests enter it as another user.
  TempDir dir_{TempDir::Reach::kEveryone};
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
};

struct stat StatOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

// Whatever access a new file would get: an existing one keeps its mode.
TEST_F(FileAccessTest, RewriteFileKeepsTheFileItsInodeAndPermissions) {
  const fs::path path = dir_ / "Tarvex.ini";
  WriteBytes(path, "a much longer old content than the new one\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const struct stat before = StatOf(path);

  EXPECT_EQ(files_->TryRewriteFile(path.string(), "new\r\n", NewFileAccess::kEveryInteractiveUser),
            FileStatus::kDone);

  const struct stat after = StatOf(path);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(testing::ReadBytes(path), "new\r\n");
}

// The group that shares the tree may rewrite a file created for every interactive user, whatever
// the umask takes away; others may not, and a file of the folder's access stays the umask's.
TEST_F(FileAccessTest, ANewFileForEveryInteractiveUserIsWritableByItsGroup) {
  const mode_t umask_before = ::umask(027);
  for (const auto& [new_file, mode] : {std::pair{NewFileAccess::kEveryInteractiveUser, 0660u},
                                       std::pair{NewFileAccess::kFromFolder, 0640u}}) {
    const fs::path path = dir_ / ("Tarvex" + std::to_string(mode) + ".ini");
    EXPECT_EQ(files_->TryRewriteFile(path.string(), "x", new_file), FileStatus::kDone);
    EXPECT_EQ(StatOf(path).st_mode & 07777, mode) << path;
  }
  ::umask(umask_before);
}

TEST_F(FileAccessTest, RewriteFileInAReadOnlyFolderIsDeniedNamingTheFile) {
  const fs::path folder = dir_ / "IBGN";
  fs::create_directories(folder);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  const std::string path = (folder / "Tarvex.ini").string();
  const int result = RunUnprivileged([&] {
    const auto message = testing::MessageOf([&] { files_->RewriteFile(path, "x"); });
    const auto status = files_->TryRewriteFile(path, "x", NewFileAccess::kEveryInteractiveUser);
    return message == "cannot open " + path + ": Permission denied" && status == FileStatus::kDenied
               ? 0
               : 1;
  });
  EXPECT_EQ(result, 0) << "no error, or the wrong message";
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(FileAccessTest, ModificationTimeHasNanosecondResolution) {
  const fs::path path = dir_ / "$Machine.dat";
  WriteBytes(path, "x");
  const auto set_time = [&](long nanoseconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  set_time(123'456'789);
  const auto first = files_->ModificationTime(path.string());
  set_time(123'456'790);
  const auto second = files_->ModificationTime(path.string());
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->ticks, 1'700'000'000'123'456'789);
  EXPECT_NE(*first, *second);
}

TEST_F(FileAccessTest, ModificationTimeBelowAFileIsNothing) {
  WriteBytes(dir_ / "file", "x");
  EXPECT_FALSE(files_->ModificationTime((dir_ / "file/below").string()));
}

TEST_F(FileAccessTest, OpenForReadingAnUnreadableFileFails) {
  const fs::path path = dir_ / "hw_inf.ini";
  WriteBytes(path, "x");
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  const int result = RunUnprivileged([&] {
    const auto message = testing::MessageOf([&] { files_->OpenForReading(path.string()); });
    return message == "cannot open " + path.string() + ": Permission denied" ? 0 : 1;
  });
  EXPECT_EQ(result, 0) << "no error, or the wrong message";
}

TEST_F(FileAccessTest, ReadWholeFileOfAMissingFileFailsNamingIt) {
  const std::string path = (dir_ / "hw_inf.ini").string();
  EXPECT_EQ(testing::MessageOf([&] { files_->ReadWholeFile(path); }),
            "cannot open " + path + ": No such file or directory");
}

}  // namespace
}  // namespace ordex

namespace ordex::testing {
namespace {

struct PosixBackend {
  FileAccess& files() { return *files_; }
  std::string Path(std::string_view name) const { return (dir_ / name).string(); }
  void MakeFolder(const std::string& path) { std::filesystem::create_directories(path); }
  bool Hold(const std::string&) { return false; }
  std::string LockRange(const std::string&) {
    return "POSIX locks are advisory: no read is ever refused";
  }
  // An unlinked file loses its name at once: POSIX deletes only that way.
  std::string DeleteWhileOpen(const std::string& path, Deletion how) {
    if (how == Deletion::kPending) return "POSIX has no deletion pending while a file is open";
    held_.emplace(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_GE(held_->get(), 0) << path;
    EXPECT_EQ(::unlink(path.c_str()), 0) << path;
    return "";
  }
  void SetOldStamp(const std::string& path) {
    const struct timespec old_stamps[2] = {{1'420'070'400, 0}, {1'420'070'400, 0}};  // 2015
    EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), old_stamps, 0), 0) << path;
  }
  void BeginSave(const std::string& path) {
    held_.emplace(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    EXPECT_GE(held_->get(), 0) << path;
  }
  void AppendPiece(std::string_view piece) {
    EXPECT_EQ(::write(held_->get(), piece.data(), piece.size()),
              static_cast<ssize_t>(piece.size()));
  }
  // The superuser writes any file whatever its mode; FileAccessTest's read-only folder test
  // shows the denial as another user.
  std::string Deny(const std::string& path) {
    if (::geteuid() == 0) return "the superuser writes any file whatever its mode";
    EXPECT_EQ(::chmod(path.c_str(), 0444), 0) << path;
    return "";
  }
  void Release() { held_.reset(); }

  TempDir dir_;
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
  std::optional<Fd> held_;
};

}  // namespace
INSTANTIATE_TYPED_TEST_SUITE_P(Posix, FileAccessContract, PosixBackend);
}  // namespace ordex::testing
