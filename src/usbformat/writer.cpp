// The volume writer of the general formatter: MBR, DBR, FATs, root directory, data-area fill and the system files,
// one step after the other on the open physical disk.
#include <cstdio>
#include <cstring>

#include "app/trace.h"
#include "boot/boot_programs.h"
#include "disk/bpb.h"
#include "disk/runcontrol.h"
#include "disk/volumelock.h"
#include "floppy/sysfiles.h"
#include "usbformat/texts.h"
#include "usbformat/usbformat.h"

namespace {

constexpr uint8_t kMedia = 0xF8;
constexpr uint8_t kVolumeLabelAttribute = 0x08;
constexpr uint8_t kFat12Or16PartitionType = 0x06;
constexpr int kPartitionEntry = 446;
constexpr int kEntryAttributes = 11;
constexpr int kEntryWriteTime = 22;
constexpr int kEntryWriteDate = 24;

// Where the areas of a volume lie, in sectors from its DBR, as its BPB describes them.
struct VolumeAreas {
  uint32_t totalSectors;
  uint32_t fatCount;
  uint32_t sectorsPerFat;
  uint32_t rootSectors;
  uint32_t FirstRootSector() const { return 1 + fatCount * sectorsPerFat; }
  uint32_t FirstDataSector() const { return FirstRootSector() + rootSectors; }
};

VolumeAreas AreasOf(const FormatDbr& dbr) {
  const uint8_t* b = dbr.bytes;
  uint32_t rootEntries = GetLe16(b + bpb::kRootEntries);
  return VolumeAreas{TotalSectorsOf(b), b[bpb::kNumberOfFats], GetLe16(b + bpb::kSectorsPerFat),
                     (rootEntries + 15) / 16};
}

bool Written(uint32_t sectorIoCode) { return sectorIoCode == kSectorIoOk; }

// Root directory sector whose entry 0 names the volume: the label's bytes as typed, zero bytes after them.
void BuildLabelSector(const std::string& label, const SysTime& now, uint8_t* sector) {
  std::memset(sector, 0, kSectorSize);
  std::memcpy(sector, label.data(), label.size() < kMaxLabelBytes ? label.size() : kMaxLabelBytes);
  sector[kEntryAttributes] = kVolumeLabelAttribute;
  PutLe16(sector + kEntryWriteTime, FatTime(now));
  PutLe16(sector + kEntryWriteDate, FatDate(now));
}

// Fills the data area, all but the volume's last sector, with the fill byte.
bool FillDataArea(SysHandle disk, uint32_t volumeStart, const FormatDbr& dbr, uint8_t fillByte) {
  VolumeAreas areas = AreasOf(dbr);
  uint32_t dataStart = areas.FirstDataSector();
  if (areas.totalSectors <= dataStart + 1) return true;
  uint32_t count = areas.totalSectors - dataStart - 1;
  return Written(FillSectors(disk, volumeStart + dataStart, count, fillByte));
}

// What the format writes, for its progress: the sectors before the volume and the MBR, the DBR, the FATs, the
// root directory and the fill.
uint64_t ExpectedWriteBytes(uint32_t volumeStart, const FormatDbr& dbr, const UsbFormatOptions& options) {
  VolumeAreas areas = AreasOf(dbr);
  uint64_t sectors = (volumeStart > 0 ? volumeStart + 1u : 0u) + 1u + areas.fatCount * (areas.sectorsPerFat + 1u) +
                     areas.rootSectors + (options.label.empty() ? 0u : 1u);
  if (options.fillDataArea && areas.totalSectors > areas.FirstDataSector() + 1)
    sectors += areas.totalSectors - areas.FirstDataSector() - 1;
  return sectors * kSectorSize;
}

void Refuse(UsbFormatOutcome* outcome, const DbrDecision& decision) {
  outcome->refusal = decision.refusal;
  outcome->suggestedUnit = decision.suggestedUnit;
  outcome->dataSectorsMultiple = decision.dataSectors % 65536 == 0;
}

}  // namespace

void BuildMbr(uint32_t volumeStart, uint32_t sectorCount, const FormatRecordFields& geometry, uint8_t* sector) {
  std::memset(sector, 0, kSectorSize);
  std::memcpy(sector, kMbrProgram, sizeof kMbrProgram);
  uint8_t* entry = sector + kPartitionEntry;
  entry[0] = 0x80;  // active
  entry[1] = 1;     // start head 1, sector 1, cylinder 0
  entry[2] = 1;
  entry[3] = 0;
  entry[4] = kFat12Or16PartitionType;
  entry[5] = static_cast<uint8_t>(geometry.heads - 1);
  uint32_t endCylinder = (geometry.cylinders - 1u) % 1024;
  entry[6] = static_cast<uint8_t>((geometry.sectorsPerTrack & 0x3F) | ((endCylinder >> 8) << 6));
  entry[7] = static_cast<uint8_t>(endCylinder);
  PutLe32(entry + 8, volumeStart);
  PutLe32(entry + 12, sectorCount - volumeStart);
  sector[bpb::kSignature] = 0x55;
  sector[bpb::kSignature + 1] = 0xAA;
}

bool WriteMbr(SysHandle disk, uint32_t volumeStart, uint32_t sectorCount, const FormatRecordFields& geometry) {
  uint8_t sector[kSectorSize];
  BuildMbr(volumeStart, sectorCount, geometry, sector);
  if (!Written(FillSectors(disk, 0, volumeStart, 0))) return false;
  return Written(WriteSectors(disk, 1, 0, sector));
}

