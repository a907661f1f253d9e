#include "report/summary_file.h"

#include "core/text.h"
#include "platform/file_access.h"

namespace ordex {

std::array<SummaryLine, 7> SummaryLines(const ControllerInfo& info) {
  return {{
      {"Version: ", LineBreaksAsSpaces(info.DriverVersion)},
      {"Steuerung: ", LineBreaksAsSpaces(info.Controller)},
      {"BSVersion: ", LineBreaksAsSpaces(info.BaseRelease)},
      {"Name: ", LineBreaksAsSpaces(info.ComputerName)},
      {"IPO: ", LineBreaksAsSpaces(info.IpoTime)},
      {"Zusatz-Achsen: ", LineBreaksAsSpaces(info.ExAxNum)},
      {"Sensor: ", LineBreaksAsSpaces(info.Sensor)},
  }};
}

std::string SummaryFileContent(const ControllerInfo& info) {
  std::string content;
  for (const auto& [key, value] : SummaryLines(info))
    content.append(key).append(value).append("\r\n");
  return content;
}

std::string SummaryFilePath(const FileAccess& files, std::string_view install_dir) {
  return files.NativePathBelow(install_dir, kSummaryRelativePath);
}

FileStatus WriteSummaryFile(const FileAccess& files, std::string_view install_dir,
                            const ControllerInfo& info) {
  return files.TryRewriteFile(SummaryFilePath(files, install_dir), SummaryFileContent(info),
                              NewFileAccess::kEveryInteractiveUser);
}

}  // namespace ordex
