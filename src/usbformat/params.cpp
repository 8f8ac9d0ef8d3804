// The arithmetic of the general formatter: sectors per FAT, the FAT type decision and its refusals, the default
// allocation unit, the disk geometry, and the boot record that carries all of it.
#include <algorithm>
#include <cstring>

#include "boot/boot_programs.h"
#include "fat/fat.h"
#include "usbformat/usbformat.h"

namespace {

constexpr uint8_t kMedia = 0xF8;
constexpr uint32_t kReservedSectors = 1;
constexpr uint32_t kMaxSectorsPerCluster = 128;

// Microsoft's FAT16 cluster size table ("FAT: General Overview of On-Disk Format"), applied to a count of data
// sectors.
struct UnitRow {
  uint32_t maxDataSectors;
  uint32_t sectorsPerCluster;
};
constexpr UnitRow kUnitTable[] = {
    {8400, 1},      {32680, 2},      {262144, 4},     {524288, 8},
    {1048576, 16},  {2097152, 32},   {4194304, 64},   {0xFFFFFFFFu, 128},
};

// The data area of a candidate volume with the sectors per FAT it gets; the BPB keeps 16 bits of the FAT size,
// and the volume is what those bits describe.
FatDataArea CandidateDataArea(uint32_t totalSectors, uint32_t sectorsPerCluster, uint32_t fatCount,
                              uint32_t rootEntries) {
  uint16_t perFat =
      static_cast<uint16_t>(SectorsPerFatFor(totalSectors, kReservedSectors, rootEntries, sectorsPerCluster, fatCount));
  return DataAreaOf(totalSectors, kReservedSectors, rootEntries, sectorsPerCluster, fatCount, perFat);
}

// The sectors of the volume written over totalSectors: all of them, unless its cluster count lies where readers
// disagree on the FAT type (fat.h); then the volume ends early, at the largest size whose count is below that
// range. The sectors after it stay outside the volume.
uint32_t UnambiguousVolumeSectors(uint32_t totalSectors, uint32_t sectorsPerCluster, uint32_t fatCount,
                                  uint32_t rootEntries) {
  FatDataArea area = CandidateDataArea(totalSectors, sectorsPerCluster, fatCount, rootEntries);
  if (!area.hasCluster || area.clusters >= kFat16ClusterLimit) return totalSectors;
  const uint32_t most = UnambiguousClusterCount(area.clusters);
  if (most == area.clusters) return totalSectors;
  // Dropping the extra clusters' sectors can also shrink the FAT, which gives a little back: shorten further
  // until the count is low enough.
  uint32_t sectors = totalSectors - (area.clusters - most) * sectorsPerCluster;
  while (CandidateDataArea(sectors, sectorsPerCluster, fatCount, rootEntries).clusters > most)
    sectors -= sectorsPerCluster;
  // The largest such size: add back single sectors while the count stays low enough.
  while (CandidateDataArea(sectors + 1, sectorsPerCluster, fatCount, rootEntries).clusters <= most) ++sectors;
  return sectors;
}

// The smallest cluster, from sectorsPerCluster up, whose volume FAT16 can hold; 0 when none can.
uint32_t SmallestFittingCluster(uint32_t totalSectors, uint32_t sectorsPerCluster, uint32_t fatCount,
                                uint32_t rootEntries) {
  for (uint32_t spc = sectorsPerCluster; spc <= kMaxSectorsPerCluster; spc *= 2) {
    FatDataArea area = CandidateDataArea(totalSectors, spc, fatCount, rootEntries);
    if (!area.hasCluster) return 0;  // larger clusters cannot make room where there is none
    if (area.clusters < kFat16ClusterLimit) return spc;
  }
  return 0;
}

}  // namespace

uint32_t MinimumAllocationUnit(uint32_t sectorCount, uint32_t rootEntries) {
  // Data sectors of a two-FAT volume of 1-sector clusters, by the published sizing rule, the FAT size not cut to
  // 16 bits.
  uint32_t perFat = FatSizingRule(sectorCount, kReservedSectors, rootEntries, 1, 2);
  uint32_t dataSectors = DataAreaOf(sectorCount, kReservedSectors, rootEntries, 1, 2, perFat).dataSectors;
  uint32_t spc = kMaxSectorsPerCluster;
  for (const UnitRow& row : kUnitTable)
    if (dataSectors <= row.maxDataSectors) {
      spc = row.sectorsPerCluster;
      break;
    }
  // The table works on data sectors counted for 1-sector clusters, which undercounts the data area of larger
  // clusters: just below a threshold its unit leaves 65,525 clusters or more, and the format would refuse the
  // very unit offered. Such disks get the next unit that FAT16 holds.
  while (spc < kMaxSectorsPerCluster) {
    FatDataArea area = CandidateDataArea(sectorCount, spc, 2, rootEntries);
    if (!area.hasCluster || area.clusters < kFat16ClusterLimit) break;
    spc *= 2;
  }
  return spc * kSectorSize;
}