bool WriteVolumeFats(SysHandle disk, uint32_t volumeStart, const FormatDbr& dbr, uint8_t fatKind) {
  VolumeAreas areas = AreasOf(dbr);
  if (!Written(FillSectors(disk, volumeStart + 1, areas.fatCount * areas.sectorsPerFat, 0))) return false;
  uint8_t head[kSectorSize] = {kMedia, 0xFF, 0xFF};
  if (fatKind == kFat16) head[3] = 0xFF;
  for (uint32_t copy = 0; copy < areas.fatCount; ++copy) {
    uint32_t first = volumeStart + 1 + copy * areas.sectorsPerFat;
    TraceLine("FatAddr:%x", first);
    if (!Written(WriteSectors(disk, 1, first, head))) return false;
  }
  return true;
}

bool WriteRootDirectory(SysHandle disk, uint32_t volumeStart, const FormatDbr& dbr, const std::string& label) {
  VolumeAreas areas = AreasOf(dbr);
  uint32_t firstRootSector = volumeStart + areas.FirstRootSector();
  if (firstRootSector == 0 || areas.rootSectors == 0) return false;
  TraceLine("RootDirSectNum:%x", firstRootSector);
  if (!Written(FillSectors(disk, firstRootSector, areas.rootSectors, 0))) {
    TraceLine("Clear Root Sector failure.\n");
    return false;
  }
  if (label.empty()) return true;
  SysTime now{};
  SysGetLocalTime(&now);
  uint8_t sector[kSectorSize];
  BuildLabelSector(label, now, sector);
  return Written(WriteSectors(disk, 1, firstRootSector, sector));
}

UsbFormatOutcome RunUsbFormat(SysHandle disk, uint32_t sectorCount, const UsbFormatOptions& options,
                              const char* driveLetters) {
  UsbFormatOutcome outcome;
  outcome.refusal = CheckUsbFormatRequest(sectorCount, options);
  if (outcome.refusal != kUsbFormatAccepted) return outcome;
  outcome.fields = options.dosBoot ? BootableDiskGeometry(sectorCount, options.mbrSizeIndex)
                                   : DiskGeometry(sectorCount, options.mbrSizeIndex);
  if (options.dosBoot) {
    TraceLine("DiskRestart;%x", 1);
    TraceLine("ModelSel:%d", options.bootMode);
  }
  uint32_t volumeStart = VolumeStart(options);
  outcome.volumeStart = volumeStart;
  DosVersion dos = DosVersionOf(options);

  // The whole record is decided before the first write, so a refused choice leaves the disk untouched, MBR
  // included.
  FormatDbr dbr;
  DbrDecision decision = BuildFormatDbr(sectorCount, volumeStart, options, outcome.fields, dos, &dbr);
  if (decision.refusal != kUsbFormatAccepted) {
    Refuse(&outcome, decision);
    return outcome;
  }
  outcome.fields.fatKind = decision.fatKind;
  if (options.dosBoot && !SystemFilesFit(dos, volumeStart, dbr.bytes, !options.label.empty())) {
    TraceLine("The system files cannot be copied into the volume");
    outcome.refusal = kUsbFormatSystemFilesUnusable;
    return outcome;
  }

  // Taken only once the format is certain to write, so a refused choice leaves the volumes mounted.
  ExclusiveVolumes volumes;
  if (!TakeExclusiveVolumes(driveLetters, &volumes)) {
    outcome.volumesInUse = true;
    return outcome;
  }

  if (RunVerifies()) {
    VerifyResult capacity =
        CheckDiskCapacity(disk, 0, sectorCount < kFirstUnaddressableSector ? sectorCount : kFirstUnaddressableSector);
    if (!capacity.ok) {
      outcome.capacityFailed = true;
      outcome.badSector = capacity.badSector;
      return outcome;
    }
  }
  RunExpect(ExpectedWriteBytes(volumeStart, dbr, options));
  // With no MBR size selected a bootable layout starts at sector 0, where the DBR would replace the MBR at once.
  if (volumeStart > 0 && !WriteMbr(disk, volumeStart, sectorCount, outcome.fields)) {
    outcome.failedStep = kUsbFormatStepMbr;
  } else if (!Written(WriteSectors(disk, 1, volumeStart, dbr.bytes))) {
    outcome.failedStep = kUsbFormatStepDbr;
  } else if (!WriteVolumeFats(disk, volumeStart, dbr, decision.fatKind)) {
    outcome.failedStep = kUsbFormatStepFats;
  } else if (!WriteRootDirectory(disk, volumeStart, dbr, options.label)) {
    outcome.failedStep = kUsbFormatStepRootDirectory;
  }
  outcome.stopped = RunStopRequested();
  if (outcome.failedStep != kUsbFormatStepNone) return outcome;

  // A failed fill or transfer is a disk that failed under the format: it ends there, reported as failed.
  if (options.fillDataArea && !FillDataArea(disk, volumeStart, dbr, options.fillByte)) {
    outcome.fillFailed = true;
    outcome.stopped = RunStopRequested();
    return outcome;
  }
  if (options.dosBoot && TransferSystemFiles(disk, volumeStart, dos, dbr.bytes) != 1) {
    outcome.transferFailed = true;
    outcome.stopped = RunStopRequested();
    return outcome;
  }
  if (RunVerifies()) {
    VerifyResult readBack = VerifyRunWrites(disk);
    if (!readBack.ok) {
      outcome.verifyFailed = true;
      outcome.badSector = readBack.badSector;
      return outcome;
    }
  }
  outcome.succeeded = true;
  return outcome;
}

std::string UnitSuggestionText(const UsbFormatOutcome& outcome) {
  char text[100];
  const TextPair& form = outcome.dataSectorsMultiple ? kUnitNotLessExact : kUnitNotLess;
  std::snprintf(text, sizeof text, Tr(form), static_cast<int>(outcome.suggestedUnit));
  return text;
}
