#include "floppy/diskformat.h"

#include "disk/runcontrol.h"
#include "disk/volumelock.h"

RunOutcome FormatDiskAsFloppy(SysHandle disk, const char* driveLetters, FloppyKind kind, DosVersion dos,
                              RunControl* run) {
  ExclusiveVolumes volumes;
  if (!TakeExclusiveVolumes(driveLetters, &volumes)) return RunOutcome().EndAt(RunStep::kLockVolumes);
  // The system files are copied inside the run too: their sectors lie in the volume as well.
  RunExpect(run, FloppyImageWriteBytes(kind));
  RunOutcome outcome = WriteFloppyImage(disk, 0, kind, "", dos, nullptr, run);
  ReleaseExclusiveVolumes(&volumes);
  return outcome;
}
