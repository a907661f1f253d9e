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

// Makes room in `text` for `length` bytes, at least doubling its storage when it grows, but to
// no more than `limit` bytes (std::string::reserve may take up to twice what it is asked for,
// which would loosen the scan's bound on its memory).
void MakeRoom(std::string& text, std::size_t length, std::size_t limit) {
  if (length <= text.capacity()) return;
  std::string grown;
  grown.reserve(std::min(limit, std::max(2 * text.capacity(), length)));
  grown.append(text);
  text.swap(grown);
}

// The kept tail of `front` followed by `back`, into `text`, reusing its storage.
void AssignKeptTail(std::string& text, std::string_view front, std::string_view back) {
  back = KeptTail(back);
  front = front.substr(front.size() - std::min(front.size(), kKept - back.size()));
  text.clear();
  MakeRoom(text, front.size() + back.size(), kKept);
  text.append(front).append(back);
}

// Appends `piece` to `text`, keeping at least its last kKept bytes. The front is dropped in bulk
// only when the text would pass twice that, so the work per byte fed stays constant and the
// text never grows beyond 2 * kKept, nor does its storage.
void AppendKeepingTail(std::string& text, std::string_view piece) {
  if (piece.size() >= kKept) {
    AssignKeptTail(text, {}, piece);
    return;
  }
  if (text.size() + piece.size() > 2 * kKept) text.erase(0, text.size() + piece.size() - kKept);
  MakeRoom(text, text.size() + piece.size(), 2 * kKept);
  text.append(piece);
}

// `sensor` <- the near text without its spaces, "_", and the far text: with a ".", its first two
// "."-separated pieces, each without its spaces ("2.0.4.15" gives "2.0", "7 . 1 . 3" gives
// "7.1"); without one, the whole of it without its spaces. Built in the storage `sensor` has.
void AssignSensor(std::string& sensor, std::string_view near_text, std::string_view far_text) {
  const auto dot = far_text.find('.');
  std::string_view first_piece = far_text;
  std::string_view second_piece;
  if (dot != std::string_view::npos) {
    first_piece = far_text.substr(0, dot);
    second_piece = far_text.substr(dot + 1);
    second_piece = second_piece.substr(0, second_piece.find('.'));
  }
  near_text = TrimSpaces(near_text);
  first_piece = TrimSpaces(first_piece);
  second_piece = TrimSpaces(second_piece);
  sensor.clear();
  MakeRoom(sensor, near_text.size() + first_piece.size() + second_piece.size() + 2, 2 * kKept + 2);
  sensor.append(near_text).append("_").append(first_piece);
  if (dot != std::string_view::npos) sensor.append(".").append(second_piece);
}

std::size_t LastNulBefore(std::string_view bytes, std::size_t end) {
  return bytes.substr(0, end).rfind('\0');
}

}  // namespace

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

// The text that the NUL at `end` of `bytes` ends, as far as it is kept: a view into `bytes`, or,
// when it began in earlier pieces, into `joined`, which then holds it.
std::string_view SensorDriverScan::TextRunningInto(std::string_view bytes, std::size_t end,
                                                   std::string& joined) const {
  const std::size_t nul = LastNulBefore(bytes, end);
  if (nul != std::string_view::npos) return KeptTail(bytes.substr(nul + 1, end - nul - 1));
  AssignKeptTail(joined, open_text_, bytes.substr(0, end));
  return joined;
}

void SensorDriverScan::OnVersionMarker(std::string_view bytes, std::size_t at,
                                       SensorInfo& found) const {
  std::string near_joined;
  std::string far_joined;
  const std::string_view near_text = TextRunningInto(bytes, at, near_joined);
  const std::size_t near_nul = LastNulBefore(bytes, at);
  const std::string_view far_text = near_nul == std::string_view::npos
                                        ? KeptTail(last_text_)
                                        : TextRunningInto(bytes, near_nul, far_joined);
  AssignSensor(found.sensor, near_text, far_text);
}

void SensorDriverScan::OnFormatMarker(std::string_view bytes, std::size_t at,
                                      SensorInfo& found) const {
  std::string joined;
  found.driver_version.emplace(TrimSpaces(TextRunningInto(bytes, at, joined)));
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
    AssignKeptTail(last_text_, {}, bytes.substr(nul_before + 1, last_nul - nul_before - 1));
  }
  AssignKeptTail(open_text_, {}, bytes.substr(last_nul + 1));
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
  const std::string path = files.NativePathBelow(install_dir, kSensorDriverRelativePath);
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
