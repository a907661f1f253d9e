#include "registry/registry_posix.h"
#include "registry/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "core/codepage.h"
#include "core/error.h"
#include "registry_contract.h"
#include "registry_reads.h"
#include "shell/settings.h"
#include "test_helpers.h"

namespace ordex {
namespace {

namespace fs = std::filesystem;
using testing::MessageOf;
using testing::ReadBytes;
using testing::TempDir;
using testing::Utf16;
using testing::WriteBytes;

constexpr RootKey kHklm = HKEY_LOCAL_MACHINE_ROOT;

// The .reg store as a backend of the shared contract.
class RegFileBackend {
 public:
  std::unique_ptr<RegistryAccess> Open() const { return CreateRegistryFile(path_); }

  void SeedString(std::string_view key, std::string_view name, std::string_view text) {
    Append(testing::RegStringValue(key, name, text));
  }
  void SeedBinary(std::string_view key, std::string_view name) {
    Append(testing::RegTypedValue(key, name, kRegBinary, "\x01\x02\x03\x04"));
  }
  void SeedTyped(std::string_view key, std::string_view name, std::uint32_t type,
                 std::string_view bytes) {
    Append(testing::RegTypedValue(key, name, type, bytes));
  }
  void Remove(std::string_view key, std::string_view name) {
    Append(testing::RegRemoval(key, name));
  }

  void SetVariable(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  // Stores made here and by WriteDword on a missing file are all UTF-16.
  void Append(const std::string& lines) {
    std::string bytes =
        fs::exists(path_) ? ReadBytes(path_) : Utf16("Windows Registry Editor Version 5.00\r\n");
    WriteBytes(path_, bytes + Cp1252ToUtf16Le("\r\n" + lines));
  }

  TempDir dir_;
  std::string path_ = (dir_ / "registry.reg").string();
};

}  // namespace
}  // namespace ordex

namespace ordex::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(RegFile, RegistryContract, RegFileBackend);
}  // namespace ordex::testing

namespace ordex {
namespace {

class RegistryFileTest : public ::testing::Test {
 protected:
  std::optional<std::int32_t> ReadDword(std::string_view name,
                                        std::string_view key = SettingsKey) const {
    return testing::ReadAnswer(-77, [&](std::int32_t& value, bool& ok) {
      registry_->ReadDword(kHklm, key, name, value, ok);
    });
  }

  std::optional<std::string> ReadString(std::string_view name, std::string_view key) const {
    return testing::ReadAnswer(std::string("kept"), [&](std::string& value, bool& ok) {
      registry_->ReadString(kHklm, key, name, value, ok);
    });
  }

  bool WriteDword(std::string_view name, std::int32_t value, RootKey root = kHklm) {
    bool ok = true;  // so that a refusal must be reported
    registry_->WriteDword(root, SettingsKey, name, value, ok);
    return ok;
  }

  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static struct stat Stat(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
  }

