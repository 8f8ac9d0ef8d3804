// What a long run of writes (a floppy image, a block batch, a USB disk format) reports and obeys: how far it is, a
// stop asked for by the user, and whether what it writes is read back at the end. A RunScope puts a control in force
// on the calling thread; the sector layer consults it at every transfer, so every writer stops, counts and records
// without anything passed down to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "sys/sys.h"

// The sectors a run wrote and a hash of each, kept while verify is on. Areas of 1 MiB that one fill covered whole
// keep a single hash, so even a fill of a whole disk costs little memory.
struct RunWrites {
  struct Area {
    uint64_t uniformHash = 0;     // every sector of the area holds this (hashes empty)
    std::vector<uint64_t> hashes;  // per sector; 0 where nothing was written
  };
  std::map<uint64_t, Area> areas;  // by first sector of the 1 MiB area
  uint64_t sectors = 0;            // sectors recorded (counted again when rewritten)
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

// Makes `control` the run in force on this thread until the scope ends (the one before comes back then).
struct RunScope {
  explicit RunScope(RunControl* control);
  ~RunScope();
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;
  RunControl* previous;
};

RunControl* CurrentRun();  // null outside every scope
bool RunStopRequested();
bool RunVerifies();
// A writer announces the bytes it is about to write, so that the progress has a total.
void RunExpect(uint64_t bytes);
// The sector layer's side: count (and, when verifying, record) a transfer that was written; a run of sectors that
// all hold one byte pattern passes uniform = true and its first sector as data.
void RunWritten(uint32_t firstSector, uint32_t count, const uint8_t* data, bool uniform);
void RunRead(uint64_t bytes);  // read back while verifying

uint64_t SectorHash(const uint8_t* sector);

// What a read-back or a capacity check found. badSector is the first sector that does not hold what was written
// (or could not be read).
struct VerifyResult {
  bool ok = true;
  bool readFailed = false;
  uint64_t badSector = 0;
};

// Reads back every sector the run in force recorded and compares it with what was written last to it. The disk's
// buffers are flushed first, so the disk itself answers.
VerifyResult VerifyRunWrites(SysHandle disk);

// Checks that the disk keeps what is written anywhere in first .. first + count - 1 before a run writes there: the
// sectors at spread places (each power of two and each sixteenth of the area) are read, a marker that names each
// place is written to all of them, read back, and the old contents are written back. A disk that claims more than
// it holds (it wraps round to its start, or drops writes past its real end) shows another place's marker or its old
// bytes. No byte of the disk changes on a sound disk. A stop asked for while it runs waits for the old contents to
// go back; the run's capacityChecked then learns which sectors they could not.
VerifyResult CheckDiskCapacity(SysHandle disk, uint32_t first, uint32_t count);
