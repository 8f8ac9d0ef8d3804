// The three floppy kinds a volume here can be: their geometry table and where their areas lie.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fat/fat.h"

// The order of the kind lists of the pages and of the command line's names.
enum class FloppyKind { k720K = 0, k1200K = 1, k1440K = 2 };
constexpr int kFloppyKindCount = 3;

// What differs between the kinds. All of them share 512-byte sectors, 1 reserved sector, 2 FATs, 2 heads and
// 0 hidden sectors.
struct FloppyGeometry {
  uint16_t totalSectors;
  uint8_t sectorsPerCluster;
  uint16_t rootEntries;
  uint8_t media;
  uint16_t sectorsPerFat;
  uint16_t sectorsPerTrack;
};

constexpr uint16_t kFloppyReservedSectors = 1;
constexpr uint8_t kFloppyFatCount = 2;
constexpr uint16_t kFloppyHeads = 2;

// One row per FloppyKind, in its order. The 1.2M kind keeps 2 sectors per cluster with 7 sectors per FAT, as every
// disk this program wrote has; the FAT sectors it does not need stay zero.
inline constexpr FloppyGeometry kFloppyGeometries[kFloppyKindCount] = {
    {1440, 2, 112, 0xF9, 3, 9},
    {2400, 2, 224, 0xF9, 7, 15},
    {2880, 1, 224, 0xF0, 9, 18},
};

// FNV-1a over every field of the rows, each little-endian in declaration order. Row is const FloppyGeometry for
// the build-time value and const volatile FloppyGeometry for the self-check, which must read the table's bytes in
// memory rather than the constants the compiler knows.
template <typename Row>
constexpr uint32_t FloppyGeometryChecksum(Row* rows, size_t count) {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) hash = (hash ^ ((value >> (8 * i)) & 0xFFu)) * 16777619u;
  };
  for (size_t i = 0; i < count; ++i) {
    mix(rows[i].totalSectors, 2);
    mix(rows[i].sectorsPerCluster, 1);
    mix(rows[i].rootEntries, 2);
    mix(rows[i].media, 1);
    mix(rows[i].sectorsPerFat, 2);
    mix(rows[i].sectorsPerTrack, 2);
  }
  return hash;
}
inline constexpr uint32_t kFloppyGeometryChecksum = FloppyGeometryChecksum(kFloppyGeometries, kFloppyKindCount);

inline const FloppyGeometry& GeometryOf(FloppyKind kind) { return kFloppyGeometries[static_cast<int>(kind)]; }
// "720K", "1.2M", "1.44M": the kind's name on the command line and in its messages.
inline const char* FloppyKindName(FloppyKind kind) {
  static constexpr const char* kNames[kFloppyKindCount] = {"720K", "1.2M", "1.44M"};
  return kNames[static_cast<int>(kind)];
}
// Positions inside an image, in sectors from its boot record.
inline uint32_t FirstRootSector(FloppyKind kind) {  // 7, 15, 19
  return kFloppyReservedSectors + kFloppyFatCount * GeometryOf(kind).sectorsPerFat;
}
inline uint32_t FirstDataSector(FloppyKind kind) {  // 14, 29, 33
  return FirstRootSector(kind) + RootDirectorySectors(GeometryOf(kind).rootEntries);
}

// The kind's boot record parameters; the caller adds the label and the boot program.
BootRecordParams FloppyBootRecordParams(FloppyKind kind);
