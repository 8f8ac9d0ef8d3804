// Little-endian fields of boot records and directory entries, the FAT type rule, and FAT time stamps: the small
// pieces every writer and reader of FAT volumes here shares.
#pragma once

#include <cstdint>

#include "sys/sys.h"

inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Offsets of the BIOS parameter block fields in a boot record.
namespace bpb {
constexpr int kJump = 0;
constexpr int kOemName = 3;
constexpr int kBytesPerSector = 11;
constexpr int kSectorsPerCluster = 13;
constexpr int kReservedSectors = 14;
constexpr int kNumberOfFats = 16;
constexpr int kRootEntries = 17;
constexpr int kTotalSectors16 = 19;
constexpr int kMedia = 21;
constexpr int kSectorsPerFat = 22;
constexpr int kSectorsPerTrack = 24;
constexpr int kHeads = 26;
constexpr int kHiddenSectors = 28;
constexpr int kTotalSectors32 = 32;
constexpr int kDriveNumber = 36;
constexpr int kBootSignature = 38;
constexpr int kSerialNumber = 39;
constexpr int kVolumeLabel = 43;
constexpr int kFileSystemType = 54;
constexpr int kBootProgram = 62;
constexpr int kSignature = 510;
}  // namespace bpb

// FAT type codes.
enum FatType : int { kFatUnknown = 0, kFat12 = 1, kFat16 = 2, kFat32 = 3 };

// The rule of the published FAT specification applied to a boot sector: 55 AA at 510, non-zero bytes per sector
// and sectors per cluster, then the cluster count alone decides (below 4085 FAT12, below 65525 FAT16, else FAT32).
FatType FatTypeOfBootSector(const uint8_t* sector);

// Directory entry time stamps: hour x 2048 + minute x 32 + second / 2, and (year - 1980) x 512 + month x 32 + day.
inline uint16_t FatTime(const SysTime& t) {
  return static_cast<uint16_t>(t.hour * 2048 + t.minute * 32 + t.second / 2);
}
inline uint16_t FatDate(const SysTime& t) {
  return static_cast<uint16_t>((t.year - 1980) * 512 + t.month * 32 + t.day);
}
