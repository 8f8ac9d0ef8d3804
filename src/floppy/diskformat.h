// The standard edition's format: one floppy image over a whole USB disk, from sector 0, written while the disk's
// volumes are held exclusively so that the system neither refuses the writes nor writes its cached copy of the
// old file system over the new one afterwards.
#pragma once

#include "floppy/floppy.h"
#include "sys/sys.h"

enum DiskFormatResult : int {
  kDiskFormatFailed = 0,   // the image could not be written completely
  kDiskFormatWritten = 1,
  kDiskFormatInUse = 2,    // a volume of the disk could not be locked: nothing was written
};

// Takes the disk's volumes (driveLetters, "E:F:"), writes the image of `kind` at sector 0 of disk (open for reading
// and writing, owned by the caller) and gives the volumes back before it returns, so the caller's device restart
// finds them unlocked.
DiskFormatResult FormatDiskAsFloppy(SysHandle disk, const char* driveLetters, FloppyKind kind, DosVersion dos,
                                    RunControl* run = nullptr);
