// The three FAT12 floppy kinds and the writer that lays one complete, empty floppy image at any sector of a disk:
// DBR, both FATs, root directory with an optional volume label entry, and the filled data area; optionally made
// bootable with the DOS system files (floppy/sysfiles.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sys/sys.h"

// The order of the pages' kind lists.
enum class FloppyKind { k720K = 0, k1200K = 1, k1440K = 2 };
constexpr int kFloppyKindCount = 3;

// Any value but 1 counts as DOS 7.1 where a boot program is chosen; kDosNone writes no system files.
enum DosVersion : int { kDosNone = 0, kDos622 = 1, kDos71 = 2 };

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

const FloppyGeometry& GeometryOf(FloppyKind kind);
// Positions inside an image, in sectors from its DBR.
uint32_t FirstRootSector(FloppyKind kind);  // 7, 15, 19
uint32_t RootDirectorySectors(FloppyKind kind);  // 7, 14, 14
uint32_t FirstDataSector(FloppyKind kind);  // 14, 29, 33

// The volume label field of every 1.2M DBR; the label of a 1.2M image goes only into its root directory.
constexpr char kNoNameLabel[] = "NO NAME    ";
constexpr size_t kMaxLabelLength = 11;

// Builds the 512-byte DBR of an image: the kind's BPB, the label in the volume label field (spaces after it), the
// DOS 6.22 boot program for kDos622 and the DOS 7.1 one for anything else, 55 AA at 510. A label longer than 11
// characters is cut to 11; a null label counts as empty.
void BuildFloppyDbr(FloppyKind kind, const char* label, DosVersion dos, uint8_t* dbr);

// The image as it goes to the disk, all but its last sector, built in memory; kept from one image of a batch to the
// next, so the data area is filled once.
struct FloppyImageBuffer {
  int kind = -1;  // the kind whose data area `bytes` holds; -1 none yet
  std::vector<uint8_t> bytes;
};

// Writes one image with its DBR at startSector: 1 when all of it was written, 0 when it was not. The image goes out
// in one write from startSector (the DBR's place zero, both FATs, the root directory with the label entry, the
// data area filled with F6; the image's last sector is left as it was), then the system files, and the DBR last:
// an image cut short anywhere has no valid DBR, so it never passes for a formatted floppy. With a DOS version,
// system files that cannot go into the image give 0 before anything is written; after the first write, any failed
// transfer ends the image at once with 0, and what was written before stays. Never writes outside
// startSector .. startSector + total sectors - 1.
// label: 0 to 11 characters, written unchanged; empty means no volume label entry.
int WriteFloppyImage(SysHandle disk, uint32_t startSector, FloppyKind kind, const char* label, DosVersion dos,
                     FloppyImageBuffer* buffer = nullptr);
// What WriteFloppyImage writes without system files, in bytes (the DBR's sector counted twice).
uint64_t FloppyImageWriteBytes(FloppyKind kind);
