#include "shell/machine_data_watch.h"

#include <tuple>
#include <utility>

#include "core/error.h"
#include "platform/file_access.h"

namespace ordex {

MachineDataReading MachineDataWatch::ReadAtStartUp(const std::string& target_path,
                                                   const StartUpPatience& patience) {
  target_path_ = target_path;
  native_path_ = machine_.Files().NativePath(target_path_);
  // One loop with one deadline for every way a save can look: whatever kept the last try from a
  // whole reading confirmed by the try before it is what start-up ends with.
  bool read_before = false;
  std::string content_before;
  const auto attempt = [&] {
    MachineDataLook look = ReadOnce();
    const bool confirmed = look.reading && read_before && look.reading->content == content_before;
    read_before = look.reading.has_value();
    if (read_before) content_before = look.reading->content;
    return std::pair{std::move(look), confirmed};
  };
  auto [last, confirmed] = patience.Retry(
      attempt, [](const auto& tried) { return tried.second && !tried.first.reading->empty_file; });
  // A file first read whole by the patience's last try is a save that just ended: one more
  // pause shows whether it stays so.
  if (last.reading && !last.reading->empty_file && !confirmed) {
    machine_.Sleep(kStartUpPause);
    std::tie(last, confirmed) = attempt();
  }
  if (!last.reading || !(confirmed || last.reading->empty_file)) {
    if (!last.reading && last.condition->kind != ConditionKind::kMachineDataChanging) {
      throw Error(last.condition->detail);
    }
    throw Error(native_path_ + " keeps changing while it is read");
  }
  empty_at_start_ = last.reading->empty_file;
  last_time_ = last.reading->time;
  last_content_ = last.reading->content;
  read_again_ = Recent(last_time_);
  return std::move(*last.reading);
}

MachineDataLook MachineDataWatch::Look() {
  const FileAccess& files = machine_.Files();
  try {
    const auto time = files.ModificationTime(native_path_);
    if (!time) {
      native_path_ = files.NativePath(target_path_);
      return Interrupted(
          Found(ConditionKind::kMachineDataMissing, files.MissingFileError(native_path_).what()));
    }
    if (*time == last_time_ && !read_again_) {
      // Taken empty at start-up and not saved since: still empty, which lasts if no one saves it.
      if (empty_at_start_) return Found(ConditionKind::kMachineDataEmpty, "");
      return {};
    }
    MachineDataLook look = ReadOnce();
    if (!look.reading) return Interrupted(std::move(look));
    // An empty file is one being saved in place (truncated, not yet written): it holds no count
    // worth showing or counting.
    if (look.reading->empty_file) return Interrupted(Found(ConditionKind::kMachineDataEmpty, ""));
    return Weigh(std::move(*look.reading));
  } catch (const BusyFileError& e) {
    return Interrupted(Found(ConditionKind::kMachineDataBusy, e.what()));
  } catch (const Error& e) {
    return Interrupted(Found(ConditionKind::kMachineDataUnreadable, e.what()));
  }
}

// A whole read. The content of the reading taken last is taken again at once: a save of the
// same content, or one caught before it wrote anything new, changes nothing. New content
// counts only when the read before found it too; until then it is a file being changed now.
MachineDataLook MachineDataWatch::Weigh(MachineDataReading reading) {
  read_again_ = Recent(reading.time);
  if (reading.content != last_content_ && reading.content != unconfirmed_) {
    unconfirmed_ = std::move(reading.content);
    read_again_ = true;
    return Found(ConditionKind::kMachineDataChanging, "");
  }
  unconfirmed_.reset();
  // Read again only because the stamp was recent, and nothing saved since.
  if (reading.time == last_time_ && reading.content == last_content_) return {};
  last_time_ = reading.time;
  last_content_ = reading.content;
  MachineDataLook look{std::move(reading), std::nullopt};
  look.first_known = std::exchange(empty_at_start_, false);
  return look;
}

// No whole reading this time: new content read before must be read twice in a row afresh, and
// a file that may have been saved under an unmoved stamp is read on the next look.
MachineDataLook MachineDataWatch::Interrupted(MachineDataLook look) {
  unconfirmed_.reset();
  read_again_ = true;
  return look;
}

bool MachineDataWatch::Recent(FileTime time) const {
  const auto age = machine_.Files().AgeOfStamp(time);
  return age <= kCoarsestStampResolution && age >= -kCoarsestStampResolution;
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
