// The Windows file functions behind FileAccess, on real files in a temporary folder.
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "file_access_contract.h"
#include "platform/file_access.h"
#include "platform/unique_handle_win32.h"
#include "running_on_wine_win32.h"
#include "test_helpers.h"

namespace ordex {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class Win32FileAccessTest : public ::testing::Test {
 protected:
  std::string PathOf(std::string_view relative) const { return (dir_ / relative).string(); }

  static BY_HANDLE_FILE_INFORMATION Identity(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info = {};
    const HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
    return info;
  }

  TempDir dir_;
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
};

TEST_F(Win32FileAccessTest, NativePathIsTheTargetPathUnchanged) {
  for (const char* path : {"C:\\XOC\\ROBOTER\\INIT\\hw_inf.ini", "C:\\XOC\\\\ROBOTER\\x",
                           "\\\\server\\share\\ROBOTER\\a b", "relative\\Mada\\$Machine.dat"}) {
    EXPECT_EQ(files_->NativePath(path), path);
  }
}

TEST_F(Win32FileAccessTest, ModificationTimeHasFullResolution) {
  const std::string path = PathOf("$Machine.dat");
  WriteBytes(path, "DECL INT $EX_AX_NUM=2\r\n");
  // Two stamps 100 ns apart must differ: a save within the same second is still a change.
  for (const std::uint64_t ticks : {133'000'000'001'234'567ull, 133'000'000'001'234'568ull}) {
    FILETIME stamp = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(::SetFileTime(file, nullptr, nullptr, &stamp));
    ::CloseHandle(file);
    const auto time = files_->ModificationTime(path);
    ASSERT_TRUE(time);
    EXPECT_EQ(time->ticks, static_cast<std::int64_t>(ticks));
  }
}

TEST_F(Win32FileAccessTest, ReadingNeitherBlocksNorIsBlockedByOtherWriters) {
  const std::string path = PathOf("$Machine.dat");
  WriteBytes(path, "DECL INT $EX_AX_NUM=2\r\n");
  const HANDLE writer = ::CreateFileA(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(files_->ReadWholeFile(path), "DECL INT $EX_AX_NUM=2\r\n");
  ::CloseHandle(writer);

  // An editor that saves by renaming must get through while the file is being read.
  const auto stream = files_->OpenForReading(path);
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(::MoveFileA(path.c_str(), PathOf("$Machine.bak").c_str()));
}

TEST_F(Win32FileAccessTest, RewriteFileReplacesLongerContentInPlace) {
  const std::string path = PathOf("Tarvex.ini");
  WriteBytes(path, std::string(5000, 'o') + "old tail");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  const auto before = Identity(path);

  files_->RewriteFile(path, "Zusatz-Achsen: 3\r\n");

  EXPECT_EQ(ReadBytes(path), "Zusatz-Achsen: 3\r\n");
  const auto after = Identity(path);
  EXPECT_EQ(after.nFileIndexHigh, before.nFileIndexHigh);
  EXPECT_EQ(after.nFileIndexLow, before.nFileIndexLow);
  EXPECT_TRUE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

void ExpectRewriteFails(const FileAccess& files, const std::string& path) {
  EXPECT_THAT(testing::MessageOf([&] { files.RewriteFile(path, "new"); }),
              ::testing::StartsWith("cannot open " + path + ": "));
}

TEST_F(Win32FileAccessTest, RewriteFileOfReadOnlyFileThrowsAndKeepsIt) {
  const std::string path = PathOf("read-only.ini");
  WriteBytes(path, "keep");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  const HANDLE probe = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    // Wine maps the attribute to the host's file mode, which does not stop the superuser.
    GTEST_SKIP() << "read-only files stay writable for this user";
  }
  ExpectRewriteFails(*files_, path);
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadBytes(path), "keep");
}

// Whether the file's DACL lets the INTERACTIVE group write it.
bool InteractiveMayWrite(const std::string& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    ADD_FAILURE() << "no security descriptor for " << path;
    return false;
  }
  BYTE interactive[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof interactive;
  EXPECT_TRUE(::CreateWellKnownSid(WinInteractiveSid, nullptr, interactive, &size));
  bool may_write = false;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (ace->Mask & FILE_WRITE_DATA) != 0 &&
        ::EqualSid(&ace->SidStart, interactive)) {
      may_write = true;
    }
  }
  ::LocalFree(descriptor);
  return may_write;
}

