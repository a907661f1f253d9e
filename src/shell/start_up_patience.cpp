#include "shell/start_up_patience.h"

#include <memory>
#include <optional>
#include <utility>

namespace ordex {
namespace {

// Reads through a stream whose file may have a range locked by another program for a moment.
// A failed read leaves the position where it was, so the same read is simply tried again.
class PatientStream : public InputStream {
 public:
  PatientStream(const StartUpPatience& patience, std::unique_ptr<InputStream> stream)
      : patience_(patience), stream_(std::move(stream)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    std::optional<BusyFileError> busy;
    const auto count = patience_.Retry(
        [&]() -> std::optional<std::size_t> {
          try {
            return stream_->Read(buffer, size);
          } catch (const BusyFileError& e) {
            busy = e;
            return std::nullopt;
          }
        },
        [](const std::optional<std::size_t>& read) { return read.has_value(); });
    if (!count) throw *busy;
    return *count;
  }

 private:
  const StartUpPatience& patience_;
  std::unique_ptr<InputStream> stream_;
};

}  // namespace

std::string StartUpPatience::NativePath(std::string_view target_path) const {
  return machine_.Files().NativePath(target_path);
}

std::optional<FileTime> StartUpPatience::ModificationTime(const std::string& native_path) const {
  return machine_.Files().ModificationTime(native_path);
}

Error StartUpPatience::MissingFileError(const std::string& native_path) const {
  return machine_.Files().MissingFileError(native_path);
}

OpenedFile StartUpPatience::TryOpenForReading(const std::string& native_path) const {
  OpenedFile file =
      Retry([&] { return machine_.Files().TryOpenForReading(native_path); },
            [](const OpenedFile& opened) { return opened.status != FileStatus::kBusy; });
  if (file.status == FileStatus::kBusy) throw BusyFileError(native_path);
  if (file.stream) file.stream = std::make_unique<PatientStream>(*this, std::move(file.stream));
  return file;
}

FileStatus StartUpPatience::TryRewriteFile(const std::string& native_path,
                                           std::string_view content) const {
  const FileStatus status =
      Retry([&] { return machine_.Files().TryRewriteFile(native_path, content); },
            [](FileStatus s) { return s != FileStatus::kBusy; });
  if (status == FileStatus::kBusy) throw BusyFileError(native_path);
  return status;
}

FileStatus StartUpPatience::ReplaceAtomically(const std::string& native_path,
                                              std::string_view content) const {
  const FileStatus status =
      Retry([&] { return machine_.Files().ReplaceAtomically(native_path, content); },
            [](FileStatus s) { return s != FileStatus::kBusy; });
  if (status == FileStatus::kBusy) throw BusyFileError(native_path);
  return status;
}

MachineDataReading StartUpPatience::ReadMachineData(const std::string& native_path) const {
  const auto reading = Retry(
      [&] {
        auto read = ReadExAxNum(*this, native_path);
        if (!read && !ModificationTime(native_path)) throw MissingFileError(native_path);
        return read;
      },
      [](const std::optional<MachineDataReading>& read) { return read && !read->empty_file; });
  if (!reading) throw Error(native_path + " keeps changing while it is read");
  return *reading;
}

}  // namespace ordex
