#include "platform/file_access.h"

namespace ordex {

BusyFileError::BusyFileError(std::string_view native_path)
    : BusyFileError("cannot open", native_path, "in use by another program") {}

BusyFileError::BusyFileError(std::string_view action, std::string_view native_path,
                             std::string_view what)
    : Error(std::string(action) + " " + std::string(native_path) + ": " + std::string(what)) {}

Error FolderInPlaceError(std::string_view native_path) {
  return Error("cannot open " + std::string(native_path) + ": is a folder");
}

std::string ReadToEnd(InputStream& stream) {
  std::string content;
  char buffer[16384];
  while (const auto count = stream.Read(buffer, sizeof buffer)) content.append(buffer, count);
  return content;
}

std::string FileAccess::NativePathBelow(std::string_view folder,
                                        std::string_view relative_path) const {
  return NativePath(std::string(folder).append(relative_path));
}

std::optional<FileTime> FileAccess::ModificationTime(const std::string& native_path) const {
  const FileStamp stamp = TryModificationTime(native_path);
  if (stamp.status == FileStatus::kBusy) {
    throw BusyFileError("cannot examine", native_path, "in use by another program");
  }
  if (stamp.status == FileStatus::kNotThere) return std::nullopt;
  return stamp.time;
}

std::unique_ptr<InputStream> FileAccess::OpenForReading(const std::string& native_path) const {
  OpenedFile file = TryOpenForReading(native_path);
  if (file.status == FileStatus::kBusy) throw BusyFileError(native_path);
  return std::move(file.stream);
}

std::string FileAccess::ReadWholeFile(const std::string& native_path) const {
  const auto stream = OpenForReading(native_path);
  if (!stream) throw MissingFileError(native_path);
  return ReadToEnd(*stream);
}

void FileAccess::RewriteFile(const std::string& native_path, std::string_view content) const {
  const FileStatus status = TryRewriteFile(native_path, content, NewFileAccess::kFromFolder);
  if (status == FileStatus::kBusy) throw BusyFileError(native_path);
  if (status == FileStatus::kDenied) throw DeniedError(native_path);
}

}  // namespace ordex
