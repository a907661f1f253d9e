#include <windows.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "core/error.h"
#include "platform/error_win32.h"
#include "platform/file_access.h"
#include "platform/unique_handle_win32.h"

namespace ordex {
namespace {

bool IsNotThere(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

// Another handle's share mode excludes our access, or a range we need is locked: the holder
// (the controller saving, a collector reading) lets go within moments.
bool IsBusy(DWORD code) { return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION; }

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// CreateFile answers "Access is denied" for a folder, which would send the user looking at
// permissions.
Error OpenError(const std::string& path, DWORD code) {
  if (code == ERROR_ACCESS_DENIED && IsFolder(path)) {
    return Error("cannot open " + path + ": is a folder");
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
      throw Win32Error("cannot read", path_, ::GetLastError());
    }
    return count;
  }

 private:
  UniqueHandle file_;
  std::string path_;
};

class Win32FileAccess : public FileAccess {
 public:
  std::string NativePath(std::string_view target_path) const override {
    return std::string(target_path);
  }

  std::optional<FileTime> ModificationTime(const std::string& native_path) const override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(native_path.c_str(), GetFileExInfoStandard, &data)) {
      const DWORD code = ::GetLastError();
      if (IsNotThere(code)) return std::nullopt;
      throw Win32Error("cannot examine", native_path, code);
    }
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
    return FileTime{static_cast<std::int64_t>(ticks)};
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
  // (CREATE_ALWAYS refuses those unless the caller repeats their attributes).
  // A range locked by another program shows only when writing; the caller writes the whole
  // file again later, so that is busy as well.
  FileStatus TryRewriteFile(const std::string& native_path,
                            std::string_view content) const override {
    UniqueHandle file(::CreateFileA(native_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      const DWORD code = ::GetLastError();
      if (IsBusy(code)) return FileStatus::kBusy;
      throw OpenError(native_path, code);
    }
    while (!content.empty()) {
      DWORD written = 0;
      const DWORD piece = static_cast<DWORD>(std::min(content.size(), kMaxTransfer));
      if (!::WriteFile(file.get(), content.data(), piece, &written, nullptr)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_LOCK_VIOLATION) return FileStatus::kBusy;
        throw Win32Error("cannot write", native_path, code);
      }
      if (written == 0) throw Win32Error("cannot write", native_path, ERROR_WRITE_FAULT);
      content.remove_prefix(written);
    }
    if (!::SetEndOfFile(file.get())) {
      throw Win32Error("cannot write", native_path, ::GetLastError());
    }
    if (!file.Close()) throw Win32Error("cannot close", native_path, ::GetLastError());
    return FileStatus::kDone;
  }
};

}  // namespace

Error MissingFileError(const std::string& native_path) {
  return Win32Error("cannot open", native_path, ERROR_FILE_NOT_FOUND);
}

std::unique_ptr<FileAccess> CreateFileAccess() { return std::make_unique<Win32FileAccess>(); }

}  // namespace ordex