// A summary created for every interactive user lets the INTERACTIVE group write it. This shows
// that the entry is asked for and kept; that the folder's inheritable entries are merged in and
// that another user's ORDEX may then write the file is Windows' matter, which Wine does not
// model (its access control is not Windows'): the memory backend's Form1 runs stand for it.
TEST_F(Win32FileAccessTest, ANewFileForEveryInteractiveUserLetsTheInteractiveGroupWriteIt) {
  const std::string path = PathOf("Tarvex.ini");
  ASSERT_EQ(files_->TryRewriteFile(path, "x", NewFileAccess::kEveryInteractiveUser),
            FileStatus::kDone);
  if (testing::RunningOnWine() && !InteractiveMayWrite(path)) {
    GTEST_SKIP() << "Wine does not keep the INTERACTIVE entry: it turns a new file's DACL into "
                    "the host file mode and reports a DACL made from that mode (SYSTEM and the "
                    "user alone); what Windows does with the entry (kept, the folder's "
                    "inheritable entries merged in) cannot be shown here, and the memory "
                    "backend's run stands for it";
  }
  EXPECT_TRUE(InteractiveMayWrite(path));
}

// A collector that reads the file shares reading only: reading goes on, rewriting waits.
TEST_F(Win32FileAccessTest, AFileReadByAnotherProgramIsReadableButBusyForWriting) {
  const std::string path = PathOf("Tarvex.ini");
  WriteBytes(path, "old");
  const HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(files_->TryOpenForReading(path).status, FileStatus::kDone);
  EXPECT_EQ(files_->TryRewriteFile(path, "new", NewFileAccess::kFromFolder), FileStatus::kBusy);
  ::CloseHandle(held);
  EXPECT_EQ(ReadBytes(path), "old");
}

}  // namespace
}  // namespace ordex

