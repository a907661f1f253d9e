#pragma once

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
class SensorDriverScan {
 public:
  void Feed(std::string_view bytes);
  SensorInfo Result() const;

 private:
  // Filled in by the implementation.
};

SensorInfo ScanSensorDriver(std::string_view content);

// Scans `install_dir` + "\ROBOTER\DRIVERS\zt_ascii.o", opened for reading only. A missing file
// or folder gives an empty result and creates nothing; an unreadable file throws Error.
SensorInfo ReadSensorInfo(const FileAccess& files, std::string_view install_dir);

}  // namespace ordex
