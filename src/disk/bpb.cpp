#include "disk/bpb.h"

FatType FatTypeOfBootSector(const uint8_t* s) {
  if (s[bpb::kSignature] != 0x55 || s[bpb::kSignature + 1] != 0xAA) return kFatUnknown;
  uint32_t bytesPerSector = GetLe16(s + bpb::kBytesPerSector);
  uint32_t sectorsPerCluster = s[bpb::kSectorsPerCluster];
  if (bytesPerSector == 0 || sectorsPerCluster == 0) return kFatUnknown;
  uint32_t total = GetLe16(s + bpb::kTotalSectors16);
  if (total == 0) total = GetLe32(s + bpb::kTotalSectors32);
  uint32_t perFat = GetLe16(s + bpb::kSectorsPerFat);
  if (perFat == 0) perFat = GetLe32(s + 36);
  uint32_t rootSectors = (GetLe16(s + bpb::kRootEntries) * 32u + bytesPerSector - 1) / bytesPerSector;
  // Unsigned on purpose: a record whose areas exceed its total wraps to a huge count, as the rule is written.
  uint32_t clusters =
      (total - s[bpb::kNumberOfFats] * perFat - GetLe16(s + bpb::kReservedSectors) - rootSectors) / sectorsPerCluster;
  if (clusters < 4085) return kFat12;
  if (clusters < 65525) return kFat16;
  return kFat32;
}
