// The arithmetic of the general formatter: sectors per FAT, the FAT type decision and its refusals, the default
// allocation unit, the disk geometry, and the boot record that carries all of it.
#include <algorithm>
#include <cstring>

#include "boot/boot_programs.h"
#include "disk/bpb.h"
#include "usbformat/usbformat.h"

namespace {

constexpr uint8_t kJump[3] = {0xEB, 0x3C, 0x90};
constexpr char kOemName[] = "MSDOS5.0";
constexpr uint8_t kSerialNumber[4] = {0x68, 0x06, 0x73, 0x84};
constexpr char kNoName[] = "NO NAME    ";
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

uint32_t RootSectorsFor(uint32_t rootEntries) { return (rootEntries * 32 + kSectorSize - 1) / kSectorSize; }

// The sizing rule itself, on plain numbers; 32-bit on purpose, so a volume smaller than its fixed areas wraps
// exactly as the rule is written.
uint32_t FatSectorsFor(uint32_t totalSectors, uint32_t reserved, uint32_t rootSectors, uint32_t sectorsPerCluster,
                       uint32_t fatCount) {
  uint32_t tmpVal1 = totalSectors - (reserved + rootSectors);
  uint32_t tmpVal2 = 256 * sectorsPerCluster + fatCount;
  return (tmpVal1 + tmpVal2 - 1) / tmpVal2;
}

// The data area of a candidate volume: DataSec as 32-bit arithmetic gives it, and whether the fixed areas really
// leave at least one whole cluster (counted without wrapping).
struct DataArea {
  uint32_t dataSectors;
  uint32_t clusters;
  bool hasCluster;
};

DataArea DataAreaOf(uint32_t totalSectors, uint32_t sectorsPerCluster, uint32_t fatCount, uint32_t rootEntries) {
  uint32_t rootSectors = RootSectorsFor(rootEntries);
  // The BPB keeps 16 bits of the FAT size; the volume is what those bits describe.
  uint16_t perFat = static_cast<uint16_t>(
      FatSectorsFor(totalSectors, kReservedSectors, rootSectors, sectorsPerCluster, fatCount));
  uint64_t fixed = kReservedSectors + uint64_t{fatCount} * perFat + rootSectors;
  DataArea area;
  area.dataSectors = totalSectors - fatCount * perFat - kReservedSectors - rootSectors;
  area.clusters = area.dataSectors / sectorsPerCluster;
  area.hasCluster = totalSectors >= fixed + sectorsPerCluster;
  return area;
}

// The smallest cluster, from sectorsPerCluster up, whose volume FAT16 can hold; 0 when none can.
uint32_t SmallestFittingCluster(uint32_t totalSectors, uint32_t sectorsPerCluster, uint32_t fatCount,
                                uint32_t rootEntries) {
  for (uint32_t spc = sectorsPerCluster; spc <= kMaxSectorsPerCluster; spc *= 2) {
    DataArea area = DataAreaOf(totalSectors, spc, fatCount, rootEntries);
    if (!area.hasCluster) return 0;  // larger clusters cannot make room where there is none
    if (area.clusters < kFat16ClusterLimit) return spc;
  }
  return 0;
}

void WriteFixedFields(uint8_t* dbr) {
  std::memcpy(dbr + bpb::kJump, kJump, sizeof kJump);
  std::memcpy(dbr + bpb::kOemName, kOemName, 8);
  PutLe16(dbr + bpb::kBytesPerSector, kSectorSize);
  dbr[bpb::kDriveNumber] = 0x00;
  dbr[bpb::kDriveNumber + 1] = 0x00;
  dbr[bpb::kBootSignature] = 0x29;
  std::memcpy(dbr + bpb::kSerialNumber, kSerialNumber, sizeof kSerialNumber);
}

}  // namespace

uint32_t TotalSectorsOf(const uint8_t* dbr) {
  uint32_t total = GetLe16(dbr + bpb::kTotalSectors16);
  return total != 0 ? total : GetLe32(dbr + bpb::kTotalSectors32);
}

uint32_t RootDirectorySectorsOf(const uint8_t* dbr) {
  uint32_t bytesPerSector = GetLe16(dbr + bpb::kBytesPerSector);
  if (bytesPerSector == 0) return 0;
  return (GetLe16(dbr + bpb::kRootEntries) * 32u + bytesPerSector - 1) / bytesPerSector;
}

uint16_t SectorsPerFat(const uint8_t* dbr) {
  return static_cast<uint16_t>(FatSectorsFor(TotalSectorsOf(dbr), GetLe16(dbr + bpb::kReservedSectors),
                                             RootDirectorySectorsOf(dbr), dbr[bpb::kSectorsPerCluster],
                                             dbr[bpb::kNumberOfFats]));
}

uint32_t MinimumAllocationUnit(uint32_t sectorCount, uint32_t rootEntries) {
  uint32_t rootSectors = (rootEntries * 32 + 511) / 512;
  uint32_t perFat = (sectorCount - rootSectors + 256) / 258;
  uint32_t dataSectors = sectorCount - 2 * perFat - rootSectors - 1;
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
    DataArea area = DataAreaOf(sectorCount, spc, 2, rootEntries);
    if (!area.hasCluster || area.clusters < kFat16ClusterLimit) break;
    spc *= 2;
  }
  return spc * kSectorSize;
}

int ClusterListIndexOf(uint64_t unitBytes) {
  for (int k = 0; k < kClusterSizeCount; ++k)
    if (unitBytes == (uint64_t{kSectorSize} << k)) return k;
  return -1;
}

