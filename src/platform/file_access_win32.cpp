#include <windows.h>
// After windows.h, which it needs.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "core/error.h"
#include "platform/error_win32.h"
#include "platform/file_access.h"
#include "platform/sddl_security_win32.h"
#include "platform/unique_handle_win32.h"

namespace ordex {
namespace {

bool IsNotThere(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

using GetLastNtStatus = LONG(WINAPI*)();

// Looked up at run time, so that the program imports nothing from ntdll, and once at start, so
// that no system call runs between a failed call and the look at its status.
const GetLastNtStatus kGetLastNtStatus = [] {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll ? reinterpret_cast<GetLastNtStatus>(
                     reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetLastNtStatus")))
               : nullptr;
}();

// A file deleted while another handle is open keeps its name until that handle closes (DeleteFile:
// "marks a file for deletion on close ... Subsequent calls to CreateFile to open the file fail
// with ERROR_ACCESS_DENIED"); looking up its attributes fails the same way. Only the NT status of
// the failed call, STATUS_DELETE_PENDING, tells this apart from a file this user may not open.
bool IsDeletePending(DWORD code) {
  constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056L);
  if (code == ERROR_DELETE_PENDING) return true;
  return code == ERROR_ACCESS_DENIED && kGetLastNtStatus &&
         kGetLastNtStatus() == kStatusDeletePending;
}

// Another handle's share mode excludes our access, a range we need is locked, or the file is
// deleted while another program still has it open: the holder (the controller saving, a
// collector reading) lets go within moments. Call it right after the failed call, before any
// other system call.
bool IsBusy(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || IsDeletePending(code);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// CreateFile answers "Access is denied" for a folder, which would send the user looking at
// permissions.
Error OpenError(const std::string& path, DWORD code) {
  if (code == ERROR_ACCESS_DENIED && IsFolder(path)) {
    return FolderInPlaceError(path);
  }
  return Win32Error("cannot open", path, code);
}

// The largest piece handed to one ReadFile or WriteFile call.
constexpr std::size_t kMaxTransfer = 1u << 20;

class Win32InputStream : public InputStream {
 public:
  Win32InputStream(UniqueHandle file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD count = 0;
    const DWORD wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::ReadFile(file_.get(), buffer, wanted, &count, nullptr)) {
      const DWORD code = ::GetLastError();
      // A failed read leaves the file pointer where it was: the caller may read again.
      if (code == ERROR_LOCK_VIOLATION) {
        throw BusyFileError("cannot read", path_, "part of it is locked by another program");
      }
      throw Win32Error("cannot read", path_, code);
    }
    return count;
  }

 private:
  UniqueHandle file_;
  std::string path_;
};

// The folder part of a path, with its separator ("" for a bare name).
std::string FolderPartOf(const std::string& path) {
  const auto separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// Writes all of `content` at the file's position. A range locked by another program shows only
// when writing: busy, for a caller who writes the whole file again later.
FileStatus WriteAll(HANDLE file, std::string_view content, const std::string& path) {
  while (!content.empty()) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min(content.size(), kMaxTransfer));
    if (!::WriteFile(file, content.data(), piece, &written, nullptr)) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_LOCK_VIOLATION) return FileStatus::kBusy;
      throw Win32Error("cannot write", path, code);
    }
    if (written == 0) throw Win32Error("cannot write", path, ERROR_WRITE_FAULT);
    content.remove_prefix(written);
  }
  return FileStatus::kDone;
}

