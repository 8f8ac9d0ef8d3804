#include "disk/partition.h"

#include "fat/fat.h"

bool IsFatBootRecord(const uint8_t* s) {
  if (s[bpb::kSignature] != 0x55 || s[bpb::kSignature + 1] != 0xAA) return false;
  if (s[0] != 0xEB && s[0] != 0xE9) return false;
  uint32_t bytesPerSector = GetLe16(s + bpb::kBytesPerSector);
  uint32_t sectorsPerCluster = s[bpb::kSectorsPerCluster];
  bool sizeOk = bytesPerSector == 512 || bytesPerSector == 1024 || bytesPerSector == 2048 || bytesPerSector == 4096;
  return sizeOk && sectorsPerCluster != 0 && (sectorsPerCluster & (sectorsPerCluster - 1)) == 0 &&
         s[bpb::kNumberOfFats] != 0;
}

PartitionTable ReadPartitionTable(const uint8_t* s, uint64_t diskSectors) {
  PartitionTable table;
  if (s[bpb::kSignature] != 0x55 || s[bpb::kSignature + 1] != 0xAA || IsFatBootRecord(s)) return table;
  table.kind = PartitionTableKind::kNoValidEntry;
  for (int i = 0; i < kPartitionSlots; ++i) {
    const uint8_t* e = s + kPartitionTableOffset + 16 * i;
    PartitionSlot& slot = table.slots[i];
    slot.status = e[0];
    slot.type = e[4];
    slot.start = GetLe32(e + 8);
    slot.sectors = GetLe32(e + 12);
    slot.valid = (slot.status == 0x00 || slot.status == 0x80) && slot.type != 0 && slot.start != 0 &&
                 slot.sectors != 0 && uint64_t{slot.start} + slot.sectors <= diskSectors;
    if (slot.valid && table.firstValid < 0) {
      table.firstValid = i;
      table.kind = PartitionTableKind::kTable;
    }
  }
  return table;
}