  static void SetModificationTime(const fs::path& path, const timespec& time) {
    const timespec times[2] = {time, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  static std::string Store(std::string_view settings_lines) {
    return "REGEDIT4\r\n\r\n; service settings\r\n[HKEY_LOCAL_MACHINE\\" +
           std::string(SettingsKey) + "]\r\n" + std::string(settings_lines) + "\r\n";
  }

  // Some tests enter it as another user.
  TempDir dir_{TempDir::Reach::kEveryone};
  fs::path path_ = dir_ / "registry.reg";
  std::unique_ptr<RegistryAccess> registry_ = CreateRegistryFile(path_.string());
};

TEST_F(RegistryFileTest, MissingStoreReadsAsEmptyAndStaysMissing) {
  EXPECT_EQ(ReadDword("TimerInterval"), std::nullopt);
  EXPECT_EQ(ReadString("InstallationDir", SettingsKey), std::nullopt);
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(RegistryFileTest, DefaultsWrittenIntoAMissingStoreMakeARegeditExport) {
  ASSERT_TRUE(WriteDword("TimerInterval", 10000));
  ASSERT_TRUE(WriteDword("Visible", 0));
  EXPECT_EQ(ReadBytes(path_), Utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                                    "[HKEY_LOCAL_MACHINE\\" +
                                    std::string(SettingsKey) +
                                    "]\r\n\"TimerInterval\"=dword:00002710\r\n"
                                    "\"Visible\"=dword:00000000\r\n\r\n"));
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(Stat(path_).st_mode & 0777, 0666 & ~mask);
  registry_ = CreateRegistryFile(path_.string());  // a fresh instance, nothing cached
  EXPECT_EQ(ReadDword("TimerInterval"), 10000);
}

TEST_F(RegistryFileTest, DefaultsWrittenIntoAMissingKeyKeepTheRestOfTheFile) {
  const std::string before = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + std::string(VersionKey) +
                             "]\n"
                             "\"InstallationDir\"=\"C:\\\\XOC\" ; set by setup\n";
  WriteBytes(path_, before);
  ASSERT_TRUE(WriteDword("TimerInterval", 10000));
  EXPECT_EQ(ReadBytes(path_), before + "\n[HKEY_LOCAL_MACHINE\\" + std::string(SettingsKey) +
                                  "]\n\"TimerInterval\"=dword:00002710\n\n");
  EXPECT_EQ(ReadDword("TimerInterval"), 10000);
}

TEST_F(RegistryFileTest, MissingFolderGivesFalseAndCreatesNothing) {
  registry_ = CreateRegistryFile((dir_ / "no such folder" / "registry.reg").string());
  EXPECT_FALSE(WriteDword("Visible", 0));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>());
}

TEST_F(RegistryFileTest, ReplaceIsAtomicAndKeepsPermissionsAndOtherBytes) {
  WriteBytes(path_, Store("\"TimerInterval\"=dword:00001388\r\n\"Visible\"=dword:00000000"));
  ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
  const ino_t old_inode = Stat(path_).st_ino;
  EXPECT_EQ(ReadDword("TimerInterval"), 5000);

  ASSERT_TRUE(WriteDword("Visible", 1));
  EXPECT_EQ(ReadBytes(path_),
            Store("\"TimerInterval\"=dword:00001388\r\n\"Visible\"=dword:00000001"));
  EXPECT_NE(Stat(path_).st_ino, old_inode) << "the store was rewritten in place";
  EXPECT_EQ(Stat(path_).st_mode & 07777, 0640);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"registry.reg"});
  EXPECT_EQ(ReadDword("Visible"), 1);
}

TEST_F(RegistryFileTest, StoreBehindASymbolicLinkIsReplacedWhereTheLinkPoints) {
  const fs::path target = dir_ / "real.reg";
  WriteBytes(target, Store(""));
  fs::create_symlink(target, path_);
  ASSERT_TRUE(WriteDword("Visible", 1));
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadBytes(target), Store("\"Visible\"=dword:00000001\r\n"));
}

TEST_F(RegistryFileTest, Regedit4StoreStaysEightBit) {
  WriteBytes(path_, Store("\"Owner\"=\"J\xE4ger\""));
  ASSERT_TRUE(WriteDword("Visible", 1));
  EXPECT_EQ(ReadBytes(path_), Store("\"Owner\"=\"J\xE4ger\"\r\n\"Visible\"=dword:00000001"));
}

TEST_F(RegistryFileTest, Utf16ExportIsRead) {
  WriteBytes(path_,
             Utf16("Windows Registry Editor Version 5.00\r\n\r\n" +
                   testing::RegKeyLine(VersionKey) + "\"XOCVersion\"=\"V5.6 \x80\"\r\n\r\n"));
  EXPECT_EQ(ReadString("xocversion", "software\\tarvex roboter gmbh\\VERSION"), "V5.6 \x80");
}

// ---- Stores the user may not change -------------------------------------------------------

