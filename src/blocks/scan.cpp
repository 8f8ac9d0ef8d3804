// The block scan: the list of blocks from the first, as the page shows it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/texts.h"
#include "blocks/blocks.h"
#include "blocks/texts.h"
#include "disk/queries.h"
#include "disk/sectorio.h"

namespace {

// Reads one sector at block start + offset; false when the sector lies beyond 32-bit sector numbers or the read
// fails.
bool ReadBlockSector(SysHandle drive, uint32_t blockStart, uint32_t offset, uint8_t* sector) {
  uint64_t at = static_cast<uint64_t>(blockStart) + offset;
  return at <= UINT32_MAX && ReadSectors(drive, static_cast<uint32_t>(at), 1, sector) == SectorIo::kOk;
}

}  // namespace

BlockList ReadBlockList(const char* deviceName, uint64_t partitionStart, uint64_t partitionLength, BlockKind kind) {
  BlockList list;
  const uint32_t blocks = FloppyBlockCount(partitionLength, kind);
  DeviceHandle drive(OpenDevice(deviceName));
  if (!drive.valid()) return list;
  // Each block's DBR and the first root directory sector where its kind puts it, in one read; a block whose BPB
  // puts the root elsewhere, or whose sectors cannot all be read at once, is read sector by sector.
  const uint32_t headSectors = FirstRootSector(BlockFloppyKind(kind)) + 1;
  std::vector<uint8_t> head(size_t{headSectors} * kSectorSize);
  for (uint32_t n = 0; n < blocks; ++n) {
    uint8_t* sector = head.data();
    std::fill(head.begin(), head.end(), 0);
    uint32_t start = 0;
    const bool placed = FloppyBlockStart(partitionStart, n, kind, &start);
    const bool wholeHead = placed && uint64_t{start} + headSectors <= UINT32_MAX &&
                           ReadSectors(drive.get(), start, headSectors, sector) == SectorIo::kOk;
    if (!wholeHead && (!placed || !ReadBlockSector(drive.get(), start, 0, sector))) {
      list.entries.push_back(NotAccessedEntryText(n));
      break;
    }
    if (!IsValidBlockBootRecord(sector, kind)) {
      list.entries.push_back(UnformattedEntryText(n));
      break;
    }
    ++list.validBlockCount;
    uint32_t rootOffset = RootDirectoryOffset(sector);
    uint8_t* root = sector + size_t{rootOffset} * kSectorSize;
    if (!wholeHead || rootOffset >= headSectors) {
      root = sector;
      std::memset(root, 0, kSectorSize);
      // A root directory that cannot be read hides the identifier, not the block.
      if (!ReadBlockSector(drive.get(), start, rootOffset, root)) {
        list.entries.push_back(FormatText(kUnlabelledEntry, static_cast<int>(n)));
        continue;
      }
    }
    list.entries.push_back(ValidBlockEntryText(n, root));
  }
  return list;
}

BlockScan ScanFloppyBlocks(const BlockDisk& disk, BlockKind kind) {
  BlockScan scan;
  const char* device = disk.deviceName.c_str();
  if (!disk.serviceActive) {
    scan.outcome = BlockScanOutcome::kServiceOff;
    return scan;
  }
  const uint32_t blockCount = FloppyBlockCount(disk.partitionLength, kind);
  scan.outcome = BlockScanOutcome::kScanned;
  scan.blockCount = blockCount;
  if (blockCount == 0) {
    // No block fits: nothing to read. Block 0 is asked for as after any empty scan; a driver that refuses it
    // presents nothing of the area either, so its answer changes nothing here.
    SelectBlock(device, 0);
    return scan;
  }
  uint32_t presented = GetCurrentBlock(device);
  if (!SelectBlock(device, 0)) {
    scan = BlockScan();
    scan.outcome = BlockScanOutcome::kDriverRefused;
    return scan;
  }
  BlockList list = ReadBlockList(device, disk.partitionStart, disk.partitionLength, kind);
  scan.entries = std::move(list.entries);
  scan.validBlockCount = list.validBlockCount;
  if (!scan.entries.empty()) {
    // The block presented before the scan stays presented when it is still listed; otherwise the last listed one.
    uint32_t last = static_cast<uint32_t>(scan.entries.size() - 1);
    if (presented > last) presented = last;
    // Should the driver refuse, block 0 is still the one presented, and the page must say so.
    if (!SelectBlock(device, presented)) presented = 0;
    scan.currentEntry = static_cast<int>(presented);
    scan.blockNumber = presented;
    scan.identifier = scan.entries[presented];
  }
  return scan;
}