namespace ordex::testing {
namespace {

// Where Wine differs from Windows here, a test of the rule is skipped there (RunningOnWine),
// saying why, and proven on Windows and by the memory backend.

// FILE_INFO_BY_HANDLE_CLASS's FileDispositionInfoEx and FILE_DISPOSITION_INFO_EX (Windows 10
// 1607 and later), which not every MinGW header names.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;

struct Win32Backend {
  FileAccess& files() { return *files_; }
  std::string Path(std::string_view name) const { return (dir_ / name).string(); }
  void MakeFolder(const std::string& path) { std::filesystem::create_directories(path); }
  // As a program saving the file holds it: sharing nothing.
  bool Hold(const std::string& path) {
    held_ = UniqueHandle(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(held_.valid()) << path;
    return true;
  }
  // Windows refuses a read of a range locked through another handle, even in the same process.
  std::string LockRange(const std::string& path) {
    held_ = OpenSharingAll(path, GENERIC_READ | GENERIC_WRITE);
    OVERLAPPED at_start = {};
    EXPECT_TRUE(::LockFileEx(held_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                             0, &at_start));
    if (RunningOnWine() && !RefusesRead(path)) {
      return "Wine does not refuse a read of a locked range (Windows: ReadFile fails with "
             "ERROR_LOCK_VIOLATION); the memory backend's run stands for Windows";
    }
    return "";
  }
  // Without POSIX semantics the deleting handle stays open: the file is pending deletion until
  // Release closes it. With them a second handle deletes and closes, and the name is gone
  // while this one stays open (FILE_DISPOSITION_INFORMATION_EX).
  std::string DeleteWhileOpen(const std::string& path, Deletion how) {
    held_ = OpenSharingAll(path, GENERIC_READ | DELETE);
    if (how == Deletion::kPending) {
      FILE_DISPOSITION_INFO delete_on_close = {TRUE};
      EXPECT_TRUE(::SetFileInformationByHandle(held_.get(), FileDispositionInfo, &delete_on_close,
                                               sizeof delete_on_close));
    } else {
      UniqueHandle deleter = OpenSharingAll(path, DELETE);
      DWORD flags = kDispositionDelete | kDispositionPosixSemantics;
      if (!::SetFileInformationByHandle(deleter.get(), kFileDispositionInfoEx, &flags,
                                        sizeof flags)) {
        const std::string error = " (error " + std::to_string(::GetLastError()) + ")";
        if (RunningOnWine()) {
          return "Wine refuses a delete with POSIX semantics" + error +
                 "; the memory and POSIX backends' runs stand for Windows";
        }
        return "this system deletes nothing with POSIX semantics" + error +
               "; Windows 10 1809 and later do on NTFS";
      }
    }
    if (!RunningOnWine()) return "";
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    const DWORD code = ::GetLastError();
    if (how == Deletion::kPending &&
        (attributes != INVALID_FILE_ATTRIBUTES || code != ERROR_ACCESS_DENIED)) {
      return "Wine answers the attributes of a file pending deletion (Windows: "
             "GetFileAttributesEx fails with ERROR_ACCESS_DENIED, STATUS_DELETE_PENDING); the "
             "memory backend's run stands for Windows";
    }
    if (how == Deletion::kPosix && attributes != INVALID_FILE_ATTRIBUTES) {
      return "Wine keeps the name of a file deleted with POSIX semantics while it is open "
             "(Windows removes it at once); the memory backend's run stands for Windows";
    }
    return "";
  }
  void SetOldStamp(const std::string& path) {
    const UniqueHandle file(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    const FILETIME old_stamp = {0, 0x01D00000};  // early in 2015
    EXPECT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &old_stamp)) << path;
  }
  void BeginSave(const std::string& path) {
    held_ = UniqueHandle(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       TRUNCATE_EXISTING, 0, nullptr));
    EXPECT_TRUE(held_.valid()) << path << ": error " << ::GetLastError();
  }
  void AppendPiece(std::string_view piece) {
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(held_.get(), piece.data(), static_cast<DWORD>(piece.size()), &written,
                            nullptr));
  }
  // The read-only attribute: CreateFile for writing fails with ERROR_ACCESS_DENIED, as it does
  // for a file whose access list leaves this user out.
  std::string Deny(const std::string& path) {
    EXPECT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY)) << path;
    denied_ = path;
    const UniqueHandle probe(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!probe.valid()) return "";
    // Wine maps the attribute to the host's file mode, which does not stop the superuser; the
    // memory backend's run stands for Windows.
    return "read-only files stay writable for this user";
  }
  void Release() {
    held_.Close();
    if (!denied_.empty()) ::SetFileAttributesA(denied_.c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  static UniqueHandle OpenSharingAll(const std::string& path, DWORD access) {
    UniqueHandle file(::CreateFileA(path.c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file.valid()) << path << ": error " << ::GetLastError();
    return file;
  }
  static bool RefusesRead(const std::string& path) {
    const UniqueHandle reader = OpenSharingAll(path, GENERIC_READ);
    char first = 0;
    DWORD count = 0;
    return !::ReadFile(reader.get(), &first, 1, &count, nullptr);
  }

  TempDir dir_;
  std::unique_ptr<FileAccess> files_ = CreateFileAccess();
  UniqueHandle held_;
  std::string denied_;
};

}  // namespace
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, FileAccessContract, Win32Backend);
}  // namespace ordex::testing
