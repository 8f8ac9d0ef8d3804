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

uint64_t FloppyImageWriteBytes(FloppyKind kind) { return uint64_t{GeometryOf(kind).totalSectors} * kSectorSize; }

RunOutcome WriteFloppyImage(SysHandle disk, uint32_t startSector, FloppyKind kind, const char* label, DosVersion dos,
                            FloppyImageBuffer* buffer, RunControl* run) {
  RunOutcome outcome;
  const FloppyGeometry& g = GeometryOf(kind);
  const bool progressLines = kind == FloppyKind::k1440K;
  const uint32_t rootOffset = FirstRootSector(kind);
  const uint32_t dataOffset = FirstDataSector(kind);

  uint8_t dbr[kSectorSize];
  BuildFloppyDbr(kind, label, dos, dbr);
  // System files that cannot go into the image are refused before anything of it is written.
  if (dos != kDosNone && !SystemFilesFit(dos, startSector, dbr, LabelLength(label) > 0)) {
    TraceLine("The system files cannot be copied into the image");
    return outcome.Refuse(Refusal::kSystemFilesUnusable);
  }

  // Everything but the DBR and the image's last sector, which keeps what it held.
  FloppyImageBuffer local;
  FloppyImageBuffer& image = buffer ? *buffer : local;
  const uint32_t bodySectors = g.totalSectors - 1u;
  if (image.kind != kind) {
    image.bytes.assign(size_t{bodySectors} * kSectorSize, kDataFill);
    image.kind = kind;
  }
  uint8_t* bytes = image.bytes.data();
  std::memset(bytes, 0, size_t{dataOffset} * kSectorSize);
  for (uint32_t fat = 0; fat < kFloppyFatCount; ++fat) {
    BuildFatHead(g.media, false, bytes + (kFloppyReservedSectors + fat * size_t{g.sectorsPerFat}) * kSectorSize);
  }
  if (size_t labelLength = LabelLength(label)) {
    SysTime now{};
    SysGetLocalTime(&now);
    BuildLabelEntry(bytes + size_t{rootOffset} * kSectorSize, label, labelLength, FatDate(now), FatTime(now));
  }

  if (progressLines) {
    TraceLine("StartingOffset:%d", static_cast<int>(startSector));
    TraceLine("FirstFATSecNum:%d", static_cast<int>(startSector + kFloppyReservedSectors));
    TraceLine("RootDirSectNum:%d", static_cast<int>(startSector + rootOffset));
  }
  if (WriteSectors(disk, startSector, bodySectors, bytes, run) != SectorIo::kOk) {
    TraceLine("Write first FAT failure!\n");
    return outcome.EndAt(RunStep::kImage, startSector, SysGetLastError());
  }
  outcome.Wrote(startSector, bodySectors);
  if (dos != kDosNone && TransferSystemFiles(disk, startSector, dos, dbr, run) != SysFilesTransfer::kDone)
    return outcome.EndAt(RunStep::kSystemFiles, startSector + dataOffset, SysGetLastError());
  if (WriteSectors(disk, startSector, 1, dbr, run) != SectorIo::kOk) {
    const uint32_t error = SysGetLastError();
    TraceLastError("WriteDBR");
    return outcome.EndAt(RunStep::kBootRecord, startSector, error);
  }
  outcome.completed = 1;
  return outcome;
}
