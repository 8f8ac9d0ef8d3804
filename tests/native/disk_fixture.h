// Disk contents for the device query, discovery and restart tests: partition tables, FAT boot records and
// sparse image files for disks too large to keep in memory.
#pragma once

#include <cstdio>

#include "fat/fat.h"
#include "sim_fixture.h"

// Sector 0 with one partition table entry in slot `slot` (the other slots empty).
inline std::vector<uint8_t> MbrWithPartition(uint32_t start, uint32_t count, int slot = 0, uint8_t type = 0x06) {
  std::vector<uint8_t> s(512, 0);
  s[0] = 0x33;  // xor ax,ax: boot code, not a jump to a boot record
  uint8_t* e = &s[446 + 16 * slot];
  e[0] = 0x80;
  e[4] = type;
  PutLe32(e + 8, start);
  PutLe32(e + 12, count);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

// A FAT boot record whose fields give `clusters` clusters: 1 sector per cluster, 1 reserved sector, 2 FATs of 32
// sectors, 512 root entries.
inline std::vector<uint8_t> BootRecordWithClusters(uint32_t clusters) {
  std::vector<uint8_t> s(512, 0);
  s[0] = 0xEB;
  s[1] = 0x3C;
  s[2] = 0x90;
  PutLe16(&s[bpb::kBytesPerSector], 512);
  s[bpb::kSectorsPerCluster] = 1;
  PutLe16(&s[bpb::kReservedSectors], 1);
  s[bpb::kNumberOfFats] = 2;
  PutLe16(&s[bpb::kRootEntries], 512);
  PutLe16(&s[bpb::kSectorsPerFat], 32);
  uint32_t total = clusters + 97;
  if (total < 65536) PutLe16(&s[bpb::kTotalSectors16], static_cast<uint16_t>(total));
  else PutLe32(&s[bpb::kTotalSectors32], total);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

// A sparse image file that goes away with the object.
struct SparseImage {
  std::string path;
  explicit SparseImage(const std::string& name)
      : path(::testing::TempDir() + "korvane_" + name + "_" + std::to_string(::getpid()) + ".img") {
    std::remove(path.c_str());
  }
  ~SparseImage() { std::remove(path.c_str()); }
  SimDiskSpec Stick(uint64_t sectors, int number = 1, char letter = 'E') const {
    SimDiskSpec setup = MemoryStick(sectors, number, letter);
    setup.imagePath = path;
    setup.createImage = true;
    return setup;
  }
};
