// Errors, diagnostics, time, code page and directories of the seam over the host; the Setup API, the registry and
// device notifications answer as a system without them.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "sys/lock.h"
#include "sys/posix/posix.h"
#include "sys/posix/posix_internal.h"
#include "sys/seam_common.h"
#include "sys/sys.h"

namespace {

thread_local uint32_t tLastError = 0;

struct System {
  SysLock lock;
  std::string currentDirectory;
  std::vector<std::string> debugOutput;
  uint32_t oemCodePage = 437;
};

System& State() {
  static System* system = new System();  // lives as long as the process
  return *system;
}

bool NotSupported() {
  tLastError = kSysErrorNotSupported;
  return false;
}

}  // namespace

void PosixSetCurrentDirectory(const std::string& directory) {
  std::lock_guard<SysLock> lock(State().lock);
  State().currentDirectory = directory;
}

std::string PosixCurrentDirectory() {
  {
    std::lock_guard<SysLock> lock(State().lock);
    if (!State().currentDirectory.empty()) return State().currentDirectory;
  }
  char buffer[4096];
  return ::getcwd(buffer, sizeof buffer) ? buffer : "";
}

std::vector<std::string> PosixDebugOutput() {
  std::lock_guard<SysLock> lock(State().lock);
  return State().debugOutput;
}

void PosixClearDebugOutput() {
  std::lock_guard<SysLock> lock(State().lock);
  State().debugOutput.clear();
}

void PosixSetOemCodePage(uint32_t codePage) {
  std::lock_guard<SysLock> lock(State().lock);
  State().oemCodePage = codePage;
}

uint32_t SysGetCurrentDirectory(uint32_t size, char* buffer) {
  const std::string directory = PosixCurrentDirectory();
  if (directory.empty()) return 0;
  if (directory.size() + 1 > size) return static_cast<uint32_t>(directory.size() + 1);
  std::memcpy(buffer, directory.c_str(), directory.size() + 1);
  return static_cast<uint32_t>(directory.size());
}

uint32_t SysGetWindowsDirectory(char* buffer, uint32_t size) {
  (void)buffer;
  (void)size;
  tLastError = kSysErrorPathNotFound;  // no Windows folder on this side
  return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Errors, diagnostics, time
// ---------------------------------------------------------------------------------------------------------------

uint32_t SysGetLastError() { return tLastError; }
void SysSetLastError(uint32_t error) { tLastError = error; }

void SysOutputDebugString(const char* text) {
  std::lock_guard<SysLock> lock(State().lock);
  State().debugOutput.push_back(text ? text : "");
  if (std::getenv("KORVANE_TRACE")) std::fputs(text ? text : "", stderr);
}

void SysGetLocalTime(SysTime* time) { HostLocalTime(time); }

uint32_t SysGetOemCodePage() {
  std::lock_guard<SysLock> lock(State().lock);
  return State().oemCodePage;
}

// ---------------------------------------------------------------------------------------------------------------
// Setup API, registry and device notifications: none on this side
// ---------------------------------------------------------------------------------------------------------------

SysDevInfoSet SysSetupDiGetClassDevs(const SysGuid*, uint32_t) {
  NotSupported();
  return SysInvalidDevInfoSet();
}
bool SysSetupDiDestroyDeviceInfoList(SysDevInfoSet) { return NotSupported(); }
bool SysSetupDiEnumDeviceInfo(SysDevInfoSet, uint32_t, SysDevInfo*) { return NotSupported(); }
bool SysSetupDiEnumDeviceInterfaces(SysDevInfoSet, const SysGuid*, uint32_t, SysDevInterface*) {
  return NotSupported();
}
bool SysSetupDiGetDeviceInterfaceDetail(SysDevInfoSet, SysDevInterface*, uint32_t, char*, uint32_t, SysDevInfo*) {
  return NotSupported();
}
bool SysSetupDiGetDeviceRegistryProperty(SysDevInfoSet, SysDevInfo*, uint32_t, uint32_t*, void*, uint32_t,
                                         uint32_t*) {
  return NotSupported();
}
bool SysSetupDiSetDeviceRegistryProperty(SysDevInfoSet, SysDevInfo*, uint32_t, const void*, uint32_t) {
  return NotSupported();
}
bool SysSetupDiSetClassInstallParams(SysDevInfoSet, SysDevInfo*, const SysPropChangeParams*, uint32_t) {
  return NotSupported();
}
bool SysSetupDiCallClassInstaller(uint32_t, SysDevInfoSet, SysDevInfo*) { return NotSupported(); }
bool SysSetupDiGetDeviceInstallParams(SysDevInfoSet, SysDevInfo*, uint32_t*) { return NotSupported(); }

SysRegKey SysHkeyLocalMachine() { return nullptr; }
int32_t SysRegCreateKey(SysRegKey, const char*, SysRegKey* key) {
  if (key) *key = nullptr;
  return static_cast<int32_t>(kSysErrorNotSupported);
}
int32_t SysRegSetValueEx(SysRegKey, const char*, uint32_t, const void*, uint32_t) {
  return static_cast<int32_t>(kSysErrorNotSupported);
}
int32_t SysRegCloseKey(SysRegKey) { return static_cast<int32_t>(kSysErrorInvalidHandle); }

void* SysRegisterDeviceNotification(void*, const SysGuid*) {
  NotSupported();
  return nullptr;
}
bool SysUnregisterDeviceNotification(void*) { return NotSupported(); }