enum ChildResult { kWriteRefused = 0, kWritten = 1, kThrew = 2, kUnreachable = 3 };
constexpr uid_t kNobody = 65534;

// Runs a WriteDword as a user without rights on the test's files: as is when the tests run as
// an ordinary user, as "nobody" in a child process when they run as root (root may write
// anything, so it cannot show a refusal).
int WriteAsUnprivilegedUser(const fs::path& store) {
  const auto attempt = [&]() -> int {
    if (::access(store.parent_path().c_str(), X_OK) != 0) return kUnreachable;
    try {
      bool ok = true;
      CreateRegistryFile(store.string())->WriteDword(kHklm, SettingsKey, "Visible", 1, ok);
      return ok ? kWritten : kWriteRefused;
    } catch (const Error&) {
      return kThrew;
    }
  };
  if (::geteuid() != 0) return attempt();
  const pid_t child = ::fork();
  if (child == 0) {
    int result = kUnreachable;
    if (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0) result = attempt();
    ::_exit(result);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RegistryFileTest, ReadOnlyStoreGivesFalseAndStaysUntouched) {
  const std::string before = Store("\"Visible\"=dword:00000000");
  WriteBytes(path_, before);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  // Owned by the user who tries: only the file's mode forbids the change.
  if (::geteuid() == 0) ASSERT_EQ(::chown(path_.c_str(), kNobody, kNobody), 0);
  const int result = WriteAsUnprivilegedUser(path_);
  if (result == kUnreachable) GTEST_SKIP() << "the test folder is not reachable for nobody";
  EXPECT_EQ(result, kWriteRefused);
  EXPECT_EQ(ReadBytes(path_), before);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"registry.reg"});
}

TEST_F(RegistryFileTest, ReadOnlyFolderGivesFalseAndTheStoreStaysUntouched) {
  const std::string before = Store("\"Visible\"=dword:00000000");
  WriteBytes(path_, before);
  ASSERT_EQ(::chmod(path_.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  const int result = WriteAsUnprivilegedUser(path_);
  ::chmod(dir_.path().c_str(), 0755);
  if (result == kUnreachable) GTEST_SKIP() << "the test folder is not reachable for nobody";
  EXPECT_EQ(result, kWriteRefused);
  EXPECT_EQ(ReadBytes(path_), before);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"registry.reg"});
}

TEST_F(RegistryFileTest, ReplacedStoreKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  WriteBytes(path_, Store(""));
  ASSERT_EQ(::chown(path_.c_str(), kNobody, kNobody), 0);
  ASSERT_TRUE(WriteDword("Visible", 1));
  EXPECT_EQ(Stat(path_).st_uid, kNobody);
  EXPECT_EQ(Stat(path_).st_gid, kNobody);
}

// ---- Reading the file again only when it changed ------------------------------------------

TEST_F(RegistryFileTest, StoreIsReadAgainExactlyWhenItsFileChanged) {
  const struct {
    const char* save;
    bool by_rename;
    long nanoseconds;
    std::int32_t read;
  } saves[] = {
      {"in place, same size and second, one nanosecond later", false, 1, 2000},
      {"by an editor's rename: new inode, same size and time", true, 0, 2000},
      {"behind the cache's back, size, inode and time kept: the cache answers", false, 0, 5000},
  };
  std::time_t second = 1'700'000'000;
  for (const auto& save : saves) {
    SCOPED_TRACE(save.save);
    ++second;  // each row starts from a stamp of its own
    WriteBytes(path_, Store("\"TimerInterval\"=dword:00001388"));
    SetModificationTime(path_, {second, 100});
    ASSERT_EQ(ReadDword("TimerInterval"), 5000);
    const fs::path saved = save.by_rename ? dir_ / "saved.tmp" : path_;
    WriteBytes(saved, Store("\"TimerInterval\"=dword:000007d0"));
    SetModificationTime(saved, {second, 100 + save.nanoseconds});
    if (save.by_rename) fs::rename(saved, path_);
    EXPECT_EQ(ReadDword("TimerInterval"), save.read);
  }
}

