// Exclusive access to a disk's volumes around a run of raw writes to the whole disk.
//
// From Windows Vista on, the system refuses writes through a disk handle into a mounted file system unless that
// volume is locked or dismounted. Before a run of raw writes the program therefore opens each of the disk's volumes,
// flushes it, locks it and dismounts it, and keeps those handles until the writes end; then it unlocks and closes
// them, before the device restart that makes the system read the new file system. On Windows 2000 and XP the lock
// is harmless and keeps the volume's cache from writing stale data over what was just written.
#pragma once

#include <vector>

#include "sys/sys.h"

// The locked volumes of one disk. Unlocked and closed when it goes out of scope.
struct ExclusiveVolumes {
  std::vector<SysHandle> handles;
  ExclusiveVolumes() = default;
  ExclusiveVolumes(const ExclusiveVolumes&) = delete;
  ExclusiveVolumes& operator=(const ExclusiveVolumes&) = delete;
  ExclusiveVolumes(ExclusiveVolumes&& other) noexcept : handles(std::move(other.handles)) { other.handles.clear(); }
  ExclusiveVolumes& operator=(ExclusiveVolumes&& other) noexcept;
  ~ExclusiveVolumes();
};

// Takes every volume in driveLetters ("E:F:"): flush, lock (retried a few times over about two seconds while
// another program lets go), and once all are locked, dismount. A volume that is no longer there is skipped. When
// one cannot be locked, everything taken so far is released, nothing has been dismounted, and the result is false:
// the caller must not write, and tells the user the disk is in use. No letters (null or empty) take nothing.
bool TakeExclusiveVolumes(const char* driveLetters, ExclusiveVolumes* volumes);

// Unlocks and closes the volumes (also done by the destructor).
void ReleaseExclusiveVolumes(ExclusiveVolumes* volumes);

// Test seam: while set, TakeExclusiveVolumes takes nothing and succeeds, as the program did before it locked.
void DisableVolumeLockingForTesting(bool disabled);
