#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ordex {

class FileAccess;

inline constexpr std::string_view kSensorDriverRelativePath = "\\ROBOTER\\DRIVERS\\zt_ascii.o";

struct SensorInfo {
  std::string sensor;                         // empty when the file holds no version marker
  std::optional<std::string> driver_version;  // nothing when it holds no format marker
};

// Scans the bytes of a driver file for the two markers. Usable in pieces of any size; memory
// stays bounded whatever the total length.
//
// The file holds texts each ended by a NUL. A format marker is a NUL followed by
// "Dateiformat : %s"; the driver version is the text it ends, from just after the NUL before it
// (or from the start of the file), without leading and trailing spaces. A version marker is a NUL
// followed by "%s - Version %s"; the sensor identification is the text it ends (the near text),
// "_", and the text before that (the far text, shortened to its first two "."-separated pieces).
// The last marker of each kind in the file counts. The results do not depend on how the bytes
// are split into pieces.
//
// Only the last kKeptTextLength bytes of each text are kept, so a text longer than that gives
// its tail.
class SensorDriverScan {
 public:
  static constexpr std::size_t kKeptTextLength = 4096;

  SensorDriverScan();

  void Feed(std::string_view bytes);
  SensorInfo Result() const;

  // The bytes the scan holds on to between pieces; bounded whatever has been fed.
  std::size_t RetainedBytes() const;

 private:
  void AppendToCurrentText(std::string_view piece);
  void EndCurrentText();
  void OnVersionMarker();
  void OnFormatMarker();

  // The text being read, the one the last NUL ended and the one before that, each up to its
  // last kKeptTextLength bytes.
  std::string current_text_;
  std::string previous_text_;
  std::string text_before_previous_;
  // The first bytes of the current text, enough to recognise the fixed text of a marker.
  std::string current_head_;
  bool seen_nul_ = false;

  std::string sensor_;
  std::optional<std::string> driver_version_;
};

SensorInfo ScanSensorDriver(std::string_view content);

// Scans `install_dir` + "\ROBOTER\DRIVERS\zt_ascii.o", opened for reading only. A missing file
// or folder gives an empty result and creates nothing; an unreadable file throws Error.
SensorInfo ReadSensorInfo(const FileAccess& files, std::string_view install_dir);

}  // namespace ordex
