// Renaming a block's identifier in place: the first 8 bytes of its volume label entry and the entry's time stamp.
#include <cstring>

#include "base/oemtext.h"
#include "base/trace.h"
#include "blocks/blocks.h"
#include "fat/fat.h"
#include "disk/sectorio.h"
#include "disk/volumelock.h"
#include "filtersvc/restart.h"

namespace {

BlockIdentify Failure(IdentifyFault fault) {
  BlockIdentify result;
  result.fault = fault;
  return result;
}

}  // namespace

void MakeIdentifierName(const std::string& identifier, uint8_t name[8]) {
  std::memset(name, ' ', kMaxIdentifierLength);
  size_t length = identifier.size() < kMaxIdentifierLength ? identifier.size() : kMaxIdentifierLength;
  std::memcpy(name, identifier.data(), length);
  if (length < kMaxIdentifierLength) name[length] = 0;
}

BlockIdentify ModifyFloppyIdentify(const char* deviceName, uint64_t partitionStart, FloppyKind kind,
                                   const std::string& identifier, const char* volumeName,
                                   const char* driveLetters) {
  if (identifier.empty() || identifier[0] == '\0') return Failure(IdentifyFault::kEmpty);
  // The identifier is the edit's text, at most 8 characters (a list entry put there may be longer). The label entry
  // holds it in the OEM code page, as DOS and Windows read it; a character the code page lacks, or more bytes than
  // the 8 the name gives (5 Chinese characters), is refused before the disk is opened.
  OemText oem = ToOemText(FirstCharacters(identifier, kMaxIdentifierLength), kMaxIdentifierLength);
  if (oem.fault != OemTextFault::kNone) {
    BlockIdentify refused = Failure(IdentifyFault::kNotStorable);
    refused.oem = oem;
    return refused;
  }
  DeviceHandle drive(OpenDevice(deviceName));
  if (!drive.valid()) return Failure(IdentifyFault::kOpen);
  // Taken before the read: the lock writes out what the system still holds of the root directory, so the sector
  // read is the one on the disk, and no cached copy is written over the new name afterwards.
  ExclusiveVolumes volumes;
  if (!TakeExclusiveVolumes(driveLetters, &volumes)) return Failure(IdentifyFault::kOpen);
  uint64_t rootSector = partitionStart + FirstRootSector(kind);
  TraceLine("ModifyFloppyIdentify...DirOffset:%x", static_cast<unsigned>(rootSector));
  uint8_t sector[kSectorSize];
  std::memset(sector, 0, sizeof sector);
  // A sector beyond 32-bit sector numbers is unreadable, never another sector near the start of the disk.
  if (rootSector > UINT32_MAX ||
      ReadSectors(drive.get(), static_cast<uint32_t>(rootSector), 1, sector) != SectorIo::kOk)
    return Failure(IdentifyFault::kRead);
  if (sector[direntry::kAttributes] != direntry::kVolumeLabel) return Failure(IdentifyFault::kNoLabel);

  MakeIdentifierName(oem.bytes, sector);
  SysTime now{};
  SysGetLocalTime(&now);
  StampDirectoryEntry(sector, FatDate(now), FatTime(now), false);
  if (WriteSectors(drive.get(), static_cast<uint32_t>(rootSector), 1, sector, nullptr) != SectorIo::kOk)
    return Failure(IdentifyFault::kWrite);

  // The drive is closed before the restart: a disk this program still holds open would not stop.
  drive.reset();
  ReleaseExclusiveVolumes(&volumes);
  if (volumeName && *volumeName) RestartVolume(volumeName);
  BlockIdentify result;
  result.result = 1;
  return result;
}

BlockIdentify RenameBlockIdentifier(const BlockDisk* disk, BlockKind kind, const std::string& identifier) {
  TraceLine("**ModifyFloppyIdentify");
  if (!disk || !disk->serviceActive) return Failure(disk ? IdentifyFault::kServiceOff : IdentifyFault::kNoDisk);
  return ModifyFloppyIdentify(disk->deviceName.c_str(), disk->partitionStart, BlockFloppyKind(kind), identifier,
                              disk->volumeName.c_str(), disk->driveLetters.c_str());
}