Refusal CheckUsbFormatRequest(uint32_t sectorCount, const UsbFormatOptions& options) {
  if (sectorCount == 0) return Refusal::kNoSectors;
  if (options.rootEntries > kMaxRootEntries) return Refusal::kTooManyRootEntries;
  if (options.rootEntries == 0) return Refusal::kNoRootEntries;
  if (!IsClusterSize(options.clusterBytes)) return Refusal::kNoClusterSize;
  if (options.clusterBytes / kSectorSize > sectorCount) return Refusal::kClusterTooLarge;
  if (options.fatCount != 1 && options.fatCount != 2) return Refusal::kNoFatCount;
  return Refusal::kNone;
}

FormatRecordFields DiskGeometry(uint32_t sectorCount, uint32_t mbrSectors) {
  FormatRecordFields fields;
  fields.sectorsPerTrack = mbrSectors == 63 ? 63 : 32;
  if (sectorCount >= 32) {
    fields.cylinders = 1024;
    fields.heads = static_cast<uint8_t>((sectorCount / 1024) / fields.sectorsPerTrack);
  } else {
    fields.heads = 1;
    fields.cylinders = static_cast<uint16_t>(sectorCount / fields.sectorsPerTrack);
  }
  return fields;
}

FormatRecordFields BootableDiskGeometry(uint32_t sectorCount, uint32_t mbrSectors) {
  FormatRecordFields fields = DiskGeometry(sectorCount, mbrSectors);
  if (fields.heads < 2) {
    fields.heads = 2;
    uint32_t cylinderSectors = 2u * fields.sectorsPerTrack;
    uint32_t cylinders = (sectorCount + cylinderSectors - 1) / cylinderSectors;
    fields.cylinders = static_cast<uint16_t>(std::min<uint32_t>(cylinders, 1024));
  }
  return fields;
}

uint32_t VolumeStart(const UsbFormatOptions& options) {
  bool behindMbr = options.dosBoot && (options.bootMode == kBootHdd || options.bootMode == kBootZip);
  if (!behindMbr || (options.mbrSectors != 32 && options.mbrSectors != 63)) return 0;
  return options.mbrSectors;
}

DbrDecision BuildFormatDbr(uint32_t sectorCount, uint32_t volumeStart, const UsbFormatOptions& options,
                           const FormatRecordFields& geometry, DosVersion dos, FormatDbr* record) {
  DbrDecision decision;
  // The checks the page makes first, repeated so that no caller can build a record from an unchecked choice.
  decision.refusal = CheckUsbFormatRequest(sectorCount, options);
  if (decision.refusal == Refusal::kNone && volumeStart >= sectorCount) decision.refusal = Refusal::kNoDataArea;
  if (decision.refusal != Refusal::kNone) return decision;
  uint32_t sectorsPerCluster = options.clusterBytes / kSectorSize;
  uint32_t fatCount = options.fatCount;
  uint32_t total = UnambiguousVolumeSectors(sectorCount - volumeStart, sectorsPerCluster, fatCount,
                                            options.rootEntries);
  FatDataArea area = CandidateDataArea(total, sectorsPerCluster, fatCount, options.rootEntries);
  decision.dataSectors = area.dataSectors;
  decision.clusters = area.clusters;
  if (!area.hasCluster) {
    decision.refusal = Refusal::kNoDataArea;
    return decision;
  }
  if (area.clusters >= kFat16ClusterLimit) {
    uint32_t fitting = SmallestFittingCluster(total, sectorsPerCluster * 2, fatCount, options.rootEntries);
    decision.refusal = fitting ? Refusal::kTooManyClusters : Refusal::kBeyondFat16;
    decision.suggestedUnit = fitting * kSectorSize;
    return decision;
  }
  decision.fatKind = area.clusters < kFat12ClusterLimit ? kFat12 : kFat16;
  BootRecordParams params;
  params.clusterBytes = sectorsPerCluster * kSectorSize;
  params.fatCount = fatCount;
  // The root directory fills whole sectors whatever number was typed; a BPB that counts fewer entries than its
  // sectors hold is refused by fsck.fat and by Linux's FAT driver, so the field counts all of them.
  params.rootEntries = (options.rootEntries + 15) / 16 * 16;
  params.media = kMedia;
  params.totalSectors = total;
  params.reservedSectors = kReservedSectors;
  params.sectorsPerTrack = geometry.sectorsPerTrack;
  params.heads = geometry.heads;
  params.hiddenSectors = volumeStart;
  params.label = "NO NAME";
  params.type = static_cast<FatType>(decision.fatKind);
  params.bootProgram = dos == kDos622 ? kBootProgramDos622 : kBootProgramDos71;
  BuildBootRecord(params, record->bytes);
  return decision;
}
