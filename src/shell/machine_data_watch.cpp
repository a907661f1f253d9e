#include "shell/machine_data_watch.h"

#include <utility>

#include "core/error.h"
#include "platform/file_access.h"

namespace ordex {

MachineDataReading MachineDataWatch::ReadAtStartUp(const std::string& target_path,
                                                   const StartUpPatience& patience) {
  target_path_ = target_path;
  native_path_ = machine_.Files().NativePath(target_path_);
  // One loop with one deadline for every way a save can look: whatever kept the last try from a
  // whole reading is what start-up ends with.
  MachineDataLook last = patience.Retry(
      [&] { return ReadOnce(); },
      [](const MachineDataLook& look) { return look.reading && !look.reading->empty_file; });
  if (!last.reading) {
    const Condition& condition = *last.condition;
    if (condition.kind == ConditionKind::kMachineDataChanging) {
      throw Error(condition.file + " keeps changing while it is read");
    }
    throw Error(condition.detail);
  }
  empty_at_start_ = last.reading->empty_file;
  last_time_ = last.reading->time;
  return std::move(*last.reading);
}

MachineDataLook MachineDataWatch::Look() {
  const FileAccess& files = machine_.Files();
  try {
    const auto time = files.ModificationTime(native_path_);
    if (!time) {
      native_path_ = files.NativePath(target_path_);
      return Found(ConditionKind::kMachineDataMissing, files.MissingFileError(native_path_).what());
    }
    if (*time == last_time_) {
      // Taken empty at start-up and not saved since: still empty, which lasts if no one saves it.
      if (empty_at_start_) return Found(ConditionKind::kMachineDataEmpty, "");
      return {};
    }
    MachineDataLook look = ReadOnce();
    if (!look.reading) return look;
    // An empty file is one being saved in place (truncated, not yet written): it holds no count
    // worth showing or counting.
    if (look.reading->empty_file) return Found(ConditionKind::kMachineDataEmpty, "");
    last_time_ = look.reading->time;
    look.first_known = std::exchange(empty_at_start_, false);
    return look;
  } catch (const BusyFileError& e) {
    return Found(ConditionKind::kMachineDataBusy, e.what());
  } catch (const Error& e) {
    return Found(ConditionKind::kMachineDataUnreadable, e.what());
  }
}

MachineDataLook MachineDataWatch::ReadOnce() const {
  const FileAccess& files = machine_.Files();
  try {
    auto reading = ReadExAxNum(files, native_path_);
    // The time is taken before the file is opened and again after it was read: a save that
    // lands in between shows as a changed time, and the half-read content is not used.
    const auto after = files.ModificationTime(native_path_);
    if (reading && after == reading->time) return {std::move(reading), std::nullopt};
    // Nothing read whole: the file is being saved (deleted and written anew, or written while
    // it was read), or it is gone.
    if (after) return Found(ConditionKind::kMachineDataChanging, "");
    return Found(ConditionKind::kMachineDataMissing, files.MissingFileError(native_path_).what());
  } catch (const BusyFileError& e) {
    return Found(ConditionKind::kMachineDataBusy, e.what());
  }
}

MachineDataLook MachineDataWatch::Found(ConditionKind kind, std::string detail) const {
  return {std::nullopt, Condition{kind, native_path_, std::move(detail)}};
}

}  // namespace ordex
