// A USB stick whose block area starts at S, with the multi-floppy filter driver attached and blocks laid straight
// into the disk's bytes.
#pragma once

#include <optional>

#include "base/texts.h"
#include "blocks/blocks.h"
#include "disk/queries.h"
#include "disk_fixture.h"
#include "floppy/floppy.h"

class BlockDiskTest : public SimTest {
 protected:
  void TearDown() override {
    UiLanguage = Language::English;
    SimTest::TearDown();
    SimReset();  // lets go of the image file before it is removed
    image.reset();
  }

  // Volume E: at S, and with S > 0 an MBR whose first partition is [S, S + L). Large sticks are sparse files.
  void MakeStick(uint64_t sectors, uint32_t start, uint64_t length) {
    image.reset();
    if (sectors > 64 * 2048) image.emplace("blocks");
    SimDiskSpec setup = image ? image->Stick(sectors) : MemoryStick(sectors);
    setup.volumes[0].startSector = start;
    AddDisk(setup);
    if (start > 0) SimWriteRaw(1, 0, MbrWithPartition(start, static_cast<uint32_t>(length)));
    disk = BlockDisk();
    disk.deviceName = "physicaldrive1";
    disk.volumeName = "E:";
    disk.partitionStart = start;
    disk.partitionLength = length;
    disk.driveNumber = 1;
    disk.description = "Generic Flash Disk";
  }

  // The driver as the service leaves it: in the upper filter list, attached, told the layout.
  void AttachDriver(FloppyKind kind) {
    static const char kList[] = "Dunmarle\0";
    SimSetUpperFilters(1, kRegMultiSz, std::vector<uint8_t>(kList, kList + sizeof kList));
    SimAttachFilter(1, true);
    disk.serviceActive = true;
    ASSERT_EQ(ConfigureBlocks(&disk, kBlockModeInUse, kind), 1);
  }

  uint64_t BlockStart(uint32_t block, FloppyKind kind) const {
    return disk.partitionStart + uint64_t{block} * BlockSectors(kind);
  }

  // Block n's DBR and, with a label, its first root entry (a volume label unless attributes say otherwise).
  void LayBlock(uint32_t block, FloppyKind kind, const char* label, uint8_t attributes = 0x08) {
    std::vector<uint8_t> dbr(512), root(512, 0);
    BuildFloppyDbr(kind, label ? label : "", kDosNone, dbr.data());
    SimWriteRaw(1, BlockStart(block, kind), dbr);
    if (label) {
      std::memcpy(root.data(), label, std::strlen(label));
      root[11] = attributes;
    }
    SimWriteRaw(1, BlockStart(block, kind) + FirstRootSector(kind), root);
  }
  void LayBlocks(uint32_t count, FloppyKind kind) {
    for (uint32_t n = 0; n < count; ++n) LayBlock(n, kind, ("FLPPY" + std::to_string(n)).c_str());
  }

  // The 11-byte name of block n's first root entry.
  std::string RootName(uint32_t block, FloppyKind kind) {
    std::vector<uint8_t> root = Sector(1, BlockStart(block, kind) + FirstRootSector(kind));
    return std::string(reinterpret_cast<const char*>(root.data()), 11);
  }

  BlockDisk disk;
  std::optional<SparseImage> image;
};
