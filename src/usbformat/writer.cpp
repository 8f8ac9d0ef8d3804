// The volume writer of the general formatter: MBR, DBR, FATs, root directory, data-area fill and the system files,
// one step after the other on the open physical disk.
#include <cstdio>
#include <cstring>
#include <functional>

#include "base/trace.h"
#include "boot/boot_programs.h"
#include "disk/runcontrol.h"
#include "disk/verify.h"
#include "fat/fat.h"
#include "disk/volumelock.h"
#include "floppy/sysfiles.h"
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

RunOutcome RunUsbFormat(SysHandle disk, uint32_t sectorCount, const UsbFormatOptions& options,
                        const char* driveLetters, UsbFormatVolume* laidOut, RunControl* run) {
  RunOutcome outcome;
  UsbFormatVolume local;
  UsbFormatVolume& made = laidOut ? *laidOut : local;
  Refusal refusal = CheckUsbFormatRequest(sectorCount, options);
  if (refusal != Refusal::kNone) return outcome.Refuse(refusal);
  made.fields = options.dosBoot ? BootableDiskGeometry(sectorCount, options.mbrSectors)
                                : DiskGeometry(sectorCount, options.mbrSectors);
  if (options.dosBoot) {
    TraceLine("DiskRestart;%x", 1);
    TraceLine("ModelSel:%d", options.bootMode);
  }
  const uint32_t volumeStart = VolumeStart(options);
  made.volumeStart = volumeStart;
  const DosVersion dos = options.dos;

  // The whole record is decided before the first write, so a refused choice leaves the disk untouched, MBR
  // included.
  FormatDbr dbr;
  DbrDecision decision = BuildFormatDbr(sectorCount, volumeStart, options, made.fields, dos, &dbr);
  if (decision.refusal != Refusal::kNone) {
    outcome.suggestedUnit = decision.suggestedUnit;
    outcome.dataSectorsMultiple = decision.dataSectors % 65536 == 0;
    return outcome.Refuse(decision.refusal);
  }
  made.fields.fatKind = decision.fatKind;
  if (!ReadFatLayout(dbr.bytes, volumeStart, &made.volume)) return outcome.Refuse(Refusal::kNoDataArea);
  const FatLayout& volume = made.volume;
  if (options.dosBoot && !SystemFilesFit(dos, volumeStart, dbr.bytes, !options.label.empty())) {
    TraceLine("The system files cannot be copied into the volume");
    return outcome.Refuse(Refusal::kSystemFilesUnusable);
  }

  // Taken only once the format is certain to write, so a refused choice leaves the volumes mounted.
  ExclusiveVolumes volumes;
  if (!TakeExclusiveVolumes(driveLetters, &volumes)) return outcome.EndAt(RunStep::kLockVolumes);

  if (RunVerifies(run)) {
    VerifyResult capacity = CheckDiskCapacity(disk, 0, sectorCount, run);
    if (!capacity.ok) {
      outcome.verify = Verify::kFailed;
      return outcome.EndAt(RunStep::kCapacity, capacity.badSector);
    }
  }
  RunExpect(run, ExpectedWriteBytes(volumeStart, volume, options));
  const uint32_t volumeEnd = volumeStart + volume.totalSectors;
  const bool fill = options.fillDataArea && volumeEnd > volume.firstData + 1;
  // The steps in order with the sectors each covers; a step that fails ends the format there.
  struct Step {
    RunStep step;
    bool due;
    uint64_t first, count;
    std::function<bool()> write;
  };
  const Step steps[] = {
      // With no MBR size selected a bootable layout starts at sector 0, where the DBR would replace the MBR at once.
      {RunStep::kMbr, volumeStart > 0, 0, volumeStart,
       [&] { return WriteMbr(disk, volumeStart, sectorCount, made.fields, run); }},
      {RunStep::kBootRecord, true, volumeStart, 1,
       [&] { return Written(WriteSectors(disk, volumeStart, 1, dbr.bytes, run)); }},
      {RunStep::kFats, true, volume.firstFat, uint64_t{volume.fatCount} * volume.sectorsPerFat,
       [&] { return WriteVolumeFats(disk, volume, dbr.bytes[bpb::kMedia], run); }},
      {RunStep::kRootDirectory, true, volume.rootSector, volume.rootSectors,
       [&] { return WriteRootDirectory(disk, volume, options.label, run); }},
      // A failed fill or transfer is a disk that failed under the format: it ends there, reported as failed.
      {RunStep::kFill, fill, volume.firstData, fill ? volumeEnd - volume.firstData - 1u : 0u,
       [&] { return FillDataArea(disk, volumeStart, volume, options.fillByte, run); }},
      {RunStep::kSystemFiles, options.dosBoot, volume.firstData, 0,
       [&] { return TransferSystemFiles(disk, volumeStart, dos, dbr.bytes, run) == SysFilesTransfer::kDone; }},
  };
  for (const Step& step : steps) {
    if (!step.due) continue;
    if (!step.write()) {
      outcome.stopped = RunStopRequested(run);
      return outcome.EndAt(step.step, step.first, SysGetLastError());
    }
    outcome.Wrote(step.first, step.count);
    // A stop asked for after the volume's records were written is still told, as the user asked for it.
    if (step.step == RunStep::kRootDirectory) outcome.stopped = RunStopRequested(run);
  }
  if (RunVerifies(run)) {
    VerifyResult readBack = VerifyRunWrites(disk, run);
    outcome.verify = readBack.ok ? Verify::kPassed : Verify::kFailed;
    if (!readBack.ok) return outcome.EndAt(RunStep::kVerify, readBack.badSector);
  }
  return outcome;
}
