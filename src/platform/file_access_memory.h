#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/file_access.h"

namespace ordex {

// Files held in memory that behave as the platform's: missing files and folders are not there,
// a folder in a file's place is an error, every write moves the file's modification time on (no
// two writes look alike, as the real clock cannot promise without sleeping), and a test may
// declare what another program does to a file (see Hold). Paths are '/'-separated;
// NativePath only turns backslashes into '/'. Only "/" exists at first.
class MemoryFileAccess : public FileAccess {
 public:
  std::string NativePath(std::string_view target_path) const override;
  std::optional<FileTime> ModificationTime(const std::string& native_path) const override;
  OpenedFile TryOpenForReading(const std::string& native_path) const override;
  FileStatus TryRewriteFile(const std::string& native_path,
                            std::string_view content) const override;
  FileStatus ReplaceAtomically(const std::string& native_path,
                               std::string_view content) const override;
  Error MissingFileError(const std::string& native_path) const override;

  // What another program does to a file, as the Windows file system shows it.
  enum class Hold {
    kNone,
    // Open without sharing: opens and rewrites are busy.
    kBusy,
    // A range locked: the file opens, every read is busy, a rewrite is busy.
    kRangeLocked,
    // Deleted while the other program still has it open: the file is there with its time, yet
    // opens and rewrites are busy, as Windows refuses them until that program closes it.
    kDeletePending,
    // Saved again while it is read: each open moves the modification time on.
    kChangingWhileRead,
  };

  // Creates the folder and those above it.
  void AddFolder(const std::string& path);
  // Removes a file, or a folder (not what lies below it).
  void Remove(const std::string& path);
  void SetBusy(const std::string& path, bool busy);
  void SetHold(const std::string& path, Hold hold);

 private:
  struct File {
    std::string content;
    FileTime time;
  };
  bool FolderExists(const std::string& path) const;
  bool ParentExists(const std::string& path) const;
  void CheckNotAFolder(const std::string& path) const;
  FileStatus Write(const std::string& path, std::string_view content) const;

  std::set<std::string> folders_ = {"/"};
  Hold HoldOf(const std::string& path) const;

  std::map<std::string, Hold> holds_;
  mutable std::map<std::string, File> files_;
  mutable std::int64_t clock_ = 0;
};

}  // namespace ordex
