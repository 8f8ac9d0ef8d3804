// Switching the presented block: the block layout told to the driver, the block of the current entry presented and
// the volume re-read, and the previous, next and go-to steps.
#include <cstring>

#include "base/trace.h"
#include "blocks/blocks.h"
#include "disk/queries.h"
#include "disk/sectorio.h"
#include "filtersvc/restart.h"
#include "sys/ioctl.h"

namespace {

// Reads the first sector of the disk's volume, so that the system has touched the volume before the switch. The
// sector itself is not used; the trace lines record how it went.
void TouchVolume(const BlockDisk& disk) {
  DeviceHandle volume(OpenDevice(disk.volumeName.c_str()));
  TraceLine(volume.valid() ? "OpenDevice %s succ;" : "OpenDevice %s failure;", disk.deviceName.c_str());
  TraceLastError("OpenDevice");
  if (volume.valid()) {
    uint8_t sector[kSectorSize];
    uint32_t read = 0;
    if (SysSetFilePointer(volume.get(), 0, nullptr, kSysFileBegin) == 0)
      SysReadFile(volume.get(), sector, sizeof sector, &read);
  }
  TraceLastError("ReadFile");
}

}  // namespace

bool MakeBlockConfiguration(const BlockDisk& disk, uint32_t mode, BlockKind kind, BlockConfiguration* config) {
  config->mode = mode;
  config->sectorsPerBlock = BlockSectors(kind);
  config->firstSector = static_cast<uint32_t>(disk.partitionStart);
  config->endSector = config->firstSector + static_cast<uint32_t>(disk.partitionLength);
  return config->firstSector < config->endSector;
}

int ConfigureBlocks(const BlockDisk* disk, uint32_t mode, BlockKind kind) {
  BlockConfiguration config{};
  if (!disk || !MakeBlockConfiguration(*disk, mode, kind, &config)) return 0;
  DeviceHandle drive(OpenDevice(disk->deviceName.c_str()));
  if (!drive.valid()) return 0;
  FilterBlockConfig buffer{config.mode, config.sectorsPerBlock, config.firstSector, config.endSector};
  uint32_t returned = 0;
  return SysDeviceIoControl(drive.get(), kIoctlFilterConfigureBlocks, &buffer, sizeof buffer, &buffer, sizeof buffer,
                            &returned)
             ? 1
             : 0;
}

BlockShow ShowFloppyBlock(const BlockDisk* disk, int currentEntry, const std::vector<std::string>& entries,
                          BlockKind kind) {
  BlockShow show;
  if (!disk) return show;
  TouchVolume(*disk);
  if (!disk->serviceActive) return show;
  if (currentEntry < 0 || static_cast<size_t>(currentEntry) >= entries.size()) return show;
  uint32_t block = static_cast<uint32_t>(currentEntry);
  if (!SelectBlock(disk->deviceName.c_str(), block)) return show;
  show.blockNumber = block;
  show.identifier = entries[block];
  ConfigureBlocks(disk, kBlockModeInUse, kind);
  if (!disk->volumeName.empty()) RestartVolume(disk->volumeName.c_str());
  show.shown = true;
  return show;
}

BlockStep PreviousBlockStep(const BlockDisk* disk, uint32_t blockNumber) {
  BlockStep step;
  if (!disk || !disk->serviceActive) {
    step.action = BlockStep::kNotice;
    step.fault = disk ? BlockSwitchFault::kServiceOff : BlockSwitchFault::kNoDisk;
    return step;
  }
  if (blockNumber == 0) return step;
  step.action = BlockStep::kGoTo;
  step.block = blockNumber - 1;
  return step;
}

BlockStep NextBlockStep(const BlockDisk* disk, uint32_t blockNumber, BlockKind kind) {
  BlockStep step;
  step.next = true;
  if (!disk || !disk->serviceActive) {
    step.action = BlockStep::kNotice;
    step.fault = disk ? BlockSwitchFault::kServiceOff : BlockSwitchFault::kNoDisk;
    return step;
  }
  uint64_t next = static_cast<uint64_t>(blockNumber) + 1;
  uint64_t fit = FloppyBlocksThatFit(disk->partitionLength, kind);
  if (next < fit && next < kMaxFloppyBlocks) {
    step.action = BlockStep::kGoTo;
    step.block = static_cast<uint32_t>(next);
    return step;
  }
  step.action = BlockStep::kNotice;
  step.fault = BlockSwitchFault::kPastArea;
  step.blocksThatFit = static_cast<uint32_t>(fit);
  return step;
}

BlockGoTo GoToFloppyBlock(const BlockDisk* disk, uint32_t blockNumber, BlockKind kind, int currentEntry,
                          const std::vector<std::string>& entries) {
  BlockGoTo go;
  go.block = blockNumber;
  if (!disk || !disk->serviceActive) {
    go.fault = disk ? BlockSwitchFault::kServiceOff : BlockSwitchFault::kNoDisk;
    return go;
  }
  uint64_t fit = FloppyBlocksThatFit(disk->partitionLength, kind);
  if (fit == 0 || blockNumber > fit - 1) {
    go.fault = BlockSwitchFault::kPastEnd;
    return go;
  }
  go.show = ShowFloppyBlock(disk, currentEntry, entries, kind);
  if (!go.show.shown) go.fault = BlockSwitchFault::kNotShown;
  return go;
}
