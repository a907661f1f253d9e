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
// Texts up to kKeptTextLength bytes are kept whole; a longer text gives its last kKeptTextLength
// bytes.
class SensorDriverScan {
 public:
  static constexpr std::size_t kKeptTextLength = 64 * 1024;

  void Feed(std::string_view bytes);
  SensorInfo Result() const;

  // The bytes the scan holds on to between pieces; bounded whatever has been fed.
  std::size_t RetainedBytes() const;

 private:
  void Scan(std::string_view bytes, std::size_t complete);
  void FindMarkers(std::string_view bytes, std::size_t complete, SensorInfo& found) const;
  void OnVersionMarker(std::string_view bytes, std::size_t at, SensorInfo& found) const;
  void OnFormatMarker(std::string_view bytes, std::size_t at, SensorInfo& found) const;
  std::string_view TextRunningInto(std::string_view bytes, std::size_t end,
                                   std::string& joined) const;
  void MoveTextsPast(std::string_view bytes);

  // The scan looks for markers in the bytes fed and looks back for the texts they end only where
  // it finds one. The texts that reach back before those bytes are kept from the bytes fed
  // earlier: the text not yet ended by a NUL, and the one the last NUL ended (each up to at least
  // its last kKeptTextLength bytes). They grow only as long texts come, so that the small driver
  // files of real installations cost no large allocations.
  std::string open_text_;
  std::string last_text_;
  // The last bytes fed, held back until the marker that may begin in them is complete.
  std::string pending_;

  SensorInfo found_;
};

SensorInfo ScanSensorDriver(std::string_view content);

// Scans `install_dir` + "\ROBOTER\DRIVERS\zt_ascii.o", opened for reading only. A missing file
// or folder gives an empty result and creates nothing; an unreadable file throws Error.
SensorInfo ReadSensorInfo(const FileAccess& files, std::string_view install_dir);

}  // namespace ordex
