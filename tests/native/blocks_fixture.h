// Shared set-up of the floppy block tests: a USB stick whose block area starts at S, the multi-floppy filter driver
// attached to it, and blocks laid straight into the disk's bytes.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/texts.h"
#include "blocks/blocks.h"
#include "disk/queries.h"
#include "floppy/floppy.h"
#include "sim_fixture.h"

class BlockDiskTest : public SimTest {
 protected:
  void TearDown() override {
    UiLanguage = Language::English;
    SimTest::TearDown();
    SimReset();  // lets go of an image file before it is removed
    if (!imagePath.empty()) std::remove(imagePath.c_str());
  }

  // A stick of `sectors` sectors with volume E:. With S > 0 sector 0 holds an MBR whose first partition is the
  // block area [S, S + L). Large sticks live in a sparse image file instead of memory.
  void MakeStick(uint64_t sectors, uint32_t start, uint64_t length) {
    SimDiskSpec spec = MemoryStick(sectors);
    spec.volumes[0].startSector = start;
    if (sectors > 64 * 2048) {
      char path[] = "/tmp/korvane-blocks-XXXXXX";
      int fd = mkstemp(path);
      ASSERT_GE(fd, 0);
      close(fd);
      imagePath = path;
      spec.imagePath = imagePath;
      spec.createImage = true;
    }
    if (start > 0) WriteMbr(start, length);
    AddDisk(spec);
    if (start > 0) SimWriteRaw(1, 0, mbr);
    disk = BlockDisk();
    disk.deviceName = "physicaldrive1";
    disk.volumeName = "E:";
    disk.partitionStart = start;
    disk.partitionLength = length;
    disk.driveNumber = 1;
    disk.description = "Generic Flash Disk";
  }

  // The driver as the service leaves it: named in the disk's upper filter list, attached, told the layout.
  void AttachDriver(int kindIndex) {
    static const char kList[] = "Dunmarle\0";
    SimSetUpperFilters(1, kRegMultiSz, std::vector<uint8_t>(kList, kList + sizeof kList));
    SimAttachFilter(1, true);
    disk.serviceActive = true;
    ASSERT_EQ(ConfigureBlocks(&disk, kBlockModeInUse, kindIndex), 1);
  }

  uint64_t BlockStart(uint32_t block, int kindIndex) const {
    return disk.partitionStart + uint64_t{block} * BlockSectors(kindIndex);
  }

  // Block n as a formatted image would begin: its DBR and, when label is given, the label entry as the first root
  // directory entry. attributes other than 0x08 make that first entry something else.
  void LayBlock(uint32_t block, int kindIndex, const char* label, uint8_t attributes = 0x08) {
    std::vector<uint8_t> dbr(512);
    BuildFloppyDbr(BlockFloppyKind(kindIndex), label ? label : "", kDosNone, dbr.data());
    SimWriteRaw(1, BlockStart(block, kindIndex), dbr);
    std::vector<uint8_t> root(512, 0);
    if (label) {
      std::memcpy(root.data(), label, std::strlen(label));
      root[11] = attributes;
    }
    SimWriteRaw(1, BlockStart(block, kindIndex) + BlockRootDirSector(kindIndex), root);
  }

  void LayBlocks(uint32_t count, int kindIndex) {
    for (uint32_t n = 0; n < count; ++n) LayBlock(n, kindIndex, ("FLPPY" + std::to_string(n)).c_str());
  }

  // The label name of the first root entry of block n, as the bytes lie on the disk.
  std::string RootName(uint32_t block, int kindIndex) {
    std::vector<uint8_t> root = Sector(1, BlockStart(block, kindIndex) + BlockRootDirSector(kindIndex));
    return std::string(reinterpret_cast<const char*>(root.data()), 11);
  }

  BlockDisk disk;
  std::string imagePath;

 private:
  void WriteMbr(uint32_t start, uint64_t length) {
    mbr.assign(512, 0);
    mbr[446] = 0x00;
    mbr[450] = 0x06;  // FAT16
    for (int i = 0; i < 4; ++i) {
      mbr[454 + i] = static_cast<uint8_t>(start >> (8 * i));
      mbr[458 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
  }
  std::vector<uint8_t> mbr;
};
