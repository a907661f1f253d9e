#include "collectors/sensor_driver.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "core/text.h"
#include "platform/file_access.h"

namespace ordex {
namespace {

// A marker's NUL and the fixed text after it; exact, case-sensitive. The "%s" are literal.
constexpr std::string_view kVersionMarker{"\0%s - Version %s", 16};
constexpr std::string_view kFormatMarker{"\0Dateiformat : %s", 17};

// Both markers hold a '%', a byte that object code holds far more rarely than a NUL, so the scan
// looks for it with memchr and checks for a marker around each one only. These are the
// positions of the '%' counted from the marker's NUL.
constexpr std::size_t kVersionPercentAt = 1;
constexpr std::size_t kFormatPercentAt = 15;
static_assert(kVersionMarker[kVersionPercentAt] == '%' && kFormatMarker[kFormatPercentAt] == '%');

// The bytes at the end of each piece in which a marker may begin that the next piece completes.
constexpr std::size_t kHeldBack = std::max(kVersionMarker.size(), kFormatMarker.size()) - 1;
// Small pieces are gathered up to this length before they are scanned.
constexpr std::size_t kPendingCapacity = 4 * kHeldBack;

constexpr std::size_t kKept = SensorDriverScan::kKeptTextLength;
constexpr std::size_t kReadChunkSize = 64 * 1024;

std::string_view KeptTail(std::string_view text) {
  return text.size() > kKept ? text.substr(text.size() - kKept) : text;
}

// The kept tail of `front` followed by `back`, into `text`, reusing its storage.
void AssignKeptTail(std::string& text, std::string_view front, std::string_view back) {
  if (back.size() >= kKept) {
    text.assign(KeptTail(back));
    return;
  }
  const std::size_t from_front = std::min(front.size(), kKept - back.size());
  text.assign(front.substr(front.size() - from_front));
  text.append(back);
}

std::string KeptTailOf(std::string_view front, std::string_view back) {
  std::string text;
  AssignKeptTail(text, front, back);
  return text;
}

// Appends `piece` to `text`, keeping at least its last kKept bytes. The front is dropped in bulk
// only when the text would pass twice that, so the work per byte fed stays constant and the
// text never grows beyond 2 * kKept, nor does its storage.
void AppendKeepingTail(std::string& text, std::string_view piece) {
  if (piece.size() >= kKept) {
    text.assign(piece.substr(piece.size() - kKept));
    return;
  }
  if (text.size() + piece.size() > 2 * kKept) text.erase(0, text.size() + piece.size() - kKept);
  if (text.size() + piece.size() > text.capacity()) {
    text.reserve(std::min(2 * kKept, std::max(2 * text.capacity(), text.size() + piece.size())));
  }
  text.append(piece);
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

std::size_t LastNulBefore(std::string_view bytes, std::size_t end) {
  return bytes.substr(0, end).rfind('\0');
}

}  // namespace

// The texts grow as long texts come (to at most twice their bound), so that the small driver
// files of real installations cost no large allocations.
SensorDriverScan::SensorDriverScan() = default;

void SensorDriverScan::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    if (pending_.size() <= kHeldBack && bytes.size() >= kHeldBack) {
      // The held-back bytes are complete with the first bytes of this piece; the piece itself is
      // scanned where it lies, without copying it.
      if (!pending_.empty()) {
        const std::size_t complete = pending_.size();
        pending_.append(bytes.substr(0, kHeldBack));
        Scan(pending_, complete);
      }
      Scan(bytes, bytes.size() - kHeldBack);
      pending_.assign(bytes.substr(bytes.size() - kHeldBack));
      return;
    }
    const std::size_t taken = std::min(bytes.size(), kPendingCapacity - pending_.size());
    pending_.append(bytes.substr(0, taken));
    bytes.remove_prefix(taken);
    if (pending_.size() == kPendingCapacity) {
      Scan(pending_, kPendingCapacity - kHeldBack);
      pending_.erase(0, kPendingCapacity - kHeldBack);
    }
  }
}

// Takes the markers that begin in the first `complete` of `bytes` (the rest only completes
// them), then moves the kept texts past those bytes.
void SensorDriverScan::Scan(std::string_view bytes, std::size_t complete) {
  FindMarkers(bytes, complete, found_);
  MoveTextsPast(bytes.substr(0, complete));
}

