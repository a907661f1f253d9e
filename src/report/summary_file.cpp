#include "report/summary_file.h"

#include <array>
#include <utility>

#include "core/text.h"
#include "platform/file_access.h"

namespace ordex {

std::string SummaryFileContent(const ControllerInfo& info) {
  const std::array<std::pair<std::string_view, const std::string*>, 7> lines = {{
      {"Version: ", &info.DriverVersion},
      {"Steuerung: ", &info.Controller},
      {"BSVersion: ", &info.BaseRelease},
      {"Name: ", &info.ComputerName},
      {"IPO: ", &info.IpoTime},
      {"Zusatz-Achsen: ", &info.ExAxNum},
      {"Sensor: ", &info.Sensor},
  }};
  std::string content;
  for (const auto& [key, value] : lines) {
    content.append(key).append(LineBreaksAsSpaces(*value)).append("\r\n");
  }
  return content;
}

FileStatus WriteSummaryFile(const FileAccess& files, std::string_view install_dir,
                            const ControllerInfo& info) {
  const std::string path = files.NativePath(std::string(install_dir).append(kSummaryRelativePath));
  return files.TryRewriteFile(path, SummaryFileContent(info));
}

}  // namespace ordex
