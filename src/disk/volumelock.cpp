#include "disk/volumelock.h"

#include <atomic>
#include <cstring>

#include "base/trace.h"
#include "disk/sectorio.h"
#include "sys/ioctl.h"

namespace {

constexpr int kLockAttempts = 5;
constexpr uint32_t kLockRetryDelayMs = 400;

std::atomic<bool> gLockingDisabled{false};

bool VolumeRequest(SysHandle volume, uint32_t code) {
  uint32_t returned = 0;
  return SysDeviceIoControl(volume, code, nullptr, 0, nullptr, 0, &returned);
}

// A program that is just closing its files on the volume lets go within moments, so a refused lock is tried again.
bool LockWithRetries(SysHandle volume) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (VolumeRequest(volume, kFsctlLockVolume)) return true;
    if (attempt + 1 < kLockAttempts) SysSleep(kLockRetryDelayMs);
  }
  return false;
}

}  // namespace

ExclusiveVolumes& ExclusiveVolumes::operator=(ExclusiveVolumes&& other) noexcept {
  if (this != &other) {
    ReleaseExclusiveVolumes(this);
    handles = std::move(other.handles);
    other.handles.clear();
  }
  return *this;
}

ExclusiveVolumes::~ExclusiveVolumes() { ReleaseExclusiveVolumes(this); }

bool TakeExclusiveVolumes(const char* driveLetters, ExclusiveVolumes* volumes) {
  ReleaseExclusiveVolumes(volumes);
  if (gLockingDisabled.load()) return true;
  size_t length = driveLetters ? std::strlen(driveLetters) : 0;
  // Every volume is locked before any is dismounted: when one of them cannot be locked, the others are given back
  // still mounted, and the disk is left exactly as the user had it.
  for (size_t i = 0; i + 1 < length; i += 2) {
    char name[3] = {driveLetters[i], driveLetters[i + 1], '\0'};
    SysHandle volume = OpenDevice(name);
    if (volume == SysInvalidHandle()) continue;  // the volume went away: nothing of it to protect
    SysFlushFileBuffers(volume);
    if (!LockWithRetries(volume)) {
      TraceLastError("LockVolume");
      SysCloseHandle(volume);
      ReleaseExclusiveVolumes(volumes);
      return false;
    }
    volumes->handles.push_back(volume);
  }
  // Dismounted, the file system drops what it cached of the volume and reads it afresh when it mounts it again.
  for (SysHandle volume : volumes->handles)
    if (!VolumeRequest(volume, kFsctlDismountVolume)) TraceLastError("DismountVolume");
  return true;
}

void ReleaseExclusiveVolumes(ExclusiveVolumes* volumes) {
  for (SysHandle volume : volumes->handles) {
    VolumeRequest(volume, kFsctlUnlockVolume);
    SysCloseHandle(volume);
  }
  volumes->handles.clear();
}

void DisableVolumeLockingForTesting(bool disabled) { gLockingDisabled.store(disabled); }