UsbFormatRefusal CheckUsbFormatRequest(uint32_t sectorCount, const UsbFormatOptions& options) {
  if (sectorCount == 0) return kUsbFormatNoSectors;
  if (options.rootEntries > kMaxRootEntries) return kUsbFormatTooManyRootEntries;
  if (options.rootEntries == 0) return kUsbFormatNoRootEntries;
  if (options.clusterListIndex < 0 || options.clusterListIndex >= kClusterSizeCount) return kUsbFormatNoClusterSize;
  if ((1u << options.clusterListIndex) > sectorCount) return kUsbFormatClusterTooLarge;
  if (options.fatListIndex != 0 && options.fatListIndex != 1) return kUsbFormatNoFatCount;
  return kUsbFormatAccepted;
}

FormatRecordFields DiskGeometry(uint32_t sectorCount, int mbrSizeIndex) {
  FormatRecordFields fields;
  fields.sectorsPerTrack = mbrSizeIndex == 1 ? 63 : 32;
  if (sectorCount >= 32) {
    fields.cylinders = 1024;
    fields.heads = static_cast<uint8_t>((sectorCount / 1024) / fields.sectorsPerTrack);
  } else {
    fields.heads = 1;
    fields.cylinders = static_cast<uint16_t>(sectorCount / fields.sectorsPerTrack);
  }
  return fields;
}

FormatRecordFields BootableDiskGeometry(uint32_t sectorCount, int mbrSizeIndex) {
  FormatRecordFields fields = DiskGeometry(sectorCount, mbrSizeIndex);
  if (fields.heads < 2) {
    fields.heads = 2;
    uint32_t cylinderSectors = 2u * fields.sectorsPerTrack;
    uint32_t cylinders = (sectorCount + cylinderSectors - 1) / cylinderSectors;
    fields.cylinders = static_cast<uint16_t>(std::min<uint32_t>(cylinders, 1024));
  }
  return fields;
}

uint32_t VolumeStart(const UsbFormatOptions& options) {
  bool behindMbr = options.dosBoot && (options.bootMode == 1 || options.bootMode == 2);
  if (!behindMbr) return 0;
  if (options.mbrSizeIndex == 0) return 32;
  if (options.mbrSizeIndex == 1) return 63;
  return 0;
}

DosVersion DosVersionOf(const UsbFormatOptions& options) { return options.dosVersionIndex >= 1 ? kDos71 : kDos622; }

DbrDecision BuildFormatDbr(uint32_t sectorCount, uint32_t volumeStart, const UsbFormatOptions& options,
                           const FormatRecordFields& geometry, DosVersion dos, FormatDbr* record) {
  DbrDecision decision;
  // The checks the page makes first, repeated so that no caller can build a record from an unchecked choice.
  decision.refusal = CheckUsbFormatRequest(sectorCount, options);
  if (decision.refusal == kUsbFormatAccepted && volumeStart >= sectorCount) decision.refusal = kUsbFormatNoDataArea;
  if (decision.refusal != kUsbFormatAccepted) return decision;
  uint8_t* dbr = record->bytes;
  std::memset(dbr, 0, kSectorSize);
  WriteFixedFields(dbr);
  uint32_t sectorsPerCluster = 1u << options.clusterListIndex;
  uint32_t fatCount = static_cast<uint32_t>(options.fatListIndex) + 1;
  dbr[bpb::kSectorsPerCluster] = static_cast<uint8_t>(sectorsPerCluster);
  PutLe16(dbr + bpb::kReservedSectors, kReservedSectors);
  dbr[bpb::kNumberOfFats] = static_cast<uint8_t>(fatCount);
  // The root directory fills whole sectors whatever number was typed; a BPB that counts fewer entries than its
  // sectors hold is refused by fsck.fat and by Linux's FAT driver, so the field counts all of them.
  PutLe16(dbr + bpb::kRootEntries, static_cast<uint16_t>((options.rootEntries + 15) / 16 * 16));
  uint32_t total = sectorCount - volumeStart;
  if (total < 65536) {
    PutLe16(dbr + bpb::kTotalSectors16, static_cast<uint16_t>(total));
  } else {
    PutLe32(dbr + bpb::kTotalSectors32, total);
  }
  PutLe16(dbr + bpb::kSectorsPerFat, SectorsPerFat(dbr));
  PutLe16(dbr + bpb::kSectorsPerTrack, geometry.sectorsPerTrack);
  PutLe16(dbr + bpb::kHeads, geometry.heads);
  PutLe32(dbr + bpb::kHiddenSectors, volumeStart);
  dbr[bpb::kMedia] = kMedia;

  DataArea area = DataAreaOf(total, sectorsPerCluster, fatCount, options.rootEntries);
  decision.dataSectors = area.dataSectors;
  decision.clusters = area.clusters;
  if (!area.hasCluster) {
    decision.refusal = kUsbFormatNoDataArea;
    return decision;
  }
  if (area.clusters >= kFat16ClusterLimit) {
    uint32_t fitting = SmallestFittingCluster(total, sectorsPerCluster * 2, fatCount, options.rootEntries);
    decision.refusal = fitting ? kUsbFormatTooManyClusters : kUsbFormatBeyondFat16;
    decision.suggestedUnit = fitting * kSectorSize;
    return decision;
  }
  decision.fatKind = area.clusters < kFat12ClusterLimit ? kFat12 : kFat16;
  std::memcpy(dbr + bpb::kFileSystemType, decision.fatKind == kFat12 ? "FAT12   " : "FAT16   ", 8);
  std::memcpy(dbr + bpb::kVolumeLabel, kNoName, 11);
  std::memcpy(dbr + bpb::kBootProgram, dos == kDos622 ? kBootProgramDos622 : kBootProgramDos71, 448);
  dbr[bpb::kSignature] = 0x55;
  dbr[bpb::kSignature + 1] = 0xAA;
  return decision;
}
