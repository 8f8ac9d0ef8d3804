#include "blocks/blocks.h"

#include "disk/sectorio.h"
#include "disk/volumelock.h"
#include "filtersvc/restart.h"

bool FindBlockFilesPlace(const BlockDisk& disk, FloppyKind kind, uint32_t block, BlockFilesPlace* place) {
  place->deviceName = disk.deviceName;
  place->driveLetters = disk.driveLetters;
  place->volumeName = disk.volumeName;
  if (disk.serviceActive) {
    if (disk.partitionStart >= UINT32_MAX) return false;
    place->start = static_cast<uint32_t>(disk.partitionStart);
    return true;
  }
  return block < FloppyBlockCount(disk.partitionLength, kind) &&
         FloppyBlockStart(disk.partitionStart, block, kind, &place->start);
}

namespace {
FatFilesResult OpenFailed() {
  FatFilesResult r;
  r.error = FatFilesError::kOpen;
  return r;
}
FatFilesResult InUse() {
  FatFilesResult r;
  r.error = FatFilesError::kInUse;
  return r;
}
}  // namespace

FatFilesResult LookAtBlockFiles(const BlockFilesPlace& place, const FatFilesCall& look) {
  DeviceHandle disk(OpenDevice(place.deviceName.c_str()));
  if (!disk.valid()) return OpenFailed();
  return look(disk.get(), place.start);
}

FatFilesResult ChangeBlockFiles(const BlockFilesPlace& place, const FatFilesCall& change) {
  FatFilesResult result;
  {
    ExclusiveVolumes volumes;
    if (!TakeExclusiveVolumes(place.driveLetters.c_str(), &volumes)) return InUse();
    DeviceHandle disk(OpenDevice(place.deviceName.c_str()));
    if (!disk.valid()) return OpenFailed();
    result = change(disk.get(), place.start);
  }
  if (!place.volumeName.empty()) RestartVolume(place.volumeName.c_str());
  return result;
}
