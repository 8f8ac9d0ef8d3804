#include "filtersvc/restart.h"

#include <cstring>

#include "base/trace.h"

namespace {

constexpr uint32_t kVolumeDeviceChars = 50;
constexpr uint32_t kPdoNameBytes = 100;

bool ChangeState(SysDevInfoSet set, SysDevInfo* device, uint32_t stateChange) {
  SysPropChangeParams params{};
  params.cbSize = 8;  // the class install header alone
  params.installFunction = kDifPropertyChange;
  params.stateChange = stateChange;
  params.scope = kDicsFlagConfigSpecific;
  params.hwProfile = 0;  // the current profile
  if (!SysSetupDiSetClassInstallParams(set, device, &params, sizeof params)) return false;
  if (!SysSetupDiCallClassInstaller(kDifPropertyChange, set, device)) {
    TraceLastError("SetupDiCallClassInstaller");
    return false;
  }
  return true;
}


}  // namespace

int RestartDevice(SysDevInfoSet set, SysDevInfo* device) {
  if (!ChangeState(set, device, kDicsStop)) return 0;
  if (!ChangeState(set, device, kDicsStart)) return 0;
  uint32_t flags = 0;
  if (!SysSetupDiGetDeviceInstallParams(set, device, &flags)) return 0;
  // DI_NEEDRESTART is not looked at: only a required reboot means the device did not restart.
  return (flags & kDiNeedReboot) ? 0 : 1;
}

void RestartVolume(const char* volumeName) {
  char ntDevice[kVolumeDeviceChars + 1];
  std::memset(ntDevice, 0, sizeof ntDevice);
  // A letter that maps to nothing (the disk was pulled) has no node to restart; an empty name must not be
  // compared with nodes whose name could not be read.
  if (!volumeName || SysQueryDosDevice(volumeName, ntDevice, kVolumeDeviceChars) == 0 || ntDevice[0] == '\0') return;
  DeviceInfoSet all(SysSetupDiGetClassDevs(&kGuidDevinterfaceVolume, kDigcfAllClasses));
  if (!all.valid()) return;
  for (uint32_t index = 0;; ++index) {
    SysDevInfo device{};
    device.cbSize = sizeof device;
    if (!SysSetupDiEnumDeviceInfo(all.set, index, &device)) break;
    char pdo[kPdoNameBytes + 1];
    std::memset(pdo, 0, sizeof pdo);
    uint32_t type = 0, required = 0;
    if (!SysSetupDiGetDeviceRegistryProperty(all.set, &device, kSpdrpPhysicalDeviceObjectName, &type, pdo,
                                             kPdoNameBytes, &required))
      continue;
    if (std::strcmp(pdo, ntDevice) == 0) {
      RestartDevice(all.set, &device);
      break;
    }
  }
}
