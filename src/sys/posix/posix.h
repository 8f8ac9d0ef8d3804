// The platform seam over this Linux machine's own files and block devices: what the `korvane` tool runs on.
//
// The tool works on one disk per run, an image file or a whole USB block device, which the program then reaches as
// physical drive 1 ("\\.\PhysicalDrive1") through the seam (sys/sys.h), with the same calls it makes on Windows.
// A volume of that disk can be given a drive letter ("\\.\E:"), a window on the disk's sectors. Other paths are
// the host's files, relative ones under the current directory set here. There is no device installer, registry
// or filter driver on this side: those calls fail with ERROR_NOT_SUPPORTED, the filter's requests with
// ERROR_INVALID_FUNCTION, as on a Windows machine without the driver.
//
// Locking: the tool itself holds the disk for the whole run (an exclusive open of a block device, an exclusive
// flock of an image file, shared for reading), so a volume lock through the seam succeeds on a disk opened for
// writing and a dismount has nothing to do (the tool refuses disks with a mounted partition).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PosixDiskSetup {
  std::string path;             // image file or block device
  std::string vendor, product;  // as the storage query reports them
  uint32_t sectorSize = 512;
  uint64_t sectorCount = 0;     // 0: the file's size / sector size
  bool grow = false;            // extend the image file to sectorCount sectors (sparse; never shortened)
  bool readOnly = false;        // opened for reading only: every write fails with access denied
};

// Opens the run's disk as physical drive 1, in place of any disk opened before (its volumes and what the program
// traced go with it). False with errno set when the file cannot be opened or extended.
bool PosixOpenDisk(const PosixDiskSetup& setup);
// A drive letter for sectors [start, start + count) of the disk (count 0: up to its end).
void PosixAddVolume(char letter, uint64_t start, uint64_t count);

// What the writes through the seam changed on the disk: every sector that any byte of a write reached, a write the
// host took only part of included (a full file system, a file size limit).
struct PosixDiskWrites {
  uint64_t sectorsWritten = 0;
  uint64_t lowestSector = UINT64_MAX;
  uint64_t highestSector = 0;
};
PosixDiskWrites PosixWrites();
void PosixResetWrites();
// Sectors of the disk read directly, past the seam; empty when they lie beyond its end.
std::vector<uint8_t> PosixReadRaw(uint64_t sector, uint32_t count);

// The program's debug output (OutputDebugString), also echoed to stderr while KORVANE_TRACE is set.
std::vector<std::string> PosixDebugOutput();
// The directory relative paths are found under (GetCurrentDirectory); the process's own until set.
void PosixSetCurrentDirectory(const std::string& directory);
// The OEM code page labels and 8.3 names are kept in (437 until set).
void PosixSetOemCodePage(uint32_t codePage);
