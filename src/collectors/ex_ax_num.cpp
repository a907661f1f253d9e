#include "collectors/ex_ax_num.h"

#include <utility>

#include "core/text.h"
#include "platform/file_access.h"

namespace ordex {

std::string ExAxNumFromText(std::string_view machine_data) {
  std::string result;
  ForEachLine(machine_data, [&](std::string_view line) {
    if (line.find("$EX_AX_NUM") == std::string_view::npos) return true;
    std::string_view value = line;
    if (const auto equals = line.find('='); equals != std::string_view::npos) {
      value = line.substr(equals + 1);
    }
    value = TrimSpaces(value);
    value = value.substr(0, value.find(';'));
    result = TrimSpaces(value);
    return false;
  });
  return result;
}

std::optional<MachineDataReading> ReadExAxNum(const FileAccess& files,
                                              const std::string& native_path) {
  // The time is taken before the file is opened: a caller who takes it again after the read
  // sees a save that closed in between as a time that moved on. A save still open may not have
  // moved it yet, so only the content read again tells a whole file from a half-written one.
  const auto before = files.ModificationTime(native_path);
  if (!before) return std::nullopt;
  auto stream = files.OpenForReading(native_path);
  if (!stream) return std::nullopt;
  std::string content = ReadToEnd(*stream);
  std::string count = ExAxNumFromText(content);
  const bool empty = content.empty();
  return MachineDataReading{std::move(count), *before, empty, std::move(content)};
}

}  // namespace ordex
