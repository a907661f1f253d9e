#include "collectors/sensor_driver.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/text.h"
#include "platform/file_access.h"

namespace ordex {
namespace {

// The fixed texts that follow a marker's NUL; exact, case-sensitive. The "%s" are literal.
constexpr std::string_view kVersionText = "%s - Version %s";
constexpr std::string_view kFormatText = "Dateiformat : %s";
constexpr std::size_t kHeadLength = std::max(kVersionText.size(), kFormatText.size());

constexpr std::size_t kKept = SensorDriverScan::kKeptTextLength;
constexpr std::size_t kReadChunkSize = 64 * 1024;

// Appends `piece` to `text`, keeping at least its last kKept bytes. The front is dropped in bulk
// only when the text would pass twice that, so the work per byte fed stays constant and the
// text never grows beyond 2 * kKept.
void AppendKeepingTail(std::string& text, std::string_view piece) {
  if (piece.size() >= kKept) {
    text.assign(piece.substr(piece.size() - kKept));
    return;
  }
  if (text.size() + piece.size() > 2 * kKept) text.erase(0, text.size() + piece.size() - kKept);
  text.append(piece);
}

std::string_view KeptTail(std::string_view text) {
  return text.size() > kKept ? text.substr(text.size() - kKept) : text;
}

// A far text with a "." keeps its first two "."-separated pieces, each without its spaces
// ("2.0.4.15" gives "2.0", "7 . 1 . 3" gives "7.1"); one without stays as it is.
std::string ShortenFarText(std::string_view far_text) {
  const auto first_dot = far_text.find('.');
  if (first_dot == std::string_view::npos) return std::string(far_text);
  const std::string_view rest = far_text.substr(first_dot + 1);
  const std::string_view second_piece = rest.substr(0, rest.find('.'));
  return std::string(TrimSpaces(far_text.substr(0, first_dot))) + "." +
         std::string(TrimSpaces(second_piece));
}

// Whether the head of a text has just become complete enough to show `fixed_text`: true for
// exactly one piece, so each marker is counted once.
bool CrossedInto(std::string_view head, std::size_t length_before, std::string_view fixed_text) {
  return length_before < fixed_text.size() && head.size() >= fixed_text.size() &&
         head.starts_with(fixed_text);
}

}  // namespace

SensorDriverScan::SensorDriverScan() {
  // Reserved once, so that no text ever grows past what it holds from the start.
  for (std::string* text : {&current_text_, &previous_text_, &text_before_previous_}) {
    text->reserve(2 * kKept);
  }
  current_head_.reserve(kHeadLength);
}

void SensorDriverScan::Feed(std::string_view bytes) {
  for (;;) {
    const auto nul = bytes.find('\0');
    AppendToCurrentText(bytes.substr(0, nul));
    if (nul == std::string_view::npos) return;
    EndCurrentText();
    bytes.remove_prefix(nul + 1);
  }
}

void SensorDriverScan::AppendToCurrentText(std::string_view piece) {
  if (piece.empty()) return;
  const std::size_t head_before = current_head_.size();
  current_head_.append(piece.substr(0, kHeadLength - head_before));
  AppendKeepingTail(current_text_, piece);
  // A marker is recognised the moment its fixed text is complete; the texts it refers to stay
  // as they are until the next NUL.
  if (!seen_nul_) return;
  if (CrossedInto(current_head_, head_before, kVersionText)) OnVersionMarker();
  if (CrossedInto(current_head_, head_before, kFormatText)) OnFormatMarker();
}

void SensorDriverScan::EndCurrentText() {
  text_before_previous_.swap(previous_text_);
  previous_text_.swap(current_text_);
  current_text_.clear();
  current_head_.clear();
  seen_nul_ = true;
}

void SensorDriverScan::OnVersionMarker() {
  const std::string far_text = ShortenFarText(KeptTail(text_before_previous_));
  sensor_ =
      std::string(TrimSpaces(KeptTail(previous_text_))) + "_" + std::string(TrimSpaces(far_text));
}

void SensorDriverScan::OnFormatMarker() {
  driver_version_ = std::string(TrimSpaces(KeptTail(previous_text_)));
}

SensorInfo SensorDriverScan::Result() const { return {sensor_, driver_version_}; }

std::size_t SensorDriverScan::RetainedBytes() const {
  return current_text_.capacity() + previous_text_.capacity() + text_before_previous_.capacity() +
         current_head_.capacity() + sensor_.capacity() +
         (driver_version_ ? driver_version_->capacity() : 0);
}

SensorInfo ScanSensorDriver(std::string_view content) {
  SensorDriverScan scan;
  scan.Feed(content);
  return scan.Result();
}

SensorInfo ReadSensorInfo(const FileAccess& files, std::string_view install_dir) {
  const std::string path =
      files.NativePath(std::string(install_dir).append(kSensorDriverRelativePath));
  // Opened for reading only: a driver file that is not there is left not there.
  const auto stream = files.OpenForReading(path);
  if (!stream) return {};
  SensorDriverScan scan;
  std::vector<char> buffer(kReadChunkSize);
  while (const auto count = stream->Read(buffer.data(), buffer.size())) {
    scan.Feed(std::string_view(buffer.data(), count));
  }
  return scan.Result();
}

}  // namespace ordex
