// A USB stick whose block area starts at S, with the multi-floppy filter driver attached and blocks laid straight
// into the disk's bytes.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/texts.h"
#include "blocks/blocks.h"
#include "disk/queries.h"
#include "fat/fat.h"
#include "floppy/floppy.h"
#include "sim_fixture.h"

class BlockDiskTest : public SimTest {
 protected:
  void TearDown() override {
    UiLanguage = Language::English;
    SimTest::TearDown();
    SimReset();  // lets go of the image file before it is removed
    if (!imagePath.empty()) std::remove(imagePath.c_str());
  }

  // Volume E: at S, and with S > 0 an MBR whose first partition is [S, S + L). Large sticks are sparse files.
  void MakeStick(uint64_t sectors, uint32_t start, uint64_t length) {
    SimDiskSpec setup = MemoryStick(sectors);
    setup.volumes[0].startSector = start;
    if (sectors > 64 * 2048) {
      char path[] = "/tmp/korvane-blocks-XXXXXX";
      int fd = mkstemp(path);
      ASSERT_GE(fd, 0);
      close(fd);
      setup.imagePath = imagePath = path;
      setup.createImage = true;
    }
    AddDisk(setup);
    if (start > 0) {
      std::vector<uint8_t> mbr(512, 0);
      mbr[450] = 0x06, mbr[510] = 0x55, mbr[511] = 0xAA;
      PutLe32(&mbr[454], start);
      PutLe32(&mbr[458], static_cast<uint32_t>(length));
      SimWriteRaw(1, 0, mbr);
    }
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
  std::string imagePath;
};
