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

// Copies the three files into the empty volume whose boot record (512 bytes, as written) lies at startSector.
// File data goes first; the FAT copies and the root directory are written only after all data is on the disk, so
// a failure on the way leaves no FAT chains or directory entries behind.
// Returns 0 when it stopped before writing the FAT or the root directory because the volume's layout, its root
// directory or FAT, or a source file could not be read, opened or placed; 1 otherwise, including later failures
// that only the trace reports. Every source file it opens is closed again on every path.
int TransferSystemFiles(SysHandle disk, uint32_t startSector, DosVersion dos, const uint8_t* bootRecord);
