// Sector I/O on physical disks and volumes: 512-byte sectors at absolute 32-bit sector numbers (the first 2 TiB).
// Handles belong to the caller, who closes them. Every transfer takes (disk, startSector, count, ...); the writes
// take the run they belong to last.
#pragma once

#include <cstdint>

#include "fat/fat.h"
#include "sys/sys.h"

struct RunControl;  // disk/runcontrol.h

// Sector numbers are 32-bit; the seek carries the byte offset's high part, so every sector they name is reached.
// A transfer or an image that would run past the last of them is refused by its caller, never wrapped round.
constexpr uint64_t kFirstUnaddressableSector = uint64_t{1} << 32;
// A transfer moves at most 8 MiB (longer writes go out in several); the storage stack splits a request into what
// the adapter takes, so large transfers cost fewer commands on a USB stick.
constexpr uint32_t kMaxSectorsPerWrite = 16384;
// Fills go out in chunks of 1 MiB that end on 1 MiB boundaries of the disk, the unit flash erases and writes best.
constexpr uint32_t kFillChunkSectors = 2048;

// What a transfer came to; the numbers are kept as they always were.
enum class SectorIo : uint32_t {
  kOk = 0,
  kSeekFailed = 3,
  kCallFailed = 4,
  kShortTransfer = 5,
  kRefused = 6,  // the program's self-check failed
  kStopped = 7,  // the user stopped the run (disk/runcontrol.h) before this write; nothing was written
};

// Opens "\\.\<deviceName>" ("physicaldrive1", "E:") for reading and writing with full sharing.
// SysInvalidHandle() on failure; the system's last error tells why.
SysHandle OpenDevice(const char* deviceName);

// Reads count sectors from startSector into buffer (count x 512 bytes). A failed read call leaves a
// "ReadFile" trace line with the system error.
SectorIo ReadSectors(SysHandle disk, uint32_t startSector, uint32_t count, void* buffer);

// Writes count sectors straight from the buffer, in one transfer up to kMaxSectorsPerWrite. What is written counts
// in the run (null: none); a run stopped by the user writes nothing more and gives SectorIo::kStopped.
SectorIo WriteSectors(SysHandle disk, uint32_t startSector, uint32_t count, const void* buffer, RunControl* run);

// Writes count sectors of nothing but fillByte from the process-wide fill buffer, in chunks aligned to 1 MiB of the
// disk, counted in and stopped by the run as WriteSectors is. Fills on different threads take turns, so they never
// see each other's bytes.
SectorIo FillSectors(SysHandle disk, uint32_t startSector, uint32_t count, uint8_t fillByte, RunControl* run);

// Opened device handle that closes itself.
struct DeviceHandle {
  SysHandle handle = SysInvalidHandle();
  DeviceHandle() = default;
  explicit DeviceHandle(SysHandle h) : handle(h) {}
  DeviceHandle(const DeviceHandle&) = delete;
  DeviceHandle& operator=(const DeviceHandle&) = delete;
  DeviceHandle(DeviceHandle&& other) noexcept : handle(other.release()) {}
  DeviceHandle& operator=(DeviceHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle = other.release();
    }
    return *this;
  }
  ~DeviceHandle() { reset(); }
  bool valid() const { return handle != SysInvalidHandle(); }
  SysHandle get() const { return handle; }
  SysHandle release() {
    SysHandle h = handle;
    handle = SysInvalidHandle();
    return h;
  }
  void reset() {
    if (valid()) SysCloseHandle(handle);
    handle = SysInvalidHandle();
  }
};
