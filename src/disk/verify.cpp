#include "disk/verify.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "disk/sectorio.h"

VerifyResult VerifyRunWrites(SysHandle disk, RunControl* run) {
  VerifyResult result;
  if (!run) return result;
  SysFlushFileBuffers(disk);
  uint64_t recorded = 0;
  for (const auto& entry : run->writes.areas)
    for (uint32_t i = 0; i < kRunAreaSectors; ++i) recorded += RunWrites::Recorded(entry.second, i) != 0;
  RunExpect(run, recorded * kSectorSize);
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kRunAreaSectors * kSectorSize]);
  for (const auto& entry : run->writes.areas) {
    const RunWrites::Area& area = entry.second;
    // Reads each stretch of written sectors of the area in one transfer.
    for (uint32_t index = 0; index < kRunAreaSectors;) {
      if (RunWrites::Recorded(area, index) == 0) {
        ++index;
        continue;
      }
      uint32_t end = index;
      while (end < kRunAreaSectors && RunWrites::Recorded(area, end) != 0) ++end;
      const uint64_t first = entry.first + index;
      if (first + (end - index) > UINT32_MAX ||
          ReadSectors(disk, static_cast<uint32_t>(first), end - index, buffer.get()) != SectorIo::kOk) {
        result.ok = false;
        result.readFailed = true;
        result.badSector = first;
        return result;
      }
      for (uint32_t i = index; i < end; ++i)
        if (SectorHash(buffer.get() + (i - index) * kSectorSize) != RunWrites::Recorded(area, i)) {
          result.ok = false;
          result.badSector = entry.first + i;
          return result;
        }
      RunRead(run, uint64_t{end - index} * kSectorSize);
      index = end;
    }
  }
  return result;
}

VerifyResult CheckDiskCapacity(SysHandle disk, uint32_t first, uint32_t count, RunControl* run) {
  VerifyResult result;
  if (count == 0) return result;
  // The markers and the old contents that go back are written outside the run: never stopped half way, counted
  // or recorded.
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
    if (WriteSectors(disk, places[written], 1, sector, nullptr) != SectorIo::kOk)
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
    if (WriteSectors(disk, places[written], 1, &old[written * kSectorSize], nullptr) != SectorIo::kOk)
      notPutBack.insert(notPutBack.begin(), places[written]);
  SysFlushFileBuffers(disk);
  if (run && run->capacityChecked) run->capacityChecked(notPutBack);
  return result;
}
