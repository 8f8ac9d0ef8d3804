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

// Seeks to sector S as the program always has: one 32-bit distance from the start, no high part.
bool SeekToSector(SysHandle disk, uint32_t startSector) {
  if (startSector >= kFirstUnaddressableSector) return false;
  uint32_t offset = startSector * kSectorSize;
  return SysSetFilePointer(disk, static_cast<int32_t>(offset), nullptr, kSysFileBegin) == offset;
}

uint32_t WriteRun(SysHandle disk, uint32_t count, uint32_t startSector, const uint8_t* source, bool uniform) {
  if (RunStopRequested()) return kSectorIoStopped;
  if (!SelfCheckPasses()) return kSectorIoRefused;
  if (!SeekToSector(disk, startSector)) return kSectorIoSeekFailed;
  uint32_t bytes = count * kSectorSize;
  uint32_t written = 0;
  if (!SysWriteFile(disk, source, bytes, &written)) return kSectorIoCallFailed;
  if (written != bytes) return kSectorIoShortTransfer;
  RunWritten(startSector, count, source, uniform);
  return kSectorIoOk;
}

uint32_t WriteSectorsFrom(SysHandle disk, uint32_t count, uint32_t startSector, const uint8_t* source, bool uniform) {
  do {
    uint32_t run = count > kMaxSectorsPerWrite ? kMaxSectorsPerWrite : count;
    uint32_t code = WriteRun(disk, run, startSector, source, uniform);
    if (code != kSectorIoOk) return code;
    count -= run;
    startSector += run;
    if (!uniform) source += run * kSectorSize;
  } while (count > 0);
  return kSectorIoOk;
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

uint32_t ReadSectors(SysHandle disk, uint32_t count, uint32_t startSector, void* buffer) {
  if (!SelfCheckPasses()) return kSectorIoRefused;
  if (!SeekToSector(disk, startSector)) return kSectorIoSeekFailed;
  if (count > UINT32_MAX / kSectorSize) {
    SysSetLastError(kSysErrorInvalidParameter);
    return kSectorIoCallFailed;
  }
  uint32_t bytes = count * kSectorSize;
  uint32_t got = 0;
  if (!SysReadFile(disk, buffer, bytes, &got)) {
    TraceLastError("ReadFile");
    return kSectorIoCallFailed;
  }
  return got == bytes ? kSectorIoOk : kSectorIoShortTransfer;
}

uint32_t WriteSectors(SysHandle disk, uint32_t count, uint32_t startSector, const void* buffer) {
  return WriteSectorsFrom(disk, count, startSector, static_cast<const uint8_t*>(buffer), false);
}

uint32_t FillSectors(SysHandle disk, uint32_t startSector, uint32_t count, uint8_t fillByte) {
  if (count == 0) return kSectorIoOk;
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
    uint32_t code = WriteSectorsFrom(disk, chunk, sector, fill.bytes.get(), true);
    if (code != kSectorIoOk) return code;
    sector += chunk;
    count -= chunk;
  }
  return kSectorIoOk;
}
