#include "floppy/floppy.h"

#include <cstring>

#include "base/trace.h"
#include "boot/boot_programs.h"
#include "fat/fat.h"
#include "disk/sectorio.h"
#include "floppy/sysfiles.h"

namespace {

constexpr uint8_t kDataFill = 0xF6;

size_t LabelLength(const char* label) { return label ? strnlen(label, bpb::kLabelSize) : 0; }

}  // namespace

void BuildFloppyDbr(FloppyKind kind, const char* label, DosVersion dos, uint8_t* dbr) {
  BootRecordParams params = FloppyBootRecordParams(kind);
  params.label = kind == FloppyKind::k1200K ? kNoNameLabel : std::string(label ? label : "", LabelLength(label));
  params.bootProgram = dos == kDos622 ? kBootProgramDos622 : kBootProgramDos71;
  BuildBootRecord(params, dbr);
}

FloppyImageResult WriteFloppyImage(SysHandle disk, uint32_t startSector, FloppyKind kind, const char* label,
                                   DosVersion dos) {
  const bool progressLines = kind == FloppyKind::k1440K;
  uint8_t dbr[kSectorSize];
  BuildFloppyDbr(kind, label, dos, dbr);
  FatLayout v;
  // Every kind's record describes a sound volume; one that lies past 32-bit sector numbers does not.
  if (!ReadFatLayout(dbr, startSector, &v)) return FloppyImageResult::kBootRecordFailed;
  // System files that cannot go into the image are refused before anything of it is written.
  if (dos != kDosNone && !SystemFilesFit(dos, startSector, dbr, LabelLength(label) > 0)) {
    TraceLine("The system files cannot be copied into the image");
    return FloppyImageResult::kSystemFilesUnusable;
  }
  if (progressLines) TraceLine("StartingOffset:%d", static_cast<int>(startSector));
  if (WriteSectors(disk, 1, startSector, dbr) != kSectorIoOk) {
    TraceLastError("WriteDBR");
    return FloppyImageResult::kBootRecordFailed;
  }

  if (FillSectors(disk, v.firstFat, v.fatCount * v.sectorsPerFat, 0) != kSectorIoOk)
    return FloppyImageResult::kFatsFailed;
  uint8_t fatHead[kSectorSize];
  BuildFatHead(GeometryOf(kind).media, false, fatHead);
  if (progressLines) TraceLine("FirstFATSecNum:%d", static_cast<int>(v.firstFat));
  if (WriteSectors(disk, 1, v.firstFat, fatHead) != kSectorIoOk) {
    TraceLine("Write first FAT failure!\n");
    return FloppyImageResult::kFatsFailed;
  }
  if (WriteSectors(disk, 1, v.firstFat + v.sectorsPerFat, fatHead) != kSectorIoOk)
    return FloppyImageResult::kFatsFailed;

  if (progressLines) TraceLine("RootDirSectNum:%d", static_cast<int>(v.rootSector));
  if (FillSectors(disk, v.rootSector, v.rootSectors, 0) != kSectorIoOk) return FloppyImageResult::kRootDirectoryFailed;
  if (size_t labelLength = LabelLength(label)) {
    SysTime now{};
    SysGetLocalTime(&now);
    uint8_t labelSector[kSectorSize] = {};
    BuildLabelEntry(labelSector, label, labelLength, now);
    if (WriteSectors(disk, 1, v.rootSector, labelSector) != kSectorIoOk) return FloppyImageResult::kRootDirectoryFailed;
  }

  // The image's last sector keeps what it held. A fill that fails is a disk that failed: the image is not
  // reported as written, and nothing more is written after it.
  if (FillSectors(disk, v.firstData, startSector + v.totalSectors - v.firstData - 1, kDataFill) != kSectorIoOk) {
    TraceLine("Fill data area failure");
    return FloppyImageResult::kDataAreaFailed;
  }
  if (dos != kDosNone && TransferSystemFiles(disk, startSector, dos, dbr) != SysFilesTransfer::kDone)
    return FloppyImageResult::kSystemFilesFailed;
  return FloppyImageResult::kWritten;
}
