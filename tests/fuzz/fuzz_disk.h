// What the fuzz targets share: a fresh simulated machine whose USB stick (physical drive 1, in memory) holds the
// input's bytes at the sectors a target names, so the program reads them as it reads a real disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sys/sim/sim.h"

// Sectors of 512 bytes cut from the input, zero-padded; at most `limit` of them.
inline std::vector<std::vector<uint8_t>> InputSectors(const uint8_t* data, size_t size, size_t limit) {
  std::vector<std::vector<uint8_t>> sectors;
  for (size_t at = 0; at < size && sectors.size() < limit; at += 512) {
    std::vector<uint8_t> sector(512, 0);
    std::memcpy(sector.data(), data + at, size - at < 512 ? size - at : 512);
    sectors.push_back(sector);
  }
  if (sectors.empty()) sectors.emplace_back(512, 0);
  return sectors;
}

// A fresh machine with one memory stick of `sectors` sectors and volume E: over all of it.
inline void FreshStick(uint64_t sectors) {
  SimReset();
  SimAddDisk(SimStick(1, 'E', sectors));
}
