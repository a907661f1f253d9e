#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/file_time.h"

namespace ordex {

class FileAccess;

inline constexpr std::string_view kMachineDataRelativePath =
    "\\ROBOTER\\XOC\\R1\\Mada\\$Machine.dat";

// The value text after "$EX_AX_NUM" in the first line that holds it; empty when no line does.
std::string ExAxNumFromText(std::string_view machine_data);

struct MachineDataReading {
  std::string ex_ax_num;
  FileTime time;  // taken before the file was opened
  bool empty_file = false;
  std::string content;  // the whole file as read, to tell one reading from another
};

// Reads the count from the machine data file at `native_path`, with the modification time taken
// before the file was opened. Returns nothing when the file does not exist. A file held by
// another program (pending deletion included) throws BusyFileError; other failures throw Error.
std::optional<MachineDataReading> ReadExAxNum(const FileAccess& files,
                                              const std::string& native_path);

}  // namespace ordex
