#pragma once

#include <string>
#include <string_view>

namespace ordex {

class FileAccess;

inline constexpr std::string_view kHwInfRelativePath = "\\ROBOTER\\INIT\\hw_inf.ini";

// The interpolation cycle time from the content of the hardware ini file: "system clock" times
// "layer2", divided by 1000, as the shortest decimal text. Throws Error naming the line when a
// value is not a number or leaves the 32-bit range.
std::string IpoTimeFromText(std::string_view ini_content, char decimal_separator);

// Reads `install_dir` + "\ROBOTER\INIT\hw_inf.ini"; a missing file is an Error.
std::string ReadIpoTime(const FileAccess& files, std::string_view install_dir,
                        char decimal_separator);

}  // namespace ordex
