#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/file_time.h"

namespace ordex {

// An open file read from start to end in pieces; closed when destroyed.
class InputStream {
 public:
  virtual ~InputStream() = default;
  // Reads up to `size` bytes into `buffer`; 0 means the end of the file. Throws BusyFileError
  // when another program has locked the range (the read may be tried again, from the same
  // place), Error when the read fails otherwise.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// Everything `stream` has left to read.
std::string ReadToEnd(InputStream& stream);

// How an open (or a rewrite) came out when it did not fail.
enum class FileStatus {
  kDone,
  // The file, or a folder on its path, does not exist.
  kNotThere,
  // Another program holds the file open in a way that excludes ours (on Windows a sharing or
  // lock violation, or a file deleted while another program still has it open, whose name
  // stays until that program closes it; POSIX has no such state). It is a moment, not a fault:
  // a later try may work.
  kBusy,
  // This user may not change the file or its folder. Only the rewrites give it (TryRewriteFile,
  // ReplaceAtomically), to a caller to whom that is an answer: the registry's false flag, a
  // summary that waits until an administrator lets this user write it.
  kDenied,
};

// Who may write a file that a rewrite creates. A file that exists keeps its own access list (or
// mode) whatever is asked for here.
enum class NewFileAccess {
  // What the folder gives its new files: on Windows its inheritable entries (many folders give
  // a new file to its creator alone), on POSIX mode 0644 under the umask.
  kFromFolder,
  // Besides that, every user logged on at the PC may read and rewrite it: for a file that the
  // program rewrites in whoever's session it runs next. On Windows the INTERACTIVE group; on
  // POSIX, which has no such group, the file's group (the users that share the tree).
  kEveryInteractiveUser,
};

struct OpenedFile {
  FileStatus status = FileStatus::kNotThere;
  std::unique_ptr<InputStream> stream;  // set exactly when status is kDone
};

// A file's last-modification time, or why there is none just now.
struct FileStamp {
  FileStatus status = FileStatus::kNotThere;  // kDone, kNotThere or kBusy
  FileTime time;                              // set exactly when status is kDone
};

// The file system as the program sees it. Paths given to it are target paths, built as on the
// controller PC ("C:\XOC\ROBOTER\INIT\hw_inf.ini"); NativePath turns them into this platform's.
// "Not there" and "busy" are results; every other failure throws Error naming the native path
// and the cause, a folder where a file should be included ("...: is a folder").
class FileAccess {
 public:
  virtual ~FileAccess() = default;

  // The platform's path for a target path. On POSIX backslashes become '/', a drive letter "X:"
  // becomes "/mnt/x", and each component that has no exact match is matched without regard to
  // case, as the target's file system does. On Windows the path is used as it is.
  virtual std::string NativePath(std::string_view target_path) const = 0;

  // The last-modification time at full resolution; kNotThere when the file does not exist,
  // kBusy when it cannot be examined just now (on Windows, a file deleted while another program
  // still has it open refuses even its attributes until that program closes it).
  virtual FileStamp TryModificationTime(const std::string& native_path) const = 0;

  // How long before this file system's clock now `stamp` lies (negative when it lies ahead).
  // A file saved again within its stamps' resolution keeps its stamp (FAT keeps the write time
  // to 2 s, "File Times"), so a caller that must see every save tells a recent stamp by it.
  virtual std::chrono::milliseconds AgeOfStamp(FileTime stamp) const = 0;

  // Opens for reading only.
  virtual OpenedFile TryOpenForReading(const std::string& native_path) const = 0;

  // Writes `content` over the file in place (created when missing, truncated otherwise), so that
  // the file keeps its identity and permissions; a file it creates gets `new_file`'s access.
  // Returns kDone, kBusy, or kDenied when this user may not write the file (or create it in its
  // folder); a missing folder, or an open, write or close that fails otherwise, throws.
  virtual FileStatus TryRewriteFile(const std::string& native_path, std::string_view content,
                                    NewFileAccess new_file) const = 0;

  // Replaces the file with `content` so that a crash leaves either the old file or the new one,
  // whole: the content goes to a new file in the same folder, flushed to disk, which then takes
  // the file's name. A file reached through a symbolic link is replaced where the link points,
  // and the new file keeps the old one's permissions and owner. Returns kDone, kNotThere when
  // the folder does not exist (it is not created), kDenied, or kBusy; other failures throw.
  virtual FileStatus ReplaceAtomically(const std::string& native_path,
                                       std::string_view content) const = 0;

  // The platform's path of the file at `relative_path` below the folder `folder`, both target
  // paths: `folder` followed by `relative_path` as written ("C:\XOC" and "\ROBOTER\..."), as
  // the target names its files, a doubled separator included.
  std::string NativePathBelow(std::string_view folder, std::string_view relative_path) const;

  // For callers to whom a busy file is a failure: they throw BusyFileError when it is busy.
  // The last-modification time, or nothing when the file does not exist.
  std::optional<FileTime> ModificationTime(const std::string& native_path) const;
  // Opens for reading, or returns nullptr when the file (or a folder on its path) does not exist.
  std::unique_ptr<InputStream> OpenForReading(const std::string& native_path) const;
  // The whole content of a file that must exist.
  std::string ReadWholeFile(const std::string& native_path) const;
  // A rewrite whose new file gets the folder's access; a file this user may not write throws
  // DeniedError.
  void RewriteFile(const std::string& native_path, std::string_view content) const;

  // "cannot open <path>: " and the system's own words for a missing file.
  virtual Error MissingFileError(const std::string& native_path) const = 0;
  // "cannot open <path>: " and the system's own words for a file this user may not write.
  virtual Error DeniedError(const std::string& native_path) const = 0;
};

// A file that another program holds for a moment, met where only an exception can say so (an
// open that must succeed, a read of a locked range): a later try may work.
class BusyFileError : public Error {
 public:
  // "cannot open <path>: in use by another program".
  explicit BusyFileError(std::string_view native_path);
  // "<action> <path>: <what>", for example "cannot read <path>: part of it is locked by
  // another program".
  BusyFileError(std::string_view action, std::string_view native_path, std::string_view what);
};

// "cannot open <path>: is a folder", in place of the system's words, which on some systems send
// the user looking at permissions.
Error FolderInPlaceError(std::string_view native_path);

// The file access of the platform the program was built for.
std::unique_ptr<FileAccess> CreateFileAccess();

}  // namespace ordex
