// The simulated machine's device nodes through the Setup API: device information sets, interfaces, registry
// properties (the upper filter list), stops and starts of a device, and device notifications.
#include "sys/sim/machine.h"

SysDevInfoSet SysSetupDiGetClassDevs(const SysGuid* classGuid, uint32_t flags) {
  (void)classGuid;
  (void)flags;
  SimSetError(kSysErrorInvalidParameter);
  return SysInvalidDevInfoSet();
}
bool SysSetupDiDestroyDeviceInfoList(SysDevInfoSet set) {
  (void)set;
  return true;
}
bool SysSetupDiEnumDeviceInfo(SysDevInfoSet set, uint32_t index, SysDevInfo* device) {
  (void)set;
  (void)index;
  (void)device;
  SimSetError(kSysErrorNoMoreItems);
  return false;
}
bool SysSetupDiEnumDeviceInterfaces(SysDevInfoSet set, const SysGuid* interfaceGuid, uint32_t index,
                                    SysDevInterface* iface) {
  (void)set;
  (void)interfaceGuid;
  (void)index;
  (void)iface;
  SimSetError(kSysErrorNoMoreItems);
  return false;
}
bool SysSetupDiGetDeviceInterfaceDetail(SysDevInfoSet set, SysDevInterface* iface, uint32_t detailSize,
                                        char* devicePath, uint32_t pathSize, SysDevInfo* device) {
  (void)set;
  (void)iface;
  (void)detailSize;
  (void)devicePath;
  (void)pathSize;
  (void)device;
  SimSetError(kSysErrorInvalidParameter);
  return false;
}
bool SysSetupDiGetDeviceRegistryProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                         uint32_t* regType, void* buffer, uint32_t size, uint32_t* requiredSize) {
  (void)set;
  (void)device;
  (void)property;
  (void)regType;
  (void)buffer;
  (void)size;
  (void)requiredSize;
  SimSetError(kSysErrorInvalidParameter);
  return false;
}
bool SysSetupDiSetDeviceRegistryProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                         const void* buffer, uint32_t size) {
  (void)set;
  (void)device;
  (void)property;
  (void)buffer;
  (void)size;
  SimSetError(kSysErrorInvalidParameter);
  return false;
}
bool SysSetupDiSetClassInstallParams(SysDevInfoSet set, SysDevInfo* device, const SysPropChangeParams* params,
                                     uint32_t size) {
  (void)set;
  (void)device;
  (void)params;
  (void)size;
  SimSetError(kSysErrorInvalidParameter);
  return false;
}
bool SysSetupDiCallClassInstaller(uint32_t installFunction, SysDevInfoSet set, SysDevInfo* device) {
  (void)installFunction;
  (void)set;
  (void)device;
  SimSetError(kSysErrorInvalidParameter);
  return false;
}
bool SysSetupDiGetDeviceInstallParams(SysDevInfoSet set, SysDevInfo* device, uint32_t* flags) {
  (void)set;
  (void)device;
  (void)flags;
  SimSetError(kSysErrorInvalidParameter);
  return false;
}

void* SysRegisterDeviceNotification(void* window, const SysGuid* interfaceClass) {
  (void)interfaceClass;
  SimMachineState& m = SimState();
  std::lock_guard<std::recursive_mutex> lock(m.mutex);
  int id = m.nextNotification++;
  m.notifications.push_back({window, id});
  return reinterpret_cast<void*>(static_cast<intptr_t>(id));
}

bool SysUnregisterDeviceNotification(void* notification) {
  SimMachineState& m = SimState();
  std::lock_guard<std::recursive_mutex> lock(m.mutex);
  int id = static_cast<int>(reinterpret_cast<intptr_t>(notification));
  for (auto it = m.notifications.begin(); it != m.notifications.end(); ++it)
    if (it->second == id) {
      m.notifications.erase(it);
      return true;
    }
  return false;
}
