// The checks of a verifying run (disk/runcontrol.h), made through the sector layer: the disk's capacity before the
// first write, and a read-back of what the run wrote after the last.
#pragma once

#include <cstdint>

#include "disk/runcontrol.h"
#include "sys/sys.h"

// What a read-back or a capacity check found. badSector is the first sector that does not hold what was written
// (or could not be read).
struct VerifyResult {
  bool ok = true;
  bool readFailed = false;
  uint64_t badSector = 0;
};

// Reads back every sector the run recorded and compares it with what was written last to it. The disk's buffers
// are flushed first, so the disk itself answers. The read-back counts in the run's progress.
VerifyResult VerifyRunWrites(SysHandle disk, RunControl* run);

// Checks that the disk keeps what is written anywhere in first .. first + count - 1 before a run writes there: the
// sectors at spread places (each power of two and each sixteenth of the area) are read, a marker that names each
// place is written to all of them, read back, and the old contents are written back. A disk that claims more than
// it holds (it wraps round to its start, or drops writes past its real end) shows another place's marker or its old
// bytes. No byte of the disk changes on a sound disk. A stop asked for while it runs waits for the old contents to
// go back; the run's capacityChecked then learns which sectors they could not. The check's own writes are neither
// counted nor recorded in the run.
VerifyResult CheckDiskCapacity(SysHandle disk, uint32_t first, uint32_t count, RunControl* run);
