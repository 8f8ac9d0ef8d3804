// The FAT type rule over any boot record, directly and as the program reads it from a volume, and the size of its
// cluster area, which must never divide by a zero field.
#include <cstddef>
#include <cstdint>

#include "fat/fat.h"
#include "disk/queries.h"
#include "fuzz_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::vector<uint8_t>> sectors = InputSectors(data, size, 1);
  FatType type = FatTypeOfBootSector(sectors[0].data());
  if (type < kFatUnknown || type > kFat32) __builtin_trap();
  if (ClusterAreaBytes(sectors[0].data()) > uint64_t{0xFFFFFFFF} * 65535 * 255) __builtin_trap();
  FreshStick(64);
  SimWriteRaw(1, 0, sectors[0]);
  if (DetectFatType("E:") != type) __builtin_trap();
  return 0;
}