void SensorDriverScan::FindMarkers(std::string_view bytes, std::size_t complete,
                                   SensorInfo& found) const {
  if (complete == 0) return;
  const char* const begin = bytes.data();
  const char* const end = begin + std::min(bytes.size(), complete + kFormatPercentAt);
  for (const char* at = begin; at < end; ++at) {
    at = static_cast<const char*>(std::memchr(at, '%', static_cast<std::size_t>(end - at)));
    if (at == nullptr) return;
    const auto percent = static_cast<std::size_t>(at - begin);
    // A marker counts in the call in which it begins among the complete bytes: once.
    if (percent >= kVersionPercentAt && percent - kVersionPercentAt < complete &&
        bytes.substr(percent - kVersionPercentAt).starts_with(kVersionMarker)) {
      OnVersionMarker(bytes, percent - kVersionPercentAt, found);
    }
    if (percent >= kFormatPercentAt && percent - kFormatPercentAt < complete &&
        bytes.substr(percent - kFormatPercentAt).starts_with(kFormatMarker)) {
      OnFormatMarker(bytes, percent - kFormatPercentAt, found);
    }
  }
}

// The text that the NUL at `end` of `bytes` ends, as far as it is kept.
std::string SensorDriverScan::TextRunningInto(std::string_view bytes, std::size_t end) const {
  const std::size_t nul = LastNulBefore(bytes, end);
  if (nul == std::string_view::npos) return KeptTailOf(open_text_, bytes.substr(0, end));
  return std::string(KeptTail(bytes.substr(nul + 1, end - nul - 1)));
}

void SensorDriverScan::OnVersionMarker(std::string_view bytes, std::size_t at,
                                       SensorInfo& found) const {
  const std::string near_text = TextRunningInto(bytes, at);
  const std::size_t near_nul = LastNulBefore(bytes, at);
  const std::string far_text = near_nul == std::string_view::npos
                                   ? std::string(KeptTail(last_text_))
                                   : TextRunningInto(bytes, near_nul);
  // Built in storage of its exact length, which the result keeps.
  const std::string short_far_text = ShortenFarText(far_text);
  const std::string_view near_part = TrimSpaces(near_text);
  const std::string_view far_part = TrimSpaces(short_far_text);
  std::string sensor;
  sensor.reserve(near_part.size() + 1 + far_part.size());
  sensor.append(near_part).append("_").append(far_part);
  found.sensor = std::move(sensor);
}

void SensorDriverScan::OnFormatMarker(std::string_view bytes, std::size_t at,
                                      SensorInfo& found) const {
  found.driver_version = std::string(TrimSpaces(TextRunningInto(bytes, at)));
}

// Only the last one or two NULs of the bytes are looked for: whatever lies before them is no
// longer needed.
void SensorDriverScan::MoveTextsPast(std::string_view bytes) {
  const std::size_t last_nul = bytes.rfind('\0');
  if (last_nul == std::string_view::npos) {
    AppendKeepingTail(open_text_, bytes);
    return;
  }
  const std::size_t nul_before = LastNulBefore(bytes, last_nul);
  if (nul_before == std::string_view::npos) {
    AssignKeptTail(last_text_, open_text_, bytes.substr(0, last_nul));
  } else {
    last_text_.assign(KeptTail(bytes.substr(nul_before + 1, last_nul - nul_before - 1)));
  }
  open_text_.assign(KeptTail(bytes.substr(last_nul + 1)));
}

SensorInfo SensorDriverScan::Result() const {
  // The held-back bytes end the content: a marker in them is complete now or never.
  SensorInfo result = found_;
  FindMarkers(pending_, pending_.size(), result);
  return result;
}

std::size_t SensorDriverScan::RetainedBytes() const {
  return open_text_.capacity() + last_text_.capacity() + pending_.capacity() +
         found_.sensor.capacity() + (found_.driver_version ? found_.driver_version->capacity() : 0);
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
  // Not zeroed: the reads fill it.
  const auto buffer = std::make_unique_for_overwrite<char[]>(kReadChunkSize);
  while (const auto count = stream->Read(buffer.get(), kReadChunkSize)) {
    scan.Feed(std::string_view(buffer.get(), count));
  }
  return scan.Result();
}

}  // namespace ordex
