// The volume writer of the general formatter: MBR, DBR, FATs, root directory, data-area fill and the system files,
// one step after the other on the open physical disk.
#include <cstdio>
#include <cstring>

#include "base/trace.h"
#include "boot/boot_programs.h"
#include "disk/runcontrol.h"
#include "disk/verify.h"
#include "fat/fat.h"
#include "disk/volumelock.h"
#include "floppy/sysfiles.h"
#include "usbformat/texts.h"
#include "usbformat/usbformat.h"

namespace {

constexpr uint8_t kFat12Or16PartitionType = 0x06;
constexpr int kPartitionEntry = 446;

bool Written(SectorIo code) { return code == SectorIo::kOk; }

// Fills the data area, all but the volume's last sector, with the fill byte.
bool FillDataArea(SysHandle disk, uint32_t volumeStart, const FatLayout& v, uint8_t fillByte, RunControl* run) {
  uint32_t volumeEnd = volumeStart + v.totalSectors;
  if (volumeEnd <= v.firstData + 1) return true;
  return Written(FillSectors(disk, v.firstData, volumeEnd - v.firstData - 1, fillByte, run));
}

// What the format writes, for its progress: the sectors before the volume and the MBR, the DBR, the FATs, the
// root directory and the fill.
uint64_t ExpectedWriteBytes(uint32_t volumeStart, const FatLayout& v, const UsbFormatOptions& options) {
  uint64_t sectors = (volumeStart > 0 ? volumeStart + 1u : 0u) + 1u + v.fatCount * (v.sectorsPerFat + 1u) +
                     v.rootSectors + (options.label.empty() ? 0u : 1u);
  const uint32_t volumeEnd = volumeStart + v.totalSectors;
  if (options.fillDataArea && volumeEnd > v.firstData + 1) sectors += volumeEnd - v.firstData - 1;
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

bool WriteMbr(SysHandle disk, uint32_t volumeStart, uint32_t sectorCount, const FormatRecordFields& geometry,
              RunControl* run) {
  uint8_t sector[kSectorSize];
  BuildMbr(volumeStart, sectorCount, geometry, sector);
  if (!Written(FillSectors(disk, 0, volumeStart, 0, run))) return false;
  return Written(WriteSectors(disk, 0, 1, sector, run));
}

bool WriteVolumeFats(SysHandle disk, const FatLayout& v, uint8_t media, RunControl* run) {
  if (!Written(FillSectors(disk, v.firstFat, v.fatCount * v.sectorsPerFat, 0, run))) return false;
  uint8_t head[kSectorSize];
  BuildFatHead(media, v.fat16, head);
  for (uint32_t copy = 0; copy < v.fatCount; ++copy) {
    uint32_t first = v.firstFat + copy * v.sectorsPerFat;
    TraceLine("FatAddr:%x", first);
    if (!Written(WriteSectors(disk, first, 1, head, run))) return false;
  }
  return true;
}

bool WriteRootDirectory(SysHandle disk, const FatLayout& v, const std::string& label, RunControl* run) {
  TraceLine("RootDirSectNum:%x", v.rootSector);
  if (!Written(FillSectors(disk, v.rootSector, v.rootSectors, 0, run))) {
    TraceLine("Clear Root Sector failure.\n");
    return false;
  }
  if (label.empty()) return true;
  SysTime now{};
  SysGetLocalTime(&now);
  uint8_t sector[kSectorSize] = {};
  BuildLabelEntry(sector, label.data(), label.size(), FatDate(now), FatTime(now));
  return Written(WriteSectors(disk, v.rootSector, 1, sector, run));
}

UsbFormatOutcome RunUsbFormat(SysHandle disk, uint32_t sectorCount, const UsbFormatOptions& options,
                              const char* driveLetters, RunControl* run) {
  UsbFormatOutcome outcome;
  outcome.refusal = CheckUsbFormatRequest(sectorCount, options);
  if (outcome.refusal != kUsbFormatAccepted) return outcome;
  outcome.fields = options.dosBoot ? BootableDiskGeometry(sectorCount, options.mbrSectors)
                                   : DiskGeometry(sectorCount, options.mbrSectors);
  if (options.dosBoot) {
    TraceLine("DiskRestart;%x", 1);
    TraceLine("ModelSel:%d", options.bootMode);
  }
  uint32_t volumeStart = VolumeStart(options);
  outcome.volumeStart = volumeStart;
  const DosVersion dos = options.dos;

  // The whole record is decided before the first write, so a refused choice leaves the disk untouched, MBR
  // included.
  FormatDbr dbr;
  DbrDecision decision = BuildFormatDbr(sectorCount, volumeStart, options, outcome.fields, dos, &dbr);
  if (decision.refusal != kUsbFormatAccepted) {
    Refuse(&outcome, decision);
    return outcome;
  }
  outcome.fields.fatKind = decision.fatKind;
  if (!ReadFatLayout(dbr.bytes, volumeStart, &outcome.volume)) {
    outcome.refusal = kUsbFormatNoDataArea;
    return outcome;
  }
  const FatLayout& volume = outcome.volume;
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

  if (RunVerifies(run)) {
    VerifyResult capacity = CheckDiskCapacity(disk, 0, sectorCount, run);
    if (!capacity.ok) {
      outcome.capacityFailed = true;
      outcome.badSector = capacity.badSector;
      return outcome;
    }
  }
  RunExpect(run, ExpectedWriteBytes(volumeStart, outcome.volume, options));
  // With no MBR size selected a bootable layout starts at sector 0, where the DBR would replace the MBR at once.
  if (volumeStart > 0 && !WriteMbr(disk, volumeStart, sectorCount, outcome.fields, run)) {
    outcome.failedStep = kUsbFormatStepMbr;
  } else if (!Written(WriteSectors(disk, volumeStart, 1, dbr.bytes, run))) {
    outcome.failedStep = kUsbFormatStepDbr;
  } else if (!WriteVolumeFats(disk, volume, dbr.bytes[bpb::kMedia], run)) {
    outcome.failedStep = kUsbFormatStepFats;
  } else if (!WriteRootDirectory(disk, volume, options.label, run)) {
    outcome.failedStep = kUsbFormatStepRootDirectory;
  }
  outcome.stopped = RunStopRequested(run);
  if (outcome.failedStep != kUsbFormatStepNone) return outcome;

  // A failed fill or transfer is a disk that failed under the format: it ends there, reported as failed.
  if (options.fillDataArea && !FillDataArea(disk, volumeStart, volume, options.fillByte, run)) {
    outcome.fillFailed = true;
    outcome.stopped = RunStopRequested(run);
    return outcome;
  }
  if (options.dosBoot && TransferSystemFiles(disk, volumeStart, dos, dbr.bytes, run) != SysFilesTransfer::kDone) {
    outcome.transferFailed = true;
    outcome.stopped = RunStopRequested(run);
    return outcome;
  }
  if (RunVerifies(run)) {
    VerifyResult readBack = VerifyRunWrites(disk, run);
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
