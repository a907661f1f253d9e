#pragma once

#include <optional>
#include <string>

#include "collectors/ex_ax_num.h"
#include "core/file_time.h"
#include "platform/machine.h"
#include "shell/lasting_condition.h"
#include "shell/start_up_patience.h"

namespace ordex {

// What one look at the machine data file gave: a new whole reading, or what kept it from one;
// neither when its time stamp has not moved since the reading taken last.
struct MachineDataLook {
  std::optional<MachineDataReading> reading;
  std::optional<Condition> condition;
  // The reading is the first whole one after start-up took the file empty: the first count
  // known, news for the summary but no change.
  bool first_known = false;
};

// The watch of the machine data file ("$Machine.dat"), from start-up to the last refresh pass:
// where the file is, the time stamp of the reading taken last, whether start-up took it empty,
// and every rule about when a reading can be trusted. The controller saves the file while ORDEX
// runs, by rewriting it in place or by writing it anew, so a read may meet it missing, empty,
// held by another program or changing under the read; the watch tells these apart and gives its
// callers only whole readings. All it needs comes through `machine`, which must outlive it.
class MachineDataWatch {
 public:
  explicit MachineDataWatch(Machine& machine) : machine_(machine) {}

  // Start-up's reading of the file at `target_path` (a target path, see FileAccess). A file that
  // is missing, held (pending deletion included), empty or changing while it is read is a save
  // in progress, read again with `patience`: one still empty then is taken as it is; one still
  // missing, held or changing throws Error, and so does any other failure at once.
  MachineDataReading ReadAtStartUp(const std::string& target_path, const StartUpPatience& patience);

  // A refresh pass's look: a new reading when the time stamp has moved and the file reads
  // whole. A file that cannot be used just now (missing, empty, held, changing while it is read,
  // unreadable) gives the condition that says why, and is looked at again on the next call.
  MachineDataLook Look();

  // The file's path on this platform, as looked up last (a folder renamed to another case maps
  // to another one).
  const std::string& native_path() const { return native_path_; }

 private:
  // One read of the file: a reading (of an empty file, too) or why it gave none. A file held by
  // another program is a condition; any other failure throws.
  MachineDataLook ReadOnce() const;
  MachineDataLook Found(ConditionKind kind, std::string detail) const;

  Machine& machine_;
  std::string target_path_;
  std::string native_path_;
  FileTime last_time_;
  // Start-up took the file empty and no whole reading has come since.
  bool empty_at_start_ = false;
};

}  // namespace ordex
