// What sector 0 of a disk says about where its first partition lies: a partition table (55 AA and four slots),
// or no table at all (no 55 AA, or a FAT boot record: a disk formatted as one volume). A sector that carries 55 AA
// and is not a boot record, yet whose slots describe no partition that fits the disk, is neither: writers refuse
// such a disk instead of taking it for one without a table and overwriting its sector 0.
#pragma once

#include <cstdint>

constexpr int kPartitionSlots = 4;
constexpr int kPartitionTableOffset = 446;

enum class PartitionTableKind { kNone, kTable, kNoValidEntry };

struct PartitionSlot {
  uint8_t status = 0;  // 0x80 active, 0x00 inactive; anything else is not a partition table's
  uint8_t type = 0;    // 0 is an empty slot
  uint32_t start = 0, sectors = 0;
  bool valid = false;  // a known status, a type, a start after sector 0 and an end within the disk
};

struct PartitionTable {
  PartitionTableKind kind = PartitionTableKind::kNone;
  PartitionSlot slots[kPartitionSlots];
  int firstValid = -1;  // the first valid slot (0 to 3), -1 when none is
};

// True when the sector holds a FAT boot record: a jump, a sector size of 512 to 4096 bytes, a power-of-two
// cluster, at least one FAT and 55 AA.
bool IsFatBootRecord(const uint8_t* sector);

// Reads the table of sector 0 (512 bytes) of a disk of diskSectors sectors.
PartitionTable ReadPartitionTable(const uint8_t* sector, uint64_t diskSectors);
