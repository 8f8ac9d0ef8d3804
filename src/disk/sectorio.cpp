#include "disk/sectorio.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/selfcheck.h"
#include "base/trace.h"
#include "sys/lock.h"

namespace {

constexpr uint32_t kStagingBytes = kMaxSectorsPerWrite * kSectorSize;  // 25,600
constexpr uint32_t kFillBufferBytes = kFillChunkSectors * kSectorSize;  // 20,480

// The fill buffer is shared by the whole process; its first byte tells which byte it holds, and filledBytes how
// much of it holds that byte. The lock makes concurrent fills take turns instead of overwriting each other's
// buffer mid-write.
struct FillBuffer {
  SysLock lock;
  uint8_t bytes[kFillBufferBytes] = {};
  uint32_t filledBytes = kFillBufferBytes;  // all zero at start
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

uint32_t WriteRun(SysHandle disk, uint32_t count, uint32_t startSector, const uint8_t* source) {
  uint8_t staging[kStagingBytes];
  std::memset(staging, 0, sizeof staging);
  if (!SelfCheckPasses()) return kSectorIoRefused;
  if (!SeekToSector(disk, startSector)) return kSectorIoSeekFailed;
  uint32_t bytes = count * kSectorSize;
  std::memcpy(staging, source, bytes);
  uint32_t written = 0;
  if (!SysWriteFile(disk, staging, bytes, &written)) return kSectorIoCallFailed;
  return written == bytes ? kSectorIoOk : kSectorIoShortTransfer;
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
  const uint8_t* source = static_cast<const uint8_t*>(buffer);
  do {
    uint32_t run = count > kMaxSectorsPerWrite ? kMaxSectorsPerWrite : count;
    uint32_t code = WriteRun(disk, run, startSector, source);
    if (code != kSectorIoOk) return code;
    count -= run;
    startSector += run;
    source += run * kSectorSize;
  } while (count > 0);
  return kSectorIoOk;
}

uint32_t FillSectors(SysHandle disk, uint32_t startSector, uint32_t count, uint8_t fillByte) {
  if (count == 0) return kSectorIoOk;
  FillBuffer& fill = TheFillBuffer();
  std::lock_guard<SysLock> lock(fill.lock);
  if (fill.bytes[0] != fillByte) {
    fill.filledBytes = count <= kFillChunkSectors ? count * kSectorSize : kFillBufferBytes;
    std::memset(fill.bytes, fillByte, fill.filledBytes);
  }
  uint32_t sector = startSector;
  while (count > 0) {
    uint32_t chunk = count > kFillChunkSectors ? kFillChunkSectors : count;
    if (fill.filledBytes < chunk * kSectorSize) {
      // An earlier, shorter fill with the same byte left the rest of the chunk with other bytes.
      fill.filledBytes = chunk * kSectorSize;
      std::memset(fill.bytes, fillByte, fill.filledBytes);
    }
    uint32_t code = WriteSectors(disk, chunk, sector, fill.bytes);
    if (code != kSectorIoOk) return code;
    sector += chunk;
    count -= chunk;
  }
  return kSectorIoOk;
}
