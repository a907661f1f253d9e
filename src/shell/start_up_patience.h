#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/file_access.h"
#include "platform/file_access_wrapper.h"
#include "platform/machine.h"

namespace ordex {

// How long start-up tries again a file that another program holds, or a machine data file
// caught in the middle of a save, and how long it pauses between tries.
inline constexpr std::chrono::seconds kStartUpPatience{10};
inline constexpr std::chrono::milliseconds kStartUpPause{200};

// The files as start-up sees them. Start-up runs once, right after logon, while the controller
// software may be saving its files and collectors may be reading them: a moment of that must
// not leave ORDEX off until the next logon. So each open, read or rewrite that meets a file held
// by another program (open without sharing, a locked range, deleted while still open) is tried
// again every kStartUpPause until kStartUpPatience has passed; a file held for longer is the
// failure it would be otherwise.
class StartUpPatience : public FileAccessWrapper {
 public:
  explicit StartUpPatience(Machine& machine)
      : FileAccessWrapper(machine.Files()), machine_(machine) {}

  OpenedFile TryOpenForReading(const std::string& native_path) const override;
  FileStatus TryRewriteFile(const std::string& native_path, std::string_view content,
                            NewFileAccess new_file) const override;
  FileStatus ReplaceAtomically(const std::string& native_path,
                               std::string_view content) const override;

  // Runs `attempt` until `done(result)`, pausing in between; once the patience is spent, the
  // last result is returned.
  template <typename Attempt, typename Done>
  std::invoke_result_t<Attempt> Retry(Attempt attempt, Done done) const {
    const auto deadline = machine_.Now() + kStartUpPatience;
    for (;;) {
      auto result = attempt();
      if (done(result) || machine_.Now() >= deadline) return result;
      machine_.Sleep(kStartUpPause);
    }
  }

 private:
  // Runs `write` until the file is no longer busy; still busy once the patience is spent, it
  // throws BusyFileError.
  FileStatus WriteWhenFree(const std::string& native_path,
                           const std::function<FileStatus()>& write) const;

  Machine& machine_;
};

}  // namespace ordex
