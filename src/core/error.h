#pragma once

#include <stdexcept>
#include <string>

namespace ordex {

// The one run-time error of the program. Its message names the thing that failed, for example
// "cannot open /opt/xoc/ROBOTER/INIT/hw_inf.ini: No such file or directory". Only the two entry
// points (start-up and the refresh pass) catch it.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace ordex
