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

uint64_t FloppyImageWriteBytes(FloppyKind kind) { return uint64_t{GeometryOf(kind).totalSectors} * kSectorSize; }

int WriteFloppyImage(SysHandle disk, uint32_t startSector, FloppyKind kind, const char* label, DosVersion dos,
                     FloppyImageBuffer* buffer) {
  const FloppyGeometry& g = GeometryOf(kind);
  const bool progressLines = kind == FloppyKind::k1440K;
  const uint32_t rootOffset = FirstRootSector(kind);
  const uint32_t dataOffset = FirstDataSector(kind);

  uint8_t dbr[kSectorSize];
  BuildFloppyDbr(kind, label, dos, dbr);
  // System files that cannot go into the image are refused before anything of it is written.
  if (dos != kDosNone && !SystemFilesFit(dos, startSector, dbr, LabelLength(label) > 0)) {
    TraceLine("The system files cannot be copied into the image");
    return 0;
  }

  // Everything but the DBR and the image's last sector, which keeps what it held.
  FloppyImageBuffer local;
  FloppyImageBuffer& image = buffer ? *buffer : local;
  const uint32_t bodySectors = g.totalSectors - 1u;
  if (image.kind != static_cast<int>(kind)) {
    image.bytes.assign(size_t{bodySectors} * kSectorSize, kDataFill);
    image.kind = static_cast<int>(kind);
  }
  uint8_t* bytes = image.bytes.data();
  std::memset(bytes, 0, size_t{dataOffset} * kSectorSize);
  for (uint32_t fat = 0; fat < kFloppyFatCount; ++fat) {
    uint8_t* head = bytes + (kFloppyReservedSectors + fat * size_t{g.sectorsPerFat}) * kSectorSize;
    head[0] = g.media;
    head[1] = 0xFF;
    head[2] = 0xFF;
  }
  if (size_t labelLength = LabelLength(label)) {
    SysTime now{};
    SysGetLocalTime(&now);
    BuildLabelSector(label, labelLength, now, bytes + size_t{rootOffset} * kSectorSize);
  }

  if (progressLines) {
    TraceLine("StartingOffset:%d", static_cast<int>(startSector));
    TraceLine("FirstFATSecNum:%d", static_cast<int>(startSector + kFloppyReservedSectors));
    TraceLine("RootDirSectNum:%d", static_cast<int>(startSector + rootOffset));
  }
  if (WriteSectors(disk, bodySectors, startSector, bytes) != kSectorIoOk) {
    TraceLine("Write first FAT failure!\n");
    return 0;
  }
  if (dos != kDosNone && TransferSystemFiles(disk, startSector, dos, dbr) != 1) return 0;
  if (WriteSectors(disk, 1, startSector, dbr) != kSectorIoOk) {
    TraceLastError("WriteDBR");
    return 0;
  }
  return 1;
}
