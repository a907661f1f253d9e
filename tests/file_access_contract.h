#pragma once

// What every FileAccess backend promises, as one typed suite. A backend's test file
// instantiates it with a fixture type that provides:
//
//   Backend();                                  // a new, empty scratch folder
//   FileAccess& files();
//   std::string Path(std::string_view name);    // the native path of `name` in that folder
//   void MakeFolder(const std::string& path);
//   // Holds the file as another program that excludes ours would; false where the platform
//   // has no such state (POSIX).
//   bool Hold(const std::string& path);
//   // As another program that locks the file's first bytes (LockFileEx), or deletes the file
//   // while a handle to it stays open (kPending: without POSIX semantics; kPosix: with them).
//   // Each returns "" once done, or why this backend cannot show it (the test then skips,
//   // saying so).
//   std::string LockRange(const std::string& path);
//   std::string DeleteWhileOpen(const std::string& path, Deletion how);
//   void SetOldStamp(const std::string& path);  // as a file last saved a day ago or more
//   // As another program that saves the file in pieces, sharing reads: opens it for writing,
//   // truncating it, then writes each piece.
//   void BeginSave(const std::string& path);
//   void AppendPiece(std::string_view piece);
//   // Takes this user's right to write the file away ("" once done, else why it cannot).
//   std::string Deny(const std::string& path);
//   void Release();                             // lets go of whatever the calls above hold
//
// and then: INSTANTIATE_TYPED_TEST_SUITE_P(Name, FileAccessContract, Backend);

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"
#include "platform/file_access.h"
#include "test_helpers.h"

namespace ordex::testing {

enum class Deletion { kPending, kPosix };

template <typename Backend>
class FileAccessContract : public ::testing::Test {
 protected:
  FileAccess& files() { return backend_.files(); }
  std::string Path(std::string_view name) { return backend_.Path(name); }

  // Reads in pieces of `piece` bytes, so that a read that ends or resumes wrongly shows.
  std::string ReadInPieces(const std::string& path, std::size_t piece) {
    const auto stream = files().OpenForReading(path);
    EXPECT_NE(stream, nullptr) << path;
    if (!stream) return {};
    std::string content;
    std::string buffer(piece, '\0');
    while (const auto count = stream->Read(buffer.data(), piece)) content.append(buffer, 0, count);
    return content;
  }

