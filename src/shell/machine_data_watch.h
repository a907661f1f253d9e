#pragma once

#include <chrono>
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

// How far apart two saves may lie and still leave the same time stamp: FAT keeps the write time
// to 2 s ("File Times"); NTFS to 100 ns.
inline constexpr std::chrono::seconds kCoarsestStampResolution{2};

// The watch of the machine data file ("$Machine.dat"), from start-up to the last refresh pass:
// where the file is, the time stamp and content of the reading taken last, whether start-up
// took it empty, and every rule about when a reading can be trusted. The controller saves the
// file while ORDEX runs, by rewriting it in place or by writing it anew, so a read may meet it
// missing, empty, held by another program or changing under the read; the watch tells these
// apart and gives its callers only whole readings. All it needs comes through `machine`, which
// must outlive it.
//
// Windows moves a time stamp for sure only when the program that saves closes the file ("File
// Times": "The only guarantee about a file time stamp is that the file time is correctly
// reflected when the handle that makes the change is closed."), so equal stamps around a read
// do not prove that no save was writing: new content counts only once a second read in a row
// finds it unchanged (at start-up after a pause, in a pass on the next pass). And a save within
// the stamp's resolution of the one read last keeps its stamp: after a reading whose stamp lay
// that close to the moment it was read, the next pass reads again though the stamp is unmoved.
class MachineDataWatch {
 public:
  explicit MachineDataWatch(Machine& machine) : machine_(machine) {}

  // Start-up's reading of the file at `target_path` (a target path, see FileAccess), taken once
  // a second read after a pause finds the same content. A file that is missing, held (pending
  // deletion included), empty or changing while it is read is a save in progress, read again
  // with `patience`: one still empty then is taken as it is; one still missing, held or
  // changing throws Error, and so does any other failure at once.
  MachineDataReading ReadAtStartUp(const std::string& target_path, const StartUpPatience& patience);

  // A refresh pass's look: a new reading when the time stamp has moved and the file reads
  // whole, with the content of the reading taken last or with new content read twice in a row.
  // New content read once gives the condition of a file changing; a file that cannot be used
  // just now (missing, empty, held, changing while it is read, unreadable) gives the condition
  // that says why. Either is looked at again on the next call.
  MachineDataLook Look();

  // The file's path on this platform, as looked up last (a folder renamed to another case maps
  // to another one).
  const std::string& native_path() const { return native_path_; }

 private:
  // One read of the file: a reading (of an empty file, too) or why it gave none. A file held by
  // another program is a condition; any other failure throws.
  MachineDataLook ReadOnce() const;
  MachineDataLook Weigh(MachineDataReading reading);
  MachineDataLook Interrupted(MachineDataLook look);
  // The stamp lies so close to now that a save made now could keep it.
  bool Recent(FileTime time) const;
  MachineDataLook Found(ConditionKind kind, std::string detail) const;

  Machine& machine_;
  std::string target_path_;
  std::string native_path_;
  FileTime last_time_;
  std::string last_content_;
  // New content read once, to be read again before it counts.
  std::optional<std::string> unconfirmed_;
  // The next look reads the file even if its stamp has not moved.
  bool read_again_ = false;
  // Start-up took the file empty and no whole reading has come since.
  bool empty_at_start_ = false;
};

}  // namespace ordex
