// What a disk answers, shared by the two seams that stand in for Windows' storage stack: the simulated machine
// (src/sys/sim) and the one over Linux files and block devices (src/sys/posix). Each answer takes the request's
// buffers as SysDeviceIoControl gets them and sets the last error as Windows does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sys/sys.h"

// One entry of a disk's drive layout, in bytes as Windows reports it.
struct DiskLayoutEntry {
  uint64_t startingOffset = 0;
  uint64_t length = 0;
  uint8_t type = 0;
  uint8_t bootIndicator = 0;
};

// Whether a sector holds a FAT boot record (a disk formatted without a partition table).
bool LooksLikeBootRecord(const uint8_t* sector);
// The layout Windows reads from a disk's sector 0 (`read` false: it could not be read): an MBR's four slots, empty
// ones included, or one partition over the whole disk when sector 0 holds a boot record or nothing.
std::vector<DiskLayoutEntry> LayoutFromSector0(const uint8_t* sector0, bool read, uint64_t sectorCount,
                                               uint32_t sectorSize);

// IOCTL_DISK_GET_DRIVE_LAYOUT: the layout in a DRIVE_LAYOUT_INFORMATION.
bool AnswerDriveLayout(const std::vector<DiskLayoutEntry>& layout, uint32_t sectorSize, void* out, uint32_t outSize,
                       uint32_t* bytesReturned);
// IOCTL_SCSI_PASS_THROUGH with READ CAPACITY (10): the last sector (0xFFFFFFFF past 2 TiB) and the sector size;
// every other command is refused.
bool AnswerReadCapacity(uint64_t sectorCount, uint32_t sectorSize, const void* in, uint32_t inSize, void* out,
                        uint32_t outSize, uint32_t* bytesReturned);

// IOCTL_STORAGE_QUERY_PROPERTY for the device descriptor: who the device says it is.
struct StorageIdentity {
  uint8_t deviceType = 0;  // SCSI peripheral type: 0 disk, 5 CD-ROM
  bool removable = false;
  uint32_t busType = 0;    // STORAGE_BUS_TYPE
  bool hasVendor = true, hasProduct = true;
  std::string vendor, product;  // as the device reports them, blanks kept
};
bool AnswerStorageQuery(const StorageIdentity& identity, const void* in, uint32_t inSize, void* out,
                        uint32_t outSize, uint32_t* bytesReturned);
