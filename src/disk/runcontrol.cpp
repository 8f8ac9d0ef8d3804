#include "disk/runcontrol.h"

#include <cstring>

#include "fat/fat.h"

namespace {

void Report(RunControl* run) {
  if (run->progress) run->progress(run->done, run->total > run->done ? run->total : run->done);
}

void Record(RunWrites& writes, uint64_t first, uint32_t count, const uint8_t* data, bool uniform) {
  const uint64_t sameHash = uniform ? SectorHash(data) : 0;
  writes.sectors += count;
  for (uint64_t sector = first, end = first + count; sector < end;) {
    const uint64_t areaStart = sector - sector % kRunAreaSectors;
    const uint64_t areaEnd = areaStart + kRunAreaSectors < end ? areaStart + kRunAreaSectors : end;
    RunWrites::Area& area = writes.areas[areaStart];
    if (uniform && sector == areaStart && areaEnd == areaStart + kRunAreaSectors) {
      area.hashes.clear();
      area.uniformHash = sameHash;
    } else {
      if (area.hashes.empty()) area.hashes.assign(kRunAreaSectors, area.uniformHash);
      area.uniformHash = 0;
      for (uint64_t s = sector; s < areaEnd; ++s)
        area.hashes[s - areaStart] = uniform ? sameHash : SectorHash(data + (s - first) * kSectorSize);
    }
    sector = areaEnd;
  }
}

}  // namespace

bool RunStopRequested(const RunControl* run) { return run && run->stop && run->stop->load(); }

bool RunVerifies(const RunControl* run) { return run && run->verify; }

void RunExpect(RunControl* run, uint64_t bytes) {
  if (!run) return;
  run->total += bytes;
  Report(run);
}

void RunWritten(RunControl* run, uint32_t firstSector, uint32_t count, const uint8_t* data, bool uniform) {
  if (!run) return;
  if (run->verify) Record(run->writes, firstSector, count, data, uniform);
  run->done += uint64_t{count} * kSectorSize;
  Report(run);
}

void RunRead(RunControl* run, uint64_t bytes) {
  if (!run) return;
  run->done += bytes;
  Report(run);
}

uint64_t SectorHash(const uint8_t* sector) {
  // FNV-1a over 64-bit words; never 0, which marks a sector nothing was written to.
  uint64_t hash = 14695981039346656037ull;
  for (uint32_t i = 0; i < kSectorSize; i += 8) {
    uint64_t word;
    std::memcpy(&word, sector + i, 8);
    hash = (hash ^ word) * 1099511628211ull;
    hash ^= hash >> 29;
  }
  return hash | 1;
}
