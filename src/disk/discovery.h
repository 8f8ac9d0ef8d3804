// Discovery of the removable USB disks: the drive letters of the system, the volumes on USB disks among them,
// grouped by physical disk into one RemovableDisk record each. Each page keeps its own table of 32 slots.
#pragma once

#include <cstdint>
#include <string>

// One physical USB disk. Texts are zero-terminated and sized one above their longest content, so that every text
// is cut to its field and nothing runs past it.
struct RemovableDisk {
  char deviceName[20] = {};          // "physicaldrive%d": what the sector I/O opens for the whole disk
  uint32_t bytesPerSector = 0;       // from the capacity query; 0 when it failed
  uint32_t sectorCount = 0;          // last block address + 1; 0 when it failed
  uint8_t fatKind = 0;               // kept by the USB disk format page (1 FAT12, 2 FAT16)
  char description[100] = {};        // the volume texts, "E:(1950.3M,FAT16) " each, in drive-letter order
  int32_t driveNumber = 255;         // physical drive number; 255 in an empty slot
  char pdoName[100] = {};            // physical device object name of the disk's device node
  char volumeDevice[50] = {};        // NT device name behind volumeName
  char driveLetters[104] = {};       // "E:F:"
  int32_t serviceActive = 0;         // 1 when the multi-floppy filter answers on the disk
  uint64_t partitionStart = 0;       // first drive layout entry, in 512-byte sectors
  uint64_t partitionLength = 0;
  char productName[100] = {};        // "Generic Flash Disk"
  char hardwareKey[205] = {};        // "VEN_Generic&PROD_Flash_Disk"
  char volumeName[104] = {};         // first drive letter: "E:"
  uint8_t heads = 0;                 // kept by the USB disk format page
  uint16_t cylinders = 0;
  uint8_t sectorsPerTrack = 0;
};

constexpr int kDiskTableSlots = 32;

// Filled from the first slot without gaps; the first slot with an empty deviceName ends the list.
struct DiskTable {
  RemovableDisk slots[kDiskTableSlots];
};

// Number of filled slots.
int DiskCount(const DiskTable& table);

// Clears the table and fills it with the USB disks now present, in the order of their lowest drive letters.
// Physical drive 0, drives A: and B:, volumes on other buses and devices that are not disks are never listed.
// Nothing is reported: a volume that cannot be opened or queried is left out, a query that fails leaves its
// fields zero or empty.
void DiscoverDisks(DiskTable* table);

// Finds the disk interface whose device path holds the slot's hardwareKey (with "\" and "/" as "#", case
// ignored) and fills pdoName from its device node and volumeDevice from volumeName ("E:"). Both stay empty when
// nothing matches.
void FindDiskInterface(RemovableDisk* slot, const char* volumeName);

// The text without leading and trailing spaces and tabs, at most 999 characters.
std::string TrimBlanks(const char* text);
