#include "platform/file_access_memory.h"

#include <gtest/gtest.h>

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
  std::string Deny(const std::string& path) {
    files_.SetWriters(path, {"administrator"});
    return "";
  }
  void Release() { files_.SetHold(held_, MemoryFileAccess::Hold::kNone); }

  MemoryFileAccess files_;
  std::string held_;
};

}  // namespace
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, FileAccessContract, MemoryBackend);

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

}  // namespace
}  // namespace ordex::testing