TEST_F(RegistryFileTest, StoreRemovedReadsAsEmpty) {
  WriteBytes(path_, Store("\"TimerInterval\"=dword:00001388"));
  EXPECT_EQ(ReadDword("TimerInterval"), 5000);
  fs::remove(path_);
  EXPECT_EQ(ReadDword("TimerInterval"), std::nullopt);
}

TEST_F(RegistryFileTest, ReadsOfAnUnchangedStoreDoNotAllocate) {
  WriteBytes(path_, Store("\"TimerInterval\"=dword:00001388\r\n\"Visible\"=dword:00000001\r\n"
                          "\"Name\"=\"a text longer than any short-string buffer\""));
  std::int32_t interval = 0;
  std::int32_t visible = 0;
  std::string name;
  bool ok = false;
  registry_->ReadString(kHklm, SettingsKey, "Name", name, ok);
  ASSERT_TRUE(ok);
  const long before = testing::AllocationCount();
  for (int tick = 0; tick < 1000; ++tick) {
    registry_->ReadDword(kHklm, SettingsKey, "TimerInterval", interval, ok);
    registry_->ReadDword(kHklm, SettingsKey, "visible", visible, ok);
    registry_->ReadDword(kHklm, SettingsKey, "Missing", visible, ok);
    registry_->ReadString(kHklm, SettingsKey, "Name", name, ok);
  }
  EXPECT_EQ(testing::AllocationCount() - before, 0);
  EXPECT_EQ(interval, 5000);
  EXPECT_EQ(visible, 1);
}

// ---- Errors -------------------------------------------------------------------------------

TEST_F(RegistryFileTest, MalformedStoreNamesFileAndLineUntilItIsMended) {
  WriteBytes(path_, Store("\"TimerInterval\"=dword:0x1388"));
  EXPECT_EQ(MessageOf([&] { ReadDword("TimerInterval"); }),
            path_.string() + ":5: unexpected text after the value");
  EXPECT_THROW(WriteDword("Visible", 1), Error);
  WriteBytes(path_, Store("\"TimerInterval\"=dword:1388"));
  EXPECT_EQ(ReadDword("TimerInterval"), 0x1388);
}

TEST_F(RegistryFileTest, StoreThatCannotBeReadIsAnError) {
  fs::create_directory(path_);
  EXPECT_EQ(MessageOf([&] { ReadDword("TimerInterval"); }),
            "cannot open " + path_.string() + ": is a folder");
}

TEST_F(RegistryFileTest, OtherRootsAreNeitherReadNorWritten) {
  WriteBytes(path_, "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=dword:1\n");
  std::int32_t value = 9;
  bool ok = true;
  registry_->ReadDword(0x80000001u, "K", "v", value, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(value, 9);
  EXPECT_FALSE(WriteDword("Visible", 1, 0x80000001u));
  EXPECT_EQ(ReadBytes(path_), "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=dword:1\n");
}

// ---- Where the store lives ----------------------------------------------------------------

TEST(StoreLocation, EnvironmentNamesTheStore) {
  TempDir dir;
  const fs::path store = dir / "store.reg";
  const testing::ScopedVariable variable("ORDEX_REGISTRY", store.string());
  EXPECT_EQ(RegistryStoreLocation(), store.string());
  bool ok = false;
  CreateRegistryAccess()->WriteDword(kHklm, SettingsKey, "Visible", 0, ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(fs::exists(store));
}

TEST(StoreLocation, UnsetOrEmptyMeansTheSystemStore) {
  for (const auto& value : {std::optional<std::string>(), std::optional<std::string>("")}) {
    const testing::ScopedVariable variable("ORDEX_REGISTRY", value);
    EXPECT_EQ(RegistryStoreLocation(), "/etc/ordex/registry.reg");
  }
}

}  // namespace
}  // namespace ordex
