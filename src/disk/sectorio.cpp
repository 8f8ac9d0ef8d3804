#include "disk/sectorio.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "base/selfcheck.h"
#include "base/trace.h"
#include "disk/runcontrol.h"
#include "sys/lock.h"

namespace {

constexpr uint32_t kFillBufferBytes = kFillChunkSectors * kSectorSize;  // 1 MiB

// The fill buffer is shared by the whole process; its first byte tells which byte it holds, and filledBytes how
// much of it holds that byte. The lock makes concurrent fills take turns instead of overwriting each other's
// buffer mid-write. It is allocated by the first fill, not on any thread's stack.
struct FillBuffer {
  SysLock lock;
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t filledBytes = 0;
};

FillBuffer& TheFillBuffer() {
  static FillBuffer buffer;
  return buffer;
}

// Seeks to sector S with its 64-bit byte offset: the low 32 bits as the distance and the high part beside it, as
// SetFilePointer takes them on every Windows the program runs on. The position reached must be the offset, high
// part included; a failed call answers 0xFFFFFFFF with an error set (a sector's offset never has those low bits).
bool SeekToSector(SysHandle disk, uint32_t startSector) {
  const uint64_t offset = uint64_t{startSector} * kSectorSize;
  int32_t high = static_cast<int32_t>(offset >> 32);
  SysSetLastError(kSysErrorSuccess);
  const uint32_t low =
      SysSetFilePointer(disk, static_cast<int32_t>(static_cast<uint32_t>(offset)), &high, kSysFileBegin);
  if (low == kSysInvalidSetFilePointer && SysGetLastError() != kSysErrorSuccess) return false;
  return ((uint64_t{static_cast<uint32_t>(high)} << 32) | low) == offset;
}

// A run that would go on past the last 32-bit sector number: refused whole, so no sector number wraps round to
// the start of the disk.
bool PastLastSector(uint32_t startSector, uint32_t count) {
  return uint64_t{startSector} + count > kFirstUnaddressableSector;
}

SectorIo WriteTransfer(SysHandle disk, uint32_t startSector, uint32_t count, const uint8_t* source, bool uniform,
                       RunControl* run) {
  if (RunStopRequested(run)) return SectorIo::kStopped;
  if (!SelfCheckPasses()) return SectorIo::kRefused;
  if (!SeekToSector(disk, startSector)) return SectorIo::kSeekFailed;
  uint32_t bytes = count * kSectorSize;
  uint32_t written = 0;
  if (!SysWriteFile(disk, source, bytes, &written)) return SectorIo::kCallFailed;
  if (written != bytes) return SectorIo::kShortTransfer;
  RunWritten(run, startSector, count, source, uniform);
  return SectorIo::kOk;
}

SectorIo WriteSectorsFrom(SysHandle disk, uint32_t startSector, uint32_t count, const uint8_t* source, bool uniform,
                          RunControl* run) {
  if (PastLastSector(startSector, count)) return SectorIo::kSeekFailed;
  do {
    const uint32_t part = count > kMaxSectorsPerWrite ? kMaxSectorsPerWrite : count;
    SectorIo code = WriteTransfer(disk, startSector, part, source, uniform, run);
    if (code != SectorIo::kOk) return code;
    count -= part;
    startSector += part;
    if (!uniform) source += part * kSectorSize;
  } while (count > 0);
  return SectorIo::kOk;
}

}  // namespace

SysHandle OpenDevice(const char* deviceName) {
  char path[30];
  int length = std::snprintf(path, sizeof path, "\\\\.\\%s", deviceName);
  if (length < 0 || length >= static_cast<int>(sizeof path)) {
    // A name longer than the path buffer is refused rather than cut to another device's name.
    SysSetLastError(kSysErrorInvalidParameter);
    return SysInvalidHandle();
  }
  return SysCreateFile(path, kSysGenericRead | kSysGenericWrite, kSysShareRead | kSysShareWrite | kSysShareDelete,
                       kSysOpenExisting, kSysAttributeNormal);
}

SectorIo ReadSectors(SysHandle disk, uint32_t startSector, uint32_t count, void* buffer) {
  if (!SelfCheckPasses()) return SectorIo::kRefused;
  if (PastLastSector(startSector, count) || !SeekToSector(disk, startSector)) return SectorIo::kSeekFailed;
  if (count > UINT32_MAX / kSectorSize) {
    SysSetLastError(kSysErrorInvalidParameter);
    return SectorIo::kCallFailed;
  }
  uint32_t bytes = count * kSectorSize;
  uint32_t got = 0;
  if (!SysReadFile(disk, buffer, bytes, &got)) {
    TraceLastError("ReadFile");
    return SectorIo::kCallFailed;
  }
  return got == bytes ? SectorIo::kOk : SectorIo::kShortTransfer;
}

SectorIo WriteSectors(SysHandle disk, uint32_t startSector, uint32_t count, const void* buffer, RunControl* run) {
  return WriteSectorsFrom(disk, startSector, count, static_cast<const uint8_t*>(buffer), false, run);
}

SectorIo FillSectors(SysHandle disk, uint32_t startSector, uint32_t count, uint8_t fillByte, RunControl* run) {
  if (count == 0) return SectorIo::kOk;
  if (PastLastSector(startSector, count)) return SectorIo::kSeekFailed;
  FillBuffer& fill = TheFillBuffer();
  std::lock_guard<SysLock> lock(fill.lock);
  if (!fill.bytes) fill.bytes.reset(new uint8_t[kFillBufferBytes]);
  if (fill.filledBytes == 0 || fill.bytes[0] != fillByte) fill.filledBytes = 0;
  uint32_t sector = startSector;
  while (count > 0) {
    // The first chunk runs up to the next 1 MiB boundary of the disk; the others are whole 1 MiB chunks.
    uint32_t toBoundary = kFillChunkSectors - sector % kFillChunkSectors;
    uint32_t chunk = count > toBoundary ? toBoundary : count;
    if (fill.filledBytes < chunk * kSectorSize) {
      // Only a change of byte, or a chunk longer than the part that already holds it, costs a refill.
      std::memset(fill.bytes.get(), fillByte, chunk * kSectorSize);
      fill.filledBytes = chunk * kSectorSize;
    }
    SectorIo code = WriteSectorsFrom(disk, sector, chunk, fill.bytes.get(), true, run);
    if (code != SectorIo::kOk) return code;
    sector += chunk;
    count -= chunk;
  }
  return SectorIo::kOk;
}
