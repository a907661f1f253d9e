#pragma once

#include <array>
#include <string>
#include <string_view>

#include "collectors/controller_info.h"
#include "platform/file_access.h"

namespace ordex {

inline constexpr std::string_view kSummaryRelativePath =
    "\\ROBOTER\\IBGN\\Xoc\\R1\\IBGN\\Tarvex.ini";

// One line of the summary: its key text (with the trailing space) and the value it holds.
struct SummaryLine {
  std::string_view key;
  std::string value;
};

// The summary's seven lines in their order, each value as the file holds it (a line break in
// it becomes a space).
std::array<SummaryLine, 7> SummaryLines(const ControllerInfo& info);

// The seven CR LF lines of the summary file, in the 8-bit code page.
std::string SummaryFileContent(const ControllerInfo& info);

// The summary file's path on this platform: `install_dir` followed by kSummaryRelativePath.
std::string SummaryFilePath(const FileAccess& files, std::string_view install_dir);

// Rewrites the summary file (SummaryFilePath) in place. Returns kBusy when another program holds
// the file, kDenied when this user may not write it; a missing folder, or an open, write or close
// that fails otherwise, throws Error. A summary it creates admits every interactive user: ORDEX
// runs in whoever's session is logged on, and the next one must rewrite what this one created.
FileStatus WriteSummaryFile(const FileAccess& files, std::string_view install_dir,
                            const ControllerInfo& info);

}  // namespace ordex
