// What a long run of writes (a floppy image, a block batch, a USB disk format) reports and obeys: how far it is, a
// stop asked for by the user, and whether what it writes is read back at the end. The run is a value its owner (a
// page's worker, the command line) passes to every writer it controls and on to the sector layer, whose writes
// count, record and stop through it. A null run is no control: nothing is counted and nothing stops.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

// The sectors a run wrote and a hash of each, kept while verify is on. Areas of 1 MiB that one fill covered whole
// keep a single hash, so even a fill of a whole disk costs little memory.
constexpr uint32_t kRunAreaSectors = 2048;
struct RunWrites {
  struct Area {
    uint64_t uniformHash = 0;     // every sector of the area holds this (hashes empty)
    std::vector<uint64_t> hashes;  // per sector; 0 where nothing was written
  };
  std::map<uint64_t, Area> areas;  // by first sector of the 1 MiB area
  uint64_t sectors = 0;            // sectors recorded (counted again when rewritten)
  // The hash sector `index` of an area was recorded with; 0 when the run did not write it.
  static uint64_t Recorded(const Area& area, uint32_t index) {
    return area.hashes.empty() ? area.uniformHash : area.hashes[index];
  }
};

struct RunControl {
  // Bytes written (and read back, when verifying) so far, and in all. Called on the run's thread.
  std::function<void(uint64_t done, uint64_t total)> progress;
  // Set by any thread, or a signal handler, to stop the run before its next write.
  const std::atomic<bool>* stop = nullptr;
  bool verify = false;  // check the disk's capacity first and read back what was written at the end
  // Called on the run's thread when a capacity check has put back what it could, with the sectors whose old bytes
  // could not go back (empty: the disk holds again exactly what it held before the check).
  std::function<void(const std::vector<uint32_t>& notPutBack)> capacityChecked;
  uint64_t done = 0, total = 0;
  RunWrites writes;
};

bool RunStopRequested(const RunControl* run);
bool RunVerifies(const RunControl* run);
// A writer announces the bytes it is about to write, so that the progress has a total.
void RunExpect(RunControl* run, uint64_t bytes);
// The sector layer's side: count (and, when verifying, record) a transfer that was written; a run of sectors that
// all hold one byte pattern passes uniform = true and its first sector as data.
void RunWritten(RunControl* run, uint32_t firstSector, uint32_t count, const uint8_t* data, bool uniform);
void RunRead(RunControl* run, uint64_t bytes);  // read back while verifying

// The hash a run records for a sector it wrote; never 0.
uint64_t SectorHash(const uint8_t* sector);
