// Makes a freshly formatted FAT12 or FAT16 volume bootable: copies IO.SYS, MSDOS.SYS and COMMAND.COM, in this
// order, as the first files of its root directory, stored contiguously from cluster 2. The boot record is already
// on the disk; only file data, FAT entries and directory entries are written.
#pragma once

#include <cstdint>

#include "floppy/floppy.h"
#include "sys/sys.h"

// The source files: the current directory + "\SysFile\OS6A" .. "OS6C" for DOS 6.22 (dos == kDos622), else
// "\SysFile\OS7A" .. "OS7C".
constexpr uint32_t kSysFilePathSize = 260;
// Builds the path of source file `index` (0 IO.SYS, 1 MSDOS.SYS, 2 COMMAND.COM). False, with an empty or cut path
// in `path`, when the current directory is unknown or the whole path does not fit in 259 characters.
bool SysFileSourcePath(DosVersion dos, int index, char (&path)[kSysFilePathSize]);

// Whether the three source files can go into the empty volume whose boot record (512 bytes) will lie at
// startSector, with a volume label entry in its root directory (labelEntry) or without: a layout that can be
// written safely, room for three entries, every file there and readable, below 4 GiB, and all of them together
// within the clusters the FAT can chain. Writers ask before their first write, so a set of files that cannot be
// used leaves the disk as it was.
bool SystemFilesFit(DosVersion dos, uint32_t startSector, const uint8_t* bootRecord, bool labelEntry);

// How a transfer ended: done, or the step that stopped it. Every failure before kFatWriteFailed leaves the FAT and
// the root directory as they were.
// kLayoutRefused: the boot record describes no volume that can be written safely; kRootFull: no room for three
// entries; kSourceUnusable: a file could not be opened, asked for its size or placed in the volume;
// kSourceReadFailed: a file gave fewer bytes than its size.
enum class SysFilesTransfer {
  kDone, kLayoutRefused, kRootReadFailed, kRootFull, kFatReadFailed, kSourceUnusable, kSourceReadFailed,
  kDataWriteFailed, kFatWriteFailed, kRootWriteFailed,
};

// Copies the three files into the empty volume whose boot record (512 bytes, as written) lies at startSector.
// File data goes first; the FAT copies and the root directory are written only after all data is on the disk, so
// a failure on the way leaves no FAT chains or directory entries behind. The trace describes each failure as it
// always has. Every source file it opens is closed again on every path.
SysFilesTransfer TransferSystemFiles(SysHandle disk, uint32_t startSector, DosVersion dos, const uint8_t* bootRecord,
                                     RunControl* run = nullptr);
