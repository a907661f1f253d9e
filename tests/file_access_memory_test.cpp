#include "platform/file_access_memory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "file_access_contract.h"

namespace ordex::testing {
namespace {

struct MemoryBackend {
  MemoryBackend() { files_.AddFolder("/scratch"); }
  FileAccess& files() { return files_; }
  std::string Path(std::string_view name) const { return "/scratch/" + std::string(name); }
  void MakeFolder(const std::string& path) { files_.AddFolder(path); }
  bool Hold(const std::string& path) {
    files_.SetBusy(path, true);
    held_ = path;
    return true;
  }
  std::string LockRange(const std::string& path) {
    files_.SetHold(path, MemoryFileAccess::Hold::kRangeLocked);
    held_ = path;
    return "";
  }
  std::string DeleteWhileOpen(const std::string& path, Deletion how) {
    if (how == Deletion::kPosix) {
      files_.Remove(path);
      return "";
    }
    files_.SetHold(path, MemoryFileAccess::Hold::kDeletePending);
    held_ = path;
    return "";
  }
  void SetOldStamp(const std::string& path) { files_.SetModificationTime(path, FileTime{}); }
  void BeginSave(const std::string& path) {
    files_.SetHold(path, MemoryFileAccess::Hold::kSavedInPieces);
    held_ = path;
  }
  void AppendPiece(std::string_view piece) { files_.AppendPiece(held_, piece); }
  std::string Deny(const std::string& path) {
    files_.SetWriters(path, {"administrator"});
    return "";
  }
  void Release() { files_.SetHold(held_, MemoryFileAccess::Hold::kNone); }

  MemoryFileAccess files_;
  std::string held_;
};

// Stamps as Windows promises them: a save in pieces moves the stamp only when it closes the
// file, and stamps are kept to 2 s as on FAT.
struct MemoryBackendStampedAsOnFat : MemoryBackend {
  MemoryBackendStampedAsOnFat() {
    files_.StampAtClose();
    files_.StampFrom([] { return std::chrono::system_clock::now(); }, std::chrono::seconds(2));
  }
};

}  // namespace
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, FileAccessContract, MemoryBackend);
INSTANTIATE_TYPED_TEST_SUITE_P(MemoryStampedAsOnFat, FileAccessContract,
                               MemoryBackendStampedAsOnFat);

namespace {

// What the real clock cannot promise without sleeping, and tests of the refresh cycle rely on.
TEST(MemoryFileAccess, EveryWriteMovesTheTimeOn) {
  MemoryFileAccess files;
  files.RewriteFile("/a", "x");
  const auto first = files.ModificationTime("/a");
  files.RewriteFile("/a", "x");
  EXPECT_NE(files.ModificationTime("/a"), first);
  EXPECT_EQ(files.NativePath("C:\\XOC\\hw_inf.ini"), "C:/XOC/hw_inf.ini");
}

// Stamps as Windows promises them and no more: on FAT two saves within 2 s keep one stamp, and
// a save in pieces moves it only when it closes the file; the age is measured by the same clock.
TEST(MemoryFileAccess, StampsCanBeCoarseAndMoveOnlyAtTheClose) {
  using namespace std::chrono_literals;
  MemoryFileAccess files;
  std::chrono::system_clock::time_point now =
      std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} + 8h + 1s;
  files.StampAtClose();
  files.StampFrom([&] { return now; }, 2s);
  files.RewriteFile("/a", "x");
  const auto first = files.ModificationTime("/a");
  EXPECT_EQ(files.AgeOfStamp(*first), 1s);
  now += 600ms;
  files.RewriteFile("/a", "y");
  EXPECT_EQ(files.ModificationTime("/a"), first) << "a second save within the same 2 s";
  now += 2s;
  files.SetHold("/a", MemoryFileAccess::Hold::kSavedInPieces);
  files.AppendPiece("/a", "z");
  EXPECT_EQ(files.ModificationTime("/a"), first) << "until the save closes the file";
  EXPECT_EQ(files.ReadWholeFile("/a"), "z");
  EXPECT_EQ(files.TryRewriteFile("/a", "w", NewFileAccess::kFromFolder), FileStatus::kBusy);
  files.SetHold("/a", MemoryFileAccess::Hold::kNone);
  EXPECT_NE(files.ModificationTime("/a"), first);
}

}  // namespace
}  // namespace ordex::testing
