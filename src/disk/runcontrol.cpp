#include "disk/runcontrol.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "disk/sectorio.h"

namespace {

constexpr uint32_t kAreaSectors = 2048;  // 1 MiB

thread_local RunControl* tCurrentRun = nullptr;

void Report(RunControl* run) {
  if (run->progress) run->progress(run->done, run->total > run->done ? run->total : run->done);
}

void Record(RunWrites& writes, uint64_t first, uint32_t count, const uint8_t* data, bool uniform) {
  const uint64_t sameHash = uniform ? SectorHash(data) : 0;
  writes.sectors += count;
  for (uint64_t sector = first, end = first + count; sector < end;) {
    const uint64_t areaStart = sector - sector % kAreaSectors;
    const uint64_t areaEnd = areaStart + kAreaSectors < end ? areaStart + kAreaSectors : end;
    RunWrites::Area& area = writes.areas[areaStart];
    if (uniform && sector == areaStart && areaEnd == areaStart + kAreaSectors) {
      area.hashes.clear();
      area.uniformHash = sameHash;
    } else {
      if (area.hashes.empty()) area.hashes.assign(kAreaSectors, area.uniformHash);
      area.uniformHash = 0;
      for (uint64_t s = sector; s < areaEnd; ++s)
        area.hashes[s - areaStart] = uniform ? sameHash : SectorHash(data + (s - first) * kSectorSize);
    }
    sector = areaEnd;
  }
}

// The hash a sector was recorded with; 0 when the run did not write it.
uint64_t RecordedHash(const RunWrites::Area& area, uint32_t index) {
  return area.hashes.empty() ? area.uniformHash : area.hashes[index];
}

}  // namespace

RunScope::RunScope(RunControl* control) : previous(tCurrentRun) { tCurrentRun = control; }
RunScope::~RunScope() { tCurrentRun = previous; }

RunControl* CurrentRun() { return tCurrentRun; }

bool RunStopRequested() {
  RunControl* run = tCurrentRun;
  return run && run->stop && run->stop->load();
}

bool RunVerifies() { return tCurrentRun && tCurrentRun->verify; }

void RunExpect(uint64_t bytes) {
  if (RunControl* run = tCurrentRun) {
    run->total += bytes;
    Report(run);
  }
}

void RunWritten(uint32_t firstSector, uint32_t count, const uint8_t* data, bool uniform) {
  RunControl* run = tCurrentRun;
  if (!run) return;
  if (run->verify) Record(run->writes, firstSector, count, data, uniform);
  run->done += uint64_t{count} * kSectorSize;
  Report(run);
}

void RunRead(uint64_t bytes) {
  if (RunControl* run = tCurrentRun) {
    run->done += bytes;
    Report(run);
  }
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

VerifyResult VerifyRunWrites(SysHandle disk) {
  VerifyResult result;
  RunControl* run = tCurrentRun;
  if (!run) return result;
  SysFlushFileBuffers(disk);
  uint64_t recorded = 0;
  for (const auto& entry : run->writes.areas)
    for (uint32_t i = 0; i < kAreaSectors; ++i) recorded += RecordedHash(entry.second, i) != 0;
  RunExpect(recorded * kSectorSize);
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kAreaSectors * kSectorSize]);
  for (const auto& entry : run->writes.areas) {
    const RunWrites::Area& area = entry.second;
    // Reads each stretch of written sectors of the area in one transfer.
    for (uint32_t index = 0; index < kAreaSectors;) {
      if (RecordedHash(area, index) == 0) {
        ++index;
        continue;
      }
      uint32_t end = index;
      while (end < kAreaSectors && RecordedHash(area, end) != 0) ++end;
      const uint64_t first = entry.first + index;
      if (first + (end - index) > UINT32_MAX ||
          ReadSectors(disk, static_cast<uint32_t>(first), end - index, buffer.get()) != SectorIo::kOk) {
        result.ok = false;
        result.readFailed = true;
        result.badSector = first;
        return result;
      }
      for (uint32_t i = index; i < end; ++i)
        if (SectorHash(buffer.get() + (i - index) * kSectorSize) != RecordedHash(area, i)) {
          result.ok = false;
          result.badSector = entry.first + i;
          return result;
        }
      RunRead(uint64_t{end - index} * kSectorSize);
      index = end;
    }
  }
  return result;
}

VerifyResult CheckDiskCapacity(SysHandle disk, uint32_t first, uint32_t count) {
  VerifyResult result;
  if (count == 0) return result;
  // The markers and the old contents that go back must not be stopped half way, counted or recorded.
  RunControl* const run = tCurrentRun;
  RunScope detached(nullptr);
  std::vector<uint32_t> places;
  auto add = [&](uint64_t offset) {
    if (offset < count) places.push_back(first + static_cast<uint32_t>(offset));
  };
  for (uint64_t offset = 1; offset < count; offset *= 2) add(offset);
  for (uint64_t i = 0; i <= 16; ++i) add(i * (count - 1) / 16);
  std::sort(places.begin(), places.end());
  places.erase(std::unique(places.begin(), places.end()), places.end());

  std::vector<uint8_t> old(places.size() * kSectorSize);
  for (size_t i = 0; i < places.size(); ++i)
    if (ReadSectors(disk, places[i], 1, &old[i * kSectorSize]) != SectorIo::kOk)
      return VerifyResult{false, true, places[i]};
  auto marker = [](uint32_t sector, uint8_t* bytes) {
    static const char kTag[] = "korvane capacity marker";
    std::memset(bytes, 0, kSectorSize);
    for (uint32_t i = 0; i + 32 <= kSectorSize; i += 32) {
      std::memcpy(bytes + i, kTag, 24);
      std::memcpy(bytes + i + 24, &sector, 4);
      std::memcpy(bytes + i + 28, &i, 4);
    }
  };
  uint8_t sector[kSectorSize];
  size_t written = 0;
  for (; written < places.size() && result.ok; ++written) {
    marker(places[written], sector);
    if (WriteSectors(disk, places[written], 1, sector) != SectorIo::kOk)
      result = VerifyResult{false, true, places[written]};
  }
  if (result.ok) {
    SysFlushFileBuffers(disk);
    uint8_t expected[kSectorSize];
    for (uint32_t place : places) {
      marker(place, expected);
      if (ReadSectors(disk, place, 1, sector) != SectorIo::kOk) {
        result = VerifyResult{false, true, place};
        break;
      }
      if (std::memcmp(sector, expected, kSectorSize) != 0) {
        result = VerifyResult{false, false, place};
        break;
      }
    }
  }
  // The old contents go back wherever a marker went, a marker whose write failed included (it may have reached
  // the disk in part). On a disk that wraps, two places that share a sector read the same old bytes, so the order
  // does not matter.
  std::vector<uint32_t> notPutBack;
  while (written-- > 0)
    if (WriteSectors(disk, places[written], 1, &old[written * kSectorSize]) != SectorIo::kOk)
      notPutBack.insert(notPutBack.begin(), places[written]);
  SysFlushFileBuffers(disk);
  if (run && run->capacityChecked) run->capacityChecked(notPutBack);
  return result;
}
