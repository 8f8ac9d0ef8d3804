// The simulated machine's storage stack: device controls (storage queries, SCSI pass-through, drive layout, the
// filter driver's requests, volume locks), drive letters, free space and DOS device names.
#include <cstring>

#include "sys/sim/machine.h"

bool SysDeviceIoControl(SysHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* bytesReturned) {
  (void)code;
  (void)in;
  (void)inSize;
  (void)out;
  (void)outSize;
  std::lock_guard<std::recursive_mutex> lock(SimState().mutex);
  if (bytesReturned) *bytesReturned = 0;
  if (!SimFindHandle(handle)) {
    SimSetError(kSysErrorInvalidHandle);
    return false;
  }
  SimSetError(kSysErrorInvalidFunction);
  return false;
}

uint32_t SysGetLogicalDriveStrings(uint32_t size, char* buffer) {
  (void)size;
  (void)buffer;
  return 0;
}

bool SysGetDiskFreeSpaceEx(const char* rootPath, uint64_t* freeToCaller, uint64_t* totalBytes, uint64_t* totalFree) {
  (void)rootPath;
  (void)freeToCaller;
  (void)totalBytes;
  (void)totalFree;
  SimSetError(kSysErrorPathNotFound);
  return false;
}

uint32_t SysQueryDosDevice(const char* deviceName, char* target, uint32_t size) {
  (void)deviceName;
  (void)target;
  (void)size;
  SimSetError(kSysErrorFileNotFound);
  return 0;
}
