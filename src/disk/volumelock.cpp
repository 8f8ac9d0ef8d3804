#include "disk/volumelock.h"

#include <atomic>
#include <cstring>

#include "app/trace.h"
#include "disk/sectorio.h"
#include "sys/ioctl.h"

namespace {

constexpr int kLockAttempts = 5;
constexpr uint32_t kLockRetryDelayMs = 400;

std::atomic<bool> gLockingDisabled{false};

bool LockWithRetries(SysHandle volume) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    uint32_t returned = 0;
    if (SysDeviceIoControl(volume, kFsctlLockVolume, nullptr, 0, nullptr, 0, &returned)) return true;
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
  for (size_t i = 0; i + 1 < length; i += 2) {
    char name[3] = {driveLetters[i], driveLetters[i + 1], '\0'};
    SysHandle volume = OpenDevice(name);
    if (volume == SysInvalidHandle()) continue;  // the volume went away: nothing of it to protect
    uint32_t returned = 0;
    SysFlushFileBuffers(volume);
    if (!LockWithRetries(volume)) {
      TraceLastError("LockVolume");
      SysCloseHandle(volume);
      ReleaseExclusiveVolumes(volumes);
      return false;
    }
    volumes->handles.push_back(volume);
    if (!SysDeviceIoControl(volume, kFsctlDismountVolume, nullptr, 0, nullptr, 0, &returned))
      TraceLastError("DismountVolume");
  }
  return true;
}

void ReleaseExclusiveVolumes(ExclusiveVolumes* volumes) {
  for (SysHandle volume : volumes->handles) {
    uint32_t returned = 0;
    SysDeviceIoControl(volume, kFsctlUnlockVolume, nullptr, 0, nullptr, 0, &returned);
    SysCloseHandle(volume);
  }
  volumes->handles.clear();
}

void DisableVolumeLockingForTesting(bool disabled) { gLockingDisabled.store(disabled); }
