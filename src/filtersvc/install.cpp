#include "filtersvc/install.h"

#include <cstring>

#include "sys/sys.h"

namespace {

void SetText(SysRegKey key, const char* name, uint32_t type, const char* text) {
  // Text values are stored with their terminating zero.
  SysRegSetValueEx(key, name, type, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

void SetDword(SysRegKey key, const char* name, uint32_t value) {
  uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                      static_cast<uint8_t>(value >> 24)};
  SysRegSetValueEx(key, name, kRegDword, bytes, sizeof bytes);
}

}  // namespace

std::string InstalledDriverPath() {
  char directory[kInstalledDriverPathSize] = {};
  uint32_t length = SysGetWindowsDirectory(directory, sizeof directory);
  // 0 is a failure and a length of at least the buffer's size is the size the system would need.
  if (length == 0 || length >= sizeof directory) return std::string();
  if (length + sizeof kInstalledDriverSuffix > kInstalledDriverPathSize) return std::string();
  return std::string(directory, length) + kInstalledDriverSuffix;
}

int InstallFilterService() {
  std::string destination = InstalledDriverPath();
  if (destination.empty()) return 0;
  // A newer driver beside the program replaces the installed one.
  if (!SysCopyFile(kFilterDriverFile, destination.c_str(), false)) return 0;
  SysRegKey key = nullptr;
  if (SysRegCreateKey(SysHkeyLocalMachine(), kFilterServiceKey, &key) != 0) return 0;
  // A value that cannot be written leaves the others written; the installation still counts as done.
  SetText(key, "DisplayName", kRegSz, kFilterServiceName);
  SetText(key, "Group", kRegSz, "Disk Bus Extender");
  SetText(key, "ImagePath", kRegExpandSz, "system32\\drivers\\Dunmarle.sys");
  SetDword(key, "Start", 3);         // SERVICE_DEMAND_START
  SetDword(key, "Tag", 4);           // position within the load order group
  SetDword(key, "Type", 1);          // SERVICE_KERNEL_DRIVER
  SetDword(key, "ErrorControl", 1);  // SERVICE_ERROR_NORMAL
  SysRegCloseKey(key);
  return 1;
}
