#include "shell/start_up_patience.h"

#include <functional>
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

OpenedFile StartUpPatience::TryOpenForReading(const std::string& native_path) const {
  OpenedFile file =
      Retry([&] { return target().TryOpenForReading(native_path); },
            [](const OpenedFile& opened) { return opened.status != FileStatus::kBusy; });
  if (file.status == FileStatus::kBusy) throw BusyFileError(native_path);
  if (file.stream) file.stream = std::make_unique<PatientStream>(*this, std::move(file.stream));
  return file;
}

FileStatus StartUpPatience::TryRewriteFile(const std::string& native_path, std::string_view content,
                                           NewFileAccess new_file) const {
  return WriteWhenFree(native_path,
                       [&] { return target().TryRewriteFile(native_path, content, new_file); });
}

FileStatus StartUpPatience::ReplaceAtomically(const std::string& native_path,
                                              std::string_view content) const {
  return WriteWhenFree(native_path,
                       [&] { return target().ReplaceAtomically(native_path, content); });
}

FileStatus StartUpPatience::WriteWhenFree(const std::string& native_path,
                                          const std::function<FileStatus()>& write) const {
  const FileStatus status = Retry(write, [](FileStatus s) { return s != FileStatus::kBusy; });
  if (status == FileStatus::kBusy) throw BusyFileError(native_path);
  return status;
}

}  // namespace ordex
