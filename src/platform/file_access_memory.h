#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "platform/file_access.h"

namespace ordex {

// Files held in memory that behave as the platform's: missing files and folders are not there,
// a folder in a file's place is an error, every write moves the file's modification time on (no
// two writes look alike, as the real clock cannot promise without sleeping) unless a test asks
// for stamps as Windows promises them (see StampAtClose, StampFrom), and a test may declare what
// another program does to a file (see Hold) and which user's program makes the calls (see
// SetUser), each file keeping its owner and who may write it. Paths are '/'-separated;
// NativePath only turns backslashes into '/'. Only "/" exists at first.
class MemoryFileAccess : public FileAccess {
 public:
  std::string NativePath(std::string_view target_path) const override;
  FileStamp TryModificationTime(const std::string& native_path) const override;
  // Stamps that count writes stand for no time: as long ago as can be.
  std::chrono::milliseconds AgeOfStamp(FileTime stamp) const override;
  OpenedFile TryOpenForReading(const std::string& native_path) const override;
  FileStatus TryRewriteFile(const std::string& native_path, std::string_view content,
                            NewFileAccess new_file) const override;
  FileStatus ReplaceAtomically(const std::string& native_path,
                               std::string_view content) const override;
  Error MissingFileError(const std::string& native_path) const override;
  Error DeniedError(const std::string& native_path) const override;

  // In an access list: every user logged on at the PC (Windows' INTERACTIVE group).
  static constexpr char kInteractive[] = "INTERACTIVE";
  // The user whose program makes the calls that follow; kFirstUser until a test says otherwise.
  // Every user is an interactive one.
  static constexpr char kFirstUser[] = "operator";
  void SetUser(std::string user);
  // New files of `folder` that get the folder's access admit their creator alone, as in a
  // folder whose inheritable entries give a new file to CREATOR OWNER (with read access for the
  // rest); new files of other folders admit kInteractive. NewFileAccess::kEveryInteractiveUser
  // adds kInteractive to what the folder gives.
  void RestrictNewFiles(const std::string& folder);
  // Gives an existing file a new access list, as an administrator may: the users who may write
  // it (kInteractive among them for all).
  void SetWriters(const std::string& path, std::set<std::string> writers);
  const std::string& OwnerOf(const std::string& path) const;

  // What another program does to a file, as Windows documents it; what each hold refuses is
  // decided in one place (Refuses, in the .cpp file).
  enum class Hold {
    kNone,
    // Open without sharing (CreateFile with share mode 0): opening it for reading or writing
    // fails with a sharing violation; its attributes still answer.
    kBusy,
    // A range locked (LockFileEx): the file opens and answers its attributes; reading or
    // writing the range fails with a lock violation.
    kRangeLocked,
    // Deleted while a handle to it is still open (DeleteFile without POSIX semantics "marks a
    // file for deletion on close"): the name stays, yet opening the file and looking up its
    // attributes fail with access denied (STATUS_DELETE_PENDING) until the last handle
    // closes. Letting go of this hold is that close: the file is gone. A stream opened
    // before goes on reading.
    kDeletePending,
    // Saved again while it is read: each open moves the modification time on.
    kChangingWhileRead,
    // Being saved in pieces by a program that shares reads only (FILE_SHARE_READ): the hold
    // truncates the file, AppendPiece adds each piece it writes, reads see what is written so
    // far, and writing is refused (a sharing violation). Letting go of the hold is the close.
    kSavedInPieces,
  };

  // Creates the folder and those above it.
  void AddFolder(const std::string& path);
  // Removes a file, or a folder (not what lies below it), with whatever held it. This is also
  // what a delete with POSIX semantics does while other programs still have the file open
  // (FILE_DISPOSITION_POSIX_SEMANTICS, used by DeleteFile on NTFS since Windows 10 1809): the
  // name is gone at once, and a file written under it is a new one.
  void Remove(const std::string& path);
  void SetBusy(const std::string& path, bool busy);
  void SetHold(const std::string& path, Hold hold);
  // Gives an existing file the time stamp `time`, as a program that restores it after a save.
  void SetModificationTime(const std::string& path, FileTime time);
  // The next piece of a save in pieces (Hold::kSavedInPieces).
  void AppendPiece(const std::string& path, std::string_view piece);
  // From now on a save in pieces moves the time stamp only when it closes the file, all that
  // Windows promises ("File Times": "The only guarantee about a file time stamp is that the
  // file time is correctly reflected when the handle that makes the change is closed."); until
  // then each of its writes moves it on.
  void StampAtClose();
  // From now on a write is stamped with `clock`'s time cut to whole `resolution` (FAT keeps the
  // write time to 2 s, "File Times"), no longer with a count of writes; AgeOfStamp measures by
  // `clock` too.
  void StampFrom(std::function<std::chrono::system_clock::time_point()> clock,
                 std::chrono::milliseconds resolution);

 private:
  struct File {
    std::string content;
    FileTime time;
    std::string owner;
    std::set<std::string> writers;
  };
  bool FolderExists(const std::string& path) const;
  bool ParentExists(const std::string& path) const;
  void CheckNotAFolder(const std::string& path) const;
  bool Admits(const File& file) const;
  FileStatus Write(const std::string& path, std::string_view content, NewFileAccess new_file) const;
  FileTime NextStamp() const;
  // A write of another program's save in pieces, by the stamping asked for.
  void StampPiece(const std::string& path);

  std::set<std::string> folders_ = {"/"};
  Hold HoldOf(const std::string& path) const;

  std::map<std::string, Hold> holds_;
  std::string user_ = kFirstUser;
  std::set<std::string> restricted_folders_;
  mutable std::map<std::string, File> files_;
  mutable std::int64_t clock_ = 0;
  bool stamp_at_close_ = false;
  std::function<std::chrono::system_clock::time_point()> wall_clock_;
  std::chrono::milliseconds resolution_{1};
};

}  // namespace ordex
