// The standard edition's format: one floppy image over a whole USB disk, from sector 0, written while the disk's
// volumes are held exclusively so that the system neither refuses the writes nor writes its cached copy of the
// old file system over the new one afterwards.
#pragma once

#include "floppy/floppy.h"
#include "sys/sys.h"

// Takes the disk's volumes (driveLetters, "E:F:"), writes the image of `kind` at sector 0 of disk (open for reading
// and writing, owned by the caller) and gives the volumes back before it returns, so the caller's device restart
// finds them unlocked. Ends at kLockVolumes (nothing written) or as WriteFloppyImage does.
RunOutcome FormatDiskAsFloppy(SysHandle disk, const char* driveLetters, FloppyKind kind, DosVersion dos,
                              RunControl* run = nullptr);
