#include "floppy/floppy.h"

#include <cstring>

#include "app/trace.h"
#include "boot/boot_programs.h"
#include "disk/bpb.h"
#include "disk/sectorio.h"
#include "floppy/sysfiles.h"

namespace {

constexpr uint8_t kJump[3] = {0xEB, 0x3C, 0x90};
constexpr char kOemName[] = "MSDOS5.0";
constexpr uint8_t kSerialNumber[4] = {0x68, 0x06, 0x73, 0x84};
constexpr char kFileSystemType[] = "FAT12   ";
constexpr uint8_t kDataFill = 0xF6;
constexpr uint8_t kVolumeLabelAttribute = 0x08;

// Directory entry fields.
constexpr int kEntryAttributes = 11;
constexpr int kEntryWriteTime = 22;
constexpr int kEntryWriteDate = 24;

size_t LabelLength(const char* label) { return label ? strnlen(label, kMaxLabelLength) : 0; }

// Root directory sector whose entry 0 names the volume. The name is followed by zero bytes, not spaces: the block
// scan reads it as a zero-terminated string.
void BuildLabelSector(const char* label, size_t length, const SysTime& now, uint8_t* sector) {
  std::memset(sector, 0, kSectorSize);
  std::memcpy(sector, label, length);
  sector[kEntryAttributes] = kVolumeLabelAttribute;
  PutLe16(sector + kEntryWriteTime, FatTime(now));
  PutLe16(sector + kEntryWriteDate, FatDate(now));
}

}  // namespace

const FloppyGeometry& GeometryOf(FloppyKind kind) { return kFloppyGeometries[static_cast<int>(kind)]; }

uint32_t FirstRootSector(FloppyKind kind) {
  return kFloppyReservedSectors + kFloppyFatCount * GeometryOf(kind).sectorsPerFat;
}

uint32_t RootDirectorySectors(FloppyKind kind) { return (GeometryOf(kind).rootEntries + 15u) / 16u; }

uint32_t FirstDataSector(FloppyKind kind) { return FirstRootSector(kind) + RootDirectorySectors(kind); }

void BuildFloppyDbr(FloppyKind kind, const char* label, DosVersion dos, uint8_t* dbr) {
  const FloppyGeometry& g = GeometryOf(kind);
  std::memset(dbr, 0, kSectorSize);
  std::memcpy(dbr + bpb::kJump, kJump, sizeof kJump);
  std::memcpy(dbr + bpb::kOemName, kOemName, 8);
  PutLe16(dbr + bpb::kBytesPerSector, kSectorSize);
  dbr[bpb::kSectorsPerCluster] = g.sectorsPerCluster;
  PutLe16(dbr + bpb::kReservedSectors, kFloppyReservedSectors);
  dbr[bpb::kNumberOfFats] = kFloppyFatCount;
  PutLe16(dbr + bpb::kRootEntries, g.rootEntries);
  PutLe16(dbr + bpb::kTotalSectors16, g.totalSectors);
  dbr[bpb::kMedia] = g.media;
  PutLe16(dbr + bpb::kSectorsPerFat, g.sectorsPerFat);
  PutLe16(dbr + bpb::kSectorsPerTrack, g.sectorsPerTrack);
  PutLe16(dbr + bpb::kHeads, kFloppyHeads);
  // Hidden sectors stay 0 wherever the image lies: an emulator presents each image as a disk of its own.
  dbr[bpb::kDriveNumber] = 0x00;
  dbr[bpb::kBootSignature] = 0x29;
  std::memcpy(dbr + bpb::kSerialNumber, kSerialNumber, sizeof kSerialNumber);
  if (kind == FloppyKind::k1200K) {
    std::memcpy(dbr + bpb::kVolumeLabel, kNoNameLabel, kMaxLabelLength);
  } else {
    std::memset(dbr + bpb::kVolumeLabel, ' ', kMaxLabelLength);
    if (size_t length = LabelLength(label)) std::memcpy(dbr + bpb::kVolumeLabel, label, length);
  }
  std::memcpy(dbr + bpb::kFileSystemType, kFileSystemType, 8);
  const unsigned char* program = dos == kDos622 ? kBootProgramDos622 : kBootProgramDos71;
  std::memcpy(dbr + bpb::kBootProgram, program, 448);
  dbr[bpb::kSignature] = 0x55;
  dbr[bpb::kSignature + 1] = 0xAA;
}

int WriteFloppyImage(SysHandle disk, uint32_t startSector, FloppyKind kind, const char* label, DosVersion dos) {
  const FloppyGeometry& g = GeometryOf(kind);
  const bool progressLines = kind == FloppyKind::k1440K;
  const uint32_t firstFat = startSector + kFloppyReservedSectors;
  const uint32_t rootSector = startSector + FirstRootSector(kind);
  const uint32_t dataSector = startSector + FirstDataSector(kind);

  uint8_t dbr[kSectorSize];
  BuildFloppyDbr(kind, label, dos, dbr);
  // System files that cannot go into the image are refused before anything of it is written.
  if (dos != kDosNone && !SystemFilesFit(dos, startSector, dbr, LabelLength(label) > 0)) {
    TraceLine("The system files cannot be copied into the image");
    return 0;
  }
  if (progressLines) TraceLine("StartingOffset:%d", static_cast<int>(startSector));
  if (WriteSectors(disk, 1, startSector, dbr) != kSectorIoOk) {
    TraceLastError("WriteDBR");
    return 0;
  }

  if (FillSectors(disk, firstFat, kFloppyFatCount * g.sectorsPerFat, 0) != kSectorIoOk) return 0;
  uint8_t fatHead[kSectorSize] = {};
  fatHead[0] = g.media;
  fatHead[1] = 0xFF;
  fatHead[2] = 0xFF;
  if (progressLines) TraceLine("FirstFATSecNum:%d", static_cast<int>(firstFat));
  if (WriteSectors(disk, 1, firstFat, fatHead) != kSectorIoOk) {
    TraceLine("Write first FAT failure!\n");
    return 0;
  }
  if (WriteSectors(disk, 1, firstFat + g.sectorsPerFat, fatHead) != kSectorIoOk) return 0;

  if (progressLines) TraceLine("RootDirSectNum:%d", static_cast<int>(rootSector));
  if (FillSectors(disk, rootSector, RootDirectorySectors(kind), 0) != kSectorIoOk) return 0;
  size_t labelLength = LabelLength(label);
  if (labelLength > 0) {
    SysTime now{};
    SysGetLocalTime(&now);
    uint8_t labelSector[kSectorSize];
    BuildLabelSector(label, labelLength, now, labelSector);
    if (WriteSectors(disk, 1, rootSector, labelSector) != kSectorIoOk) return 0;
  }

  // The image's last sector keeps what it held. A fill that fails is a disk that failed: the image is not
  // reported as written, and nothing more is written after it.
  if (FillSectors(disk, dataSector, g.totalSectors - FirstDataSector(kind) - 1, kDataFill) != kSectorIoOk) {
    TraceLine("Fill data area failure");
    return 0;
  }
  if (dos != kDosNone && TransferSystemFiles(disk, startSector, dos, dbr) != 1) return 0;
  return 1;
}