// A new file next to a target that no one else uses, deleted again unless it was moved into
// place. A folder that is missing or closed to this user makes none, and status() says which.
class TempFile {
 public:
  explicit TempFile(const std::string& target) { Create(target); }
  ~TempFile() {
    file_.Close();
    if (status_ == FileStatus::kDone && !committed_) ::DeleteFileA(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  FileStatus status() const { return status_; }
  const std::string& path() const { return path_; }
  HANDLE handle() const { return file_.get(); }
  bool Close() { return file_.Close(); }
  void Commit() { committed_ = true; }

 private:
  void Create(const std::string& target) {
    const std::string folder = FolderPartOf(target);
    const std::string prefix = folder + "." + target.substr(folder.size());
    for (unsigned attempt = 0;; ++attempt) {
      path_ = prefix + "." + std::to_string(::GetCurrentProcessId()) + "." +
              std::to_string(attempt) + ".tmp";
      file_ = UniqueHandle(::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_.valid()) return;
      const DWORD code = ::GetLastError();
      if (IsNotThere(code) || code == ERROR_ACCESS_DENIED) {
        status_ = IsNotThere(code) ? FileStatus::kNotThere : FileStatus::kDenied;
        return;
      }
      if (code != ERROR_FILE_EXISTS || attempt > 100) {
        throw Win32Error("cannot create", path_, code);
      }
    }
  }

  std::string path_;
  UniqueHandle file_;
  FileStatus status_ = FileStatus::kDone;
  bool committed_ = false;
};

// ReplaceFile failed after the replaced file may have lost its name: by its documentation the
// target may be gone, and the new content exists only in the temporary file. That file is moved
// to the target's name if it can be; otherwise it stays, and the error names it.
void RescueReplacement(const std::string& temp_path, const std::string& target, DWORD code) {
  if (::MoveFileExA(temp_path.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return;
  }
  throw Error(Win32Error("cannot replace", target, code).what() +
              std::string("; the new content is kept in ") + temp_path);
}

bool MayHaveLostTarget(DWORD code) {
  return code == ERROR_UNABLE_TO_MOVE_REPLACEMENT || code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
}

// Moves the written temporary file to `target`. ReplaceFile keeps the replaced file's
// security descriptor and attributes; a new file is moved into place. `temp` is committed
// whenever the temporary file must outlive this call.
FileStatus MoveIntoPlace(TempFile& temp, const std::string& target, bool exists) {
  const std::string& temp_path = temp.path();
  const BOOL moved = exists
                         ? ::ReplaceFileA(target.c_str(), temp_path.c_str(), nullptr,
                                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                         : ::MoveFileExA(temp_path.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
  if (moved) {
    temp.Commit();
    return FileStatus::kDone;
  }
  const DWORD code = ::GetLastError();
  if (exists && MayHaveLostTarget(code)) {
    temp.Commit();
    RescueReplacement(temp_path, target, code);
    return FileStatus::kDone;
  }
  // Every other failure leaves the target as it was (ERROR_UNABLE_TO_REMOVE_REPLACED included).
  if (IsBusy(code) || code == ERROR_UNABLE_TO_REMOVE_REPLACED) return FileStatus::kBusy;
  if (code == ERROR_ACCESS_DENIED) return FileStatus::kDenied;
  throw Win32Error("cannot replace", target, code);
}

FileStatus Replace(const std::string& target, std::string_view content) {
  const DWORD attributes = ::GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw FolderInPlaceError(target);
  }
  // A read-only file is one this user may not change, as on POSIX.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return FileStatus::kDenied;
  }
  TempFile temp(target);
  if (temp.status() != FileStatus::kDone) return temp.status();
  if (WriteAll(temp.handle(), content, temp.path()) == FileStatus::kBusy) return FileStatus::kBusy;
  if (!::FlushFileBuffers(temp.handle())) {
    throw Win32Error("cannot flush", temp.path(), ::GetLastError());
  }
  if (!temp.Close()) throw Win32Error("cannot close", temp.path(), ::GetLastError());
  return MoveIntoPlace(temp, target, attributes != INVALID_FILE_ATTRIBUTES);
}

// A new file that every interactive user's program may rewrite: the DACL given at creation
// lets the INTERACTIVE group (IU: everyone logged on at the PC, locally or by Remote Desktop,
// "Special identity groups") read and write it (FR FW: FILE_GENERIC_READ, FILE_GENERIC_WRITE; no
// delete, no change of the list), and the folder's inheritable entries still apply (no "P"):
// "The object's DACL is the DACL from the security descriptor specified by the object's creator.
// The system merges any inheritable ACEs into the specified DACL unless the SE_DACL_PROTECTED
// bit is set" ("DACL for a New Object"), so SYSTEM, the administrators and the creator keep
// what the controller's tree gives them. Nothing else of the tree is touched, and a file that
// exists keeps its own security: "CreateFile ignores the lpSecurityDescriptor member when
// opening an existing file or device" (CreateFileA, lpSecurityAttributes).
constexpr wchar_t kEveryInteractiveUserSecurity[] = L"D:(A;;FRFW;;;IU)";

// The SECURITY_ATTRIBUTES for CreateFile's new file, or none for the folder's access alone.
class NewFileSecurity {
 public:
  NewFileSecurity(NewFileAccess access, const std::string& path) {
    if (access == NewFileAccess::kFromFolder) return;
    security_.emplace(kEveryInteractiveUserSecurity);
    if (!security_->ok()) {
      throw Win32Error("cannot build the access list for", path, ::GetLastError());
    }
  }

  SECURITY_ATTRIBUTES* attributes() { return security_ ? security_->attributes() : nullptr; }

 private:
  std::optional<SddlSecurity> security_;
};

class Win32FileAccess : public FileAccess {
 public:
  Error MissingFileError(const std::string& native_path) const override {
    return Win32Error("cannot open", native_path, ERROR_FILE_NOT_FOUND);
  }
  Error DeniedError(const std::string& native_path) const override {
    return Win32Error("cannot open", native_path, ERROR_ACCESS_DENIED);
  }

  std::string NativePath(std::string_view target_path) const override {
    return std::string(target_path);
  }

  // GetFileAttributesEx opens the file by its name, so a file pending deletion refuses it with
  // "Access is denied" as it refuses CreateFile: busy, not a permission problem.
  FileStamp TryModificationTime(const std::string& native_path) const override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(native_path.c_str(), GetFileExInfoStandard, &data)) {
      const DWORD code = ::GetLastError();
      if (IsNotThere(code)) return {FileStatus::kNotThere, {}};
      if (IsBusy(code)) return {FileStatus::kBusy, {}};
      throw Win32Error("cannot examine", native_path, code);
    }
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
    return {FileStatus::kDone, FileTime{static_cast<std::int64_t>(ticks)}};
  }

  // Stamps are UTC on every volume: "FAT records times on disk in local time", and
  // GetFileAttributesEx gives them converted to UTC ("File Times").
  std::chrono::milliseconds AgeOfStamp(FileTime stamp) const override {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return std::chrono::milliseconds((ticks - stamp.ticks) / 10'000);  // 100 ns ticks
  }

  OpenedFile TryOpenForReading(const std::string& native_path) const override {
    // Others may go on writing, renaming or deleting the file while it is read: the controller
    // software and the technician's editor must never be blocked by this tool.
    UniqueHandle file(::CreateFileA(native_path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      const DWORD code = ::GetLastError();
      if (IsNotThere(code)) return {FileStatus::kNotThere, nullptr};
      if (IsBusy(code)) return {FileStatus::kBusy, nullptr};
      throw OpenError(native_path, code);
    }
    return {FileStatus::kDone, std::make_unique<Win32InputStream>(std::move(file), native_path)};
  }

  // OPEN_ALWAYS and SetEndOfFile instead of CREATE_ALWAYS: the existing file keeps its identity,
  // security descriptor and attributes, and a hidden or system file can be rewritten at all
  // (CREATE_ALWAYS refuses those unless the caller repeats their attributes). Access denied
  // that is neither a pending deletion nor a folder: this user may not write the file (its
  // access list, or the read-only attribute) or create it in its folder.
  FileStatus TryRewriteFile(const std::string& native_path, std::string_view content,
                            NewFileAccess new_file) const override {
    NewFileSecurity security(new_file, native_path);
    UniqueHandle file(::CreateFileA(native_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    security.attributes(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!file.valid()) {
      const DWORD code = ::GetLastError();
      if (IsBusy(code)) return FileStatus::kBusy;
      if (code == ERROR_ACCESS_DENIED && !IsFolder(native_path)) return FileStatus::kDenied;
      throw OpenError(native_path, code);
    }
    if (WriteAll(file.get(), content, native_path) == FileStatus::kBusy) return FileStatus::kBusy;
    if (!::SetEndOfFile(file.get())) {
      throw Win32Error("cannot write", native_path, ::GetLastError());
    }
    if (!file.Close()) throw Win32Error("cannot close", native_path, ::GetLastError());
    return FileStatus::kDone;
  }

  FileStatus ReplaceAtomically(const std::string& native_path,
                               std::string_view content) const override {
    return Replace(native_path, content);
  }
};

}  // namespace

std::unique_ptr<FileAccess> CreateFileAccess() { return std::make_unique<Win32FileAccess>(); }

}  // namespace ordex
