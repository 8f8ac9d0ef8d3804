// Sector 0 of an untrusted disk: the partition table reading and the boot record check, and the drive layout the
// program gets for it.
#include <cstddef>
#include <cstdint>

#include "fat/fat.h"
#include "disk/partition.h"
#include "disk/queries.h"
#include "fuzz_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::vector<uint8_t>> sectors = InputSectors(data, size, 1);
  const uint8_t* sector = sectors[0].data();
  // The disk's size comes from the input too, so entries can end inside it, at its end or past it.
  const uint64_t diskSectors = size > 512 ? GetLe32(sectors[0].data() + 440) % 100000 : 20000;
  PartitionTable table = ReadPartitionTable(sector, diskSectors);
  if (table.kind == PartitionTableKind::kTable && !table.slots[table.firstValid].valid) __builtin_trap();
  (void)IsFatBootRecord(sector);

  FreshStick(diskSectors + 1);
  SimWriteRaw(1, 0, sectors[0]);
  uint32_t bytesPerSector = 0, sectorCount = 0;
  uint64_t start = 0, length = 0;
  QueryCapacityAndLayout("physicaldrive1", &bytesPerSector, &sectorCount, &start, &length);
  return 0;
}
