#pragma once

#include <string>

#include "core/file_time.h"

namespace ordex {

// Everything the program has learned about the controller installation, each value held as the
// text that is shown. A new record has empty strings and a zero time.
struct ControllerInfo {
  std::string DriverVersion;
  std::string Controller;
  std::string BaseRelease;
  std::string ComputerName;
  std::string IpoTime;
  std::string ExAxNum;
  FileTime MachineDataTime;  // compared, never shown or written
  std::string Sensor;

  friend bool operator==(const ControllerInfo&, const ControllerInfo&) = default;
};

}  // namespace ordex
