// Sector 0 of an untrusted disk: the partition table reading, the boot record check and the FAT type rule, directly
// and as the program reads them from a stick (the drive layout it gets, the volume's type), and the size of the
// cluster area, which must never divide by a zero field.
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
  FatType type = FatTypeOfBootSector(sector);
  if (type < kFatUnknown || type > kFat32) __builtin_trap();
  if (ClusterAreaBytes(sector) > uint64_t{0xFFFFFFFF} * 65535 * 255) __builtin_trap();

  FreshStick(diskSectors + 1);
  SimWriteRaw(1, 0, sectors[0]);
  uint32_t bytesPerSector = 0, sectorCount = 0;
  uint64_t start = 0, length = 0;
  QueryCapacityAndLayout("physicaldrive1", &bytesPerSector, &sectorCount, &start, &length);
  if (DetectFatType("E:") != type) __builtin_trap();
  return 0;
}