  Backend backend_;
};

TYPED_TEST_SUITE_P(FileAccessContract);

TYPED_TEST_P(FileAccessContract, AMissingFileIsNotThereAndStaysMissing) {
  FileAccess& files = this->files();
  for (const std::string& path : {this->Path("missing"), this->Path("no folder/missing")}) {
    EXPECT_EQ(files.ModificationTime(path), std::nullopt) << path;
    EXPECT_EQ(files.TryOpenForReading(path).status, FileStatus::kNotThere) << path;
    EXPECT_EQ(files.OpenForReading(path), nullptr) << path;
    EXPECT_EQ(MessageOf([&] { files.ReadWholeFile(path); }).find("cannot open " + path), 0u);
    EXPECT_EQ(files.ModificationTime(path), std::nullopt) << "reading created " << path;
  }
}

TYPED_TEST_P(FileAccessContract, RewriteCreatesThenOverwritesAndTruncates) {
  FileAccess& files = this->files();
  const std::string path = this->Path("summary.txt");
  const std::string content("first\0line\r\n", 12);
  files.RewriteFile(path, content);
  EXPECT_NE(files.ModificationTime(path), std::nullopt);
  EXPECT_EQ(files.ReadWholeFile(path), content);
  files.RewriteFile(path, "x");
  EXPECT_EQ(files.ReadWholeFile(path), "x");
  files.RewriteFile(path, "");
  EXPECT_EQ(files.ReadWholeFile(path), "");
  EXPECT_THROW(files.RewriteFile(this->Path("no folder/summary.txt"), "x"), Error);
  EXPECT_EQ(files.ModificationTime(this->Path("no folder")), std::nullopt);
}

TYPED_TEST_P(FileAccessContract, ReadsEveryByteInPiecesOfAnySize) {
  std::string content;
  for (int i = 0; i < 70000; ++i) content += static_cast<char>(i * 7 % 251);
  const std::string path = this->Path("driver.o");
  this->files().RewriteFile(path, content);
  for (const std::size_t piece : {1u, 3u, 4096u, 65536u, 1u << 20}) {
    EXPECT_EQ(this->ReadInPieces(path, piece), content) << piece;
  }
  EXPECT_EQ(this->files().ReadWholeFile(path), content);
}

TYPED_TEST_P(FileAccessContract, AFolderInPlaceOfTheFileIsNamedAsSuch) {
  FileAccess& files = this->files();
  const std::string path = this->Path("hw_inf.ini");
  this->backend_.MakeFolder(path);
  const std::string expected = "cannot open " + path + ": is a folder";
  EXPECT_EQ(MessageOf([&] { files.TryOpenForReading(path); }), expected);
  EXPECT_EQ(MessageOf([&] { files.ReadWholeFile(path); }), expected);
  EXPECT_EQ(MessageOf([&] { files.RewriteFile(path, "x"); }), expected);
  EXPECT_EQ(MessageOf([&] { files.ReplaceAtomically(path, "x"); }), expected);
}

TYPED_TEST_P(FileAccessContract, AHeldFileIsBusyNotAFailure) {
  FileAccess& files = this->files();
  const std::string path = this->Path("summary.txt");
  files.RewriteFile(path, "kept");
  if (!this->backend_.Hold(path)) GTEST_SKIP() << "no file is ever busy here";
  EXPECT_EQ(files.TryModificationTime(path).status, FileStatus::kDone) << "attributes answer";
  EXPECT_EQ(files.TryOpenForReading(path).status, FileStatus::kBusy);
  EXPECT_EQ(files.TryRewriteFile(path, "new", NewFileAccess::kFromFolder), FileStatus::kBusy);
  EXPECT_EQ(MessageOf([&] { files.OpenForReading(path); }),
            "cannot open " + path + ": in use by another program");
  EXPECT_EQ(MessageOf([&] { files.RewriteFile(path, "new"); }),
            "cannot open " + path + ": in use by another program");
  this->backend_.Release();
  EXPECT_EQ(files.ReadWholeFile(path), "kept");
}

TYPED_TEST_P(FileAccessContract, ReplaceAtomicallyCreatesAndReplacesButNoFolder) {
  FileAccess& files = this->files();
  const std::string path = this->Path("registry.reg");
  EXPECT_EQ(files.ReplaceAtomically(path, "first"), FileStatus::kDone);
  EXPECT_EQ(files.ReadWholeFile(path), "first");
  EXPECT_EQ(files.ReplaceAtomically(path, std::string("se\0cond", 7)), FileStatus::kDone);
  EXPECT_EQ(files.ReadWholeFile(path), std::string("se\0cond", 7));
  const std::string lost = this->Path("no folder/registry.reg");
  EXPECT_EQ(files.ReplaceAtomically(lost, "x"), FileStatus::kNotThere);
  EXPECT_EQ(files.ModificationTime(lost), std::nullopt);
}

// A locked range refuses reads and writes, not the open nor the attributes; a refused read
// may simply be tried again once the lock is gone.
TYPED_TEST_P(FileAccessContract, ALockedRangeRefusesReadsNotTheOpen) {
  FileAccess& files = this->files();
  const std::string path = this->Path("hw_inf.ini");
  files.RewriteFile(path, "kept");
  if (const std::string why = this->backend_.LockRange(path); !why.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(files.TryModificationTime(path).status, FileStatus::kDone);
  const OpenedFile opened = files.TryOpenForReading(path);
  ASSERT_EQ(opened.status, FileStatus::kDone);
  char first = 0;
  EXPECT_EQ(MessageOf([&] { opened.stream->Read(&first, 1); }),
            "cannot read " + path + ": part of it is locked by another program");
  EXPECT_EQ(files.TryRewriteFile(path, "new", NewFileAccess::kFromFolder), FileStatus::kBusy);
  this->backend_.Release();
  EXPECT_EQ(opened.stream->Read(&first, 1), 1u);
  EXPECT_EQ(first, 'k');
}

// Deleted while another program still has it open, the file keeps its name but refuses every
// look, its attributes included, until that program closes it; then it is gone.
TYPED_TEST_P(FileAccessContract, AFilePendingDeletionIsBusyUntilItsLastHandleCloses) {
  FileAccess& files = this->files();
  const std::string path = this->Path("$Machine.dat");
  files.RewriteFile(path, "kept");
  const std::string why = this->backend_.DeleteWhileOpen(path, Deletion::kPending);
  if (!why.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(files.TryModificationTime(path).status, FileStatus::kBusy);
  EXPECT_EQ(MessageOf([&] { files.ModificationTime(path); }),
            "cannot examine " + path + ": in use by another program");
  EXPECT_EQ(files.TryOpenForReading(path).status, FileStatus::kBusy);
  EXPECT_EQ(files.TryRewriteFile(path, "new", NewFileAccess::kFromFolder), FileStatus::kBusy);
  this->backend_.Release();
  EXPECT_EQ(files.TryModificationTime(path).status, FileStatus::kNotThere);
  files.RewriteFile(path, "new");
  EXPECT_EQ(files.ReadWholeFile(path), "new");
}

// Deleted with POSIX semantics, the name is gone at once though the file is still open, and a
// file written under it is a new one that outlives the old one's last handle.
TYPED_TEST_P(FileAccessContract, APosixDeleteTakesTheNameAtOnce) {
  FileAccess& files = this->files();
  const std::string path = this->Path("$Machine.dat");
  files.RewriteFile(path, "kept");
  const std::string why = this->backend_.DeleteWhileOpen(path, Deletion::kPosix);
  if (!why.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(files.TryModificationTime(path).status, FileStatus::kNotThere);
  EXPECT_EQ(files.TryOpenForReading(path).status, FileStatus::kNotThere);
  files.RewriteFile(path, "new");
  this->backend_.Release();
  EXPECT_EQ(files.ReadWholeFile(path), "new");
}

// A save in pieces, read midway, gives what it has written so far, under a stamp that may not
// have moved yet; once it closes the file the stamp has moved ("File Times": "The only guarantee
// about a file time stamp is that the file time is correctly reflected when the handle that
// makes the change is closed.").
TYPED_TEST_P(FileAccessContract, ASaveInPiecesMovesTheStampByItsCloseAtTheLatest) {
  FileAccess& files = this->files();
  const std::string path = this->Path("$Machine.dat");
  files.RewriteFile(path, "DECL INT $EX_AX_NUM=2\r\n");
  this->backend_.SetOldStamp(path);
  const auto before = files.ModificationTime(path);
  this->backend_.BeginSave(path);
  this->backend_.AppendPiece("DECL INT $EX_AX_NUM=1");
  EXPECT_EQ(files.ReadWholeFile(path), "DECL INT $EX_AX_NUM=1");
  this->backend_.AppendPiece("2\r\n");
  this->backend_.Release();
  EXPECT_NE(files.ModificationTime(path), before);
  EXPECT_EQ(files.ReadWholeFile(path), "DECL INT $EX_AX_NUM=12\r\n");
}

// A file this user may not write is an answer, not a failure, and stays as it was, whatever
// access a new file would get; the rewrite that must succeed says so in the system's words.
TYPED_TEST_P(FileAccessContract, AFileThisUserMayNotWriteIsDeniedAndKept) {
  FileAccess& files = this->files();
  const std::string path = this->Path("Tarvex.ini");
  files.RewriteFile(path, "kept");
  if (const std::string why = this->backend_.Deny(path); !why.empty()) GTEST_SKIP() << why;
  for (const auto new_file : {NewFileAccess::kFromFolder, NewFileAccess::kEveryInteractiveUser}) {
    EXPECT_EQ(files.TryRewriteFile(path, "new", new_file), FileStatus::kDenied);
  }
  EXPECT_EQ(files.ReplaceAtomically(path, "new"), FileStatus::kDenied);
  const std::string denied = files.DeniedError(path).what();
  EXPECT_EQ(denied.find("cannot open " + path + ": "), 0u) << denied;
  EXPECT_EQ(MessageOf([&] { files.RewriteFile(path, "new"); }), denied);
  this->backend_.Release();
  EXPECT_EQ(files.ReadWholeFile(path), "kept");
}

REGISTER_TYPED_TEST_SUITE_P(
    FileAccessContract, AMissingFileIsNotThereAndStaysMissing,
    RewriteCreatesThenOverwritesAndTruncates, ReadsEveryByteInPiecesOfAnySize,
    AFolderInPlaceOfTheFileIsNamedAsSuch, AHeldFileIsBusyNotAFailure,
    ReplaceAtomicallyCreatesAndReplacesButNoFolder, ALockedRangeRefusesReadsNotTheOpen,
    AFilePendingDeletionIsBusyUntilItsLastHandleCloses, APosixDeleteTakesTheNameAtOnce,
    ASaveInPiecesMovesTheStampByItsCloseAtTheLatest, AFileThisUserMayNotWriteIsDeniedAndKept);

}  // namespace ordex::testing
