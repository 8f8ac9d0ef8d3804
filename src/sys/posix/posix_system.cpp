// Errors, diagnostics, time, code page and directories of the seam over the host; the Setup API, the registry and
// device notifications answer as a system without them.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

#include "sys/codepage.h"
#include "sys/lock.h"
#include "sys/posix/posix.h"
#include "sys/posix/posix_internal.h"
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

bool operator==(const SysGuid& a, const SysGuid& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

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

uint32_t SysFormatMessage(uint32_t error, char* buffer, uint32_t size) {
  static const struct {
    uint32_t error;
    const char* text;
  } kTexts[] = {
      {0, "The operation completed successfully.\r\n"},
      {1, "Incorrect function.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {3, "The system cannot find the path specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {6, "The handle is invalid.\r\n"},
      {21, "The device is not ready.\r\n"},
      {27, "The drive cannot find the sector requested.\r\n"},
      {29, "The system cannot write to the specified device.\r\n"},
      {30, "The system cannot read from the specified device.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n"},
      {50, "The request is not supported.\r\n"},
      {87, "The parameter is incorrect.\r\n"},
      {122, "The data area passed to a system call is too small.\r\n"},
      {1167, "The device is not connected.\r\n"},
  };
  for (const auto& t : kTexts) {
    if (t.error != error) continue;
    const size_t n = std::strlen(t.text);
    if (n + 1 > size) {
      tLastError = kSysErrorInsufficientBuffer;
      return 0;
    }
    std::memcpy(buffer, t.text, n + 1);
    return static_cast<uint32_t>(n);
  }
  tLastError = 317;  // ERROR_MR_MID_NOT_FOUND
  return 0;
}

void SysOutputDebugString(const char* text) {
  std::lock_guard<SysLock> lock(State().lock);
  State().debugOutput.push_back(text ? text : "");
  if (std::getenv("KORVANE_TRACE")) std::fputs(text ? text : "", stderr);
}

void SysGetLocalTime(SysTime* time) {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  time->year = static_cast<uint16_t>(t.tm_year + 1900);
  time->month = static_cast<uint16_t>(t.tm_mon + 1);
  time->dayOfWeek = static_cast<uint16_t>(t.tm_wday);
  time->day = static_cast<uint16_t>(t.tm_mday);
  time->hour = static_cast<uint16_t>(t.tm_hour);
  time->minute = static_cast<uint16_t>(t.tm_min);
  time->second = static_cast<uint16_t>(t.tm_sec);
  time->milliseconds = 0;
}

void SysSleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

uint32_t SysGetOemCodePage() {
  std::lock_guard<SysLock> lock(State().lock);
  return State().oemCodePage;
}
bool SysUtf8ToOem(const std::string& utf8, std::string* oem) { return CodePageFromUtf8(SysGetOemCodePage(), utf8, oem); }
bool SysOemToUtf8(const std::string& oem, std::string* utf8) { return CodePageToUtf8(SysGetOemCodePage(), oem, utf8); }

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
