// The simulated machine's device nodes through the Setup API: device information sets, interfaces, registry
// properties (the upper filter list), stops and starts of a device, and device notifications.
//
// Nodes: one system device, then for every disk its storage port (the USB mass storage device or the IDE channel),
// the disk itself and one node per volume. The disk node carries the disk's physical device object name and the
// disk interface, whose path holds the vendor and product as USBSTOR writes them (ven_generic&prod_flash_disk);
// a volume node's physical device object is the volume's NT device, the name QueryDosDevice gives for its letter.
// A stop and start of a disk node, or of one of its volume or port nodes, restarts the disk.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "sys/sim/machine.h"

namespace {

constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorInvalidUserBuffer = 1784;
constexpr uint32_t kErrorNoClassInstallParams = 0xE0000215;
constexpr uint32_t kErrorInvalidClassInstaller = 0xE000020D;
constexpr uint32_t kSpintActive = 1;
constexpr const char* kFilterDriverName = "Dunmarle";

constexpr SysGuid kGuidDevclassDiskDrive = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr SysGuid kGuidDevclassVolume = {0x71A27CDD, 0x812A, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
constexpr SysGuid kGuidDevclassUsb = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr SysGuid kGuidDevclassHdc = {0x4D36E96A, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

enum class NodeKind { System, Port, Disk, Volume };

struct Node {
  uint32_t devInst = 0;
  NodeKind kind = NodeKind::System;
  int disk = -1;    // index into the machine's disks
  int volume = -1;  // index into the disk's volumes
};

constexpr uint32_t kSystemDevInst = 1;
uint32_t DiskBase(int disk) { return 0x100u + static_cast<uint32_t>(disk) * 0x100u; }

std::vector<Node> AllNodes() {
  std::vector<Node> nodes;
  nodes.push_back(Node{kSystemDevInst, NodeKind::System, -1, -1});
  auto& disks = SimState().disks;
  for (size_t i = 0; i < disks.size(); ++i) {
    int d = static_cast<int>(i);
    nodes.push_back(Node{DiskBase(d), NodeKind::Port, d, -1});
    nodes.push_back(Node{DiskBase(d) + 1, NodeKind::Disk, d, -1});
    for (size_t v = 0; v < disks[i]->volumes.size(); ++v)
      nodes.push_back(Node{DiskBase(d) + 2 + static_cast<uint32_t>(v), NodeKind::Volume, d, static_cast<int>(v)});
  }
  return nodes;
}

bool FindNode(uint32_t devInst, Node* node) {
  for (const Node& n : AllNodes())
    if (n.devInst == devInst) {
      *node = n;
      return true;
    }
  return false;
}

SimDiskState* DiskOf(const Node& n) { return n.disk >= 0 ? SimState().disks[n.disk].get() : nullptr; }

bool NodePresent(const Node& n) {
  SimDiskState* d = DiskOf(n);
  if (!d) return true;
  return n.kind == NodeKind::Volume ? SimDiskOnline(*d) : d->present;
}

SysGuid ClassOf(const Node& n) {
  switch (n.kind) {
    case NodeKind::System: return kGuidDevclassSystem;
    case NodeKind::Port: return DiskOf(n)->setup.busType == kSimBusUsb ? kGuidDevclassUsb : kGuidDevclassHdc;
    case NodeKind::Disk: return kGuidDevclassDiskDrive;
    case NodeKind::Volume: return kGuidDevclassVolume;
  }
  return kGuidDevclassSystem;
}

bool HasInterface(const Node& n, const SysGuid& guid) {
  switch (n.kind) {
    case NodeKind::System: return false;
    case NodeKind::Port: return guid == kGuidDevinterfaceStoragePort;
    case NodeKind::Disk: return guid == kGuidDevinterfaceDisk;
    case NodeKind::Volume: return guid == kGuidDevinterfaceVolume;
  }
  return false;
}

// Trims blanks, turns the inner ones into '_' and lowers the case, as USBSTOR builds its device identifiers.
std::string IdPart(const std::string& text) {
  size_t b = text.find_first_not_of(" \t"), e = text.find_last_not_of(" \t");
  std::string part = b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
  for (char& c : part) c = c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return part;
}

std::string PdoName(const Node& n) {
  const SimDiskState* d = DiskOf(n);
  char name[64];
  switch (n.kind) {
    case NodeKind::System: return "\\Device\\00000001";
    case NodeKind::Port:
      std::snprintf(name, sizeof name, d->setup.busType == kSimBusUsb ? "\\Device\\USBPDO-%d" : "\\Device\\Ide\\IdePort%d",
                    n.disk + 4);
      return name;
    case NodeKind::Disk:
      if (!d->setup.pdoName.empty()) return d->setup.pdoName;
      std::snprintf(name, sizeof name, "\\Device\\%08x", d->setup.number + 40);
      return name;
    case NodeKind::Volume: return SimVolumeNtDevice(d->volumes[n.volume]);
  }
  return "";
}

std::string InterfacePath(const Node& n) {
  const SimDiskState* d = DiskOf(n);
  char serial[32];
  std::snprintf(serial, sizeof serial, "%012d&0", d->setup.number);
  std::string vendor = d->setup.hasVendor ? IdPart(d->setup.vendor) : "", product = d->setup.hasProduct ? IdPart(d->setup.product) : "";
  switch (n.kind) {
    case NodeKind::Port:
      return "\\\\?\\usb#vid_090c&pid_1000#" + std::string(serial) + "#{2accfe60-c130-11d2-b082-00a0c91efb8b}";
    case NodeKind::Disk:
      if (!d->setup.interfacePath.empty()) return d->setup.interfacePath;
      if (d->setup.busType == kSimBusUsb)
        return "\\\\?\\usbstor#disk&ven_" + vendor + "&prod_" + product + "&rev_1.00#" + serial +
               "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
      return "\\\\?\\ide#disk" + vendor + "_" + product + "___1.00#5&" + serial +
             "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    case NodeKind::Volume:
      return "\\\\?\\storage#volume#" + std::to_string(n.devInst) + "#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
    case NodeKind::System: break;
  }
  return "";
}

bool Fail(uint32_t error) {
  SimSetError(error);
  return false;
}

SimDevInfoSetState* FindSet(SysDevInfoSet set) {
  auto& sets = SimState().setup.sets;
  auto it = sets.find(static_cast<int>(reinterpret_cast<intptr_t>(set)));
  return it == sets.end() ? nullptr : &it->second;
}

SimDevInfoElement* FindElement(SimDevInfoSetState* s, uint32_t devInst) {
  if (!s) return nullptr;
  for (SimDevInfoElement& e : s->elements)
    if (e.devInst == devInst) return &e;
  return nullptr;
}

// The set's element for `device` and its node, or null with the error set.
SimDevInfoElement* ElementOf(SysDevInfoSet set, const SysDevInfo* device, Node* node) {
  SimDevInfoSetState* s = FindSet(set);
  if (!s) {
    SimSetError(kSysErrorInvalidHandle);
    return nullptr;
  }
  SimDevInfoElement* e = device ? FindElement(s, device->devInst) : nullptr;
  if (!e || !FindNode(e->devInst, node)) {
    SimSetError(kSysErrorInvalidParameter);
    return nullptr;
  }
  return e;
}

void FillDevInfo(const Node& n, SysDevInfo* device) {
  device->cbSize = sizeof(SysDevInfo);
  device->classGuid = ClassOf(n);
  device->devInst = n.devInst;
  device->reserved = 0;
}

// Names in an upper filter list: REG_MULTI_SZ, or a single REG_SZ name, as the plug and play manager reads them.
bool ListNamesFilter(const SimDiskState& d) {
  if (!d.hasUpperFilters || (d.upperFiltersType != kRegMultiSz && d.upperFiltersType != kRegSz)) return false;
  std::string name;
  for (size_t i = 0; i <= d.upperFilters.size(); ++i) {
    char c = i < d.upperFilters.size() ? static_cast<char>(d.upperFilters[i]) : '\0';
    if (c != '\0') {
      name += c;
      continue;
    }
    if (name.size() == std::strlen(kFilterDriverName) &&
        std::equal(name.begin(), name.end(), kFilterDriverName, [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        }))
      return true;
    name.clear();
  }
  return false;
}

void StopDisk(SimDiskState& d, SimDevInfoElement& e) {
  if (d.heldByOtherProgram) {
    // Another program has the disk open: the stop is vetoed and the system asks for a reboot.
    e.installFlags |= kDiNeedReboot;
    e.stopVetoed = true;
    return;
  }
  e.stopVetoed = false;
  d.stopped = true;
  SimRaiseDeviceEvent(0x8004);  // DBT_DEVICEREMOVECOMPLETE
}

void StartDisk(SimDiskState& d) {
  if (!d.stopped) return;
  d.stopped = false;
  SimRereadDisk(d);
  // The device stack is built anew: the filter joins it when listed, and keeps what it was told when it stays.
  bool listed = ListNamesFilter(d);
  if (listed && !SimState().filterDriverLoads) {
    // The stack cannot be built without the driver: the device fails to start and the disk stays away.
    d.stopped = true;
    d.filter = SimFilterState();
    return;
  }
  if (!listed) d.filter = SimFilterState();
  else if (!d.filter.attached) {
    d.filter = SimFilterState();
    d.filter.attached = true;
  }
  d.stats.restarts++;
  SimRaiseDeviceEvent(0x8000);  // DBT_DEVICEARRIVAL
}

bool ValidPropChange(const SysPropChangeParams* p, uint32_t size) {
  if (size != sizeof(SysPropChangeParams) || p->cbSize != 8) return Fail(kErrorInvalidUserBuffer);
  if (p->installFunction != kDifPropertyChange || p->stateChange < 1 || p->stateChange > 5)
    return Fail(kSysErrorInvalidParameter);
  if (p->scope != 1 && p->scope != kDicsFlagConfigSpecific && p->scope != 4) return Fail(kSysErrorInvalidParameter);
  // Starts and stops are only defined for the configuration-specific scope.
  if ((p->stateChange == kDicsStart || p->stateChange == kDicsStop) && p->scope != kDicsFlagConfigSpecific)
    return Fail(kSysErrorInvalidParameter);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Control
// ---------------------------------------------------------------------------------------------------------------

std::string SimDiskPdoName(int number) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  for (const Node& n : AllNodes())
    if (n.kind == NodeKind::Disk && DiskOf(n)->setup.number == number) return PdoName(n);
  return "";
}

void SimFailGetClassDevs(uint32_t error) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().setup.getClassDevsError = error;
}

void SimFailGetClassDevsFor(const SysGuid& classGuid, uint32_t error) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().setup.oneClassDevsGuid = classGuid;
  SimState().setup.oneClassDevsError = error;
}

void SimFailClassInstaller(uint32_t error) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().setup.classInstallerError = error;
}

std::vector<SimClassInstallCall> SimClassInstallCalls() {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return SimState().setup.classInstallCalls;
}

int SimOpenDevInfoSetCount() {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return static_cast<int>(SimState().setup.sets.size());
}

// ---------------------------------------------------------------------------------------------------------------
// The seam
// ---------------------------------------------------------------------------------------------------------------

SysDevInfoSet SysSetupDiGetClassDevs(const SysGuid* classGuid, uint32_t flags) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  if (m.setup.getClassDevsError) {
    SimSetError(m.setup.getClassDevsError);
    return SysInvalidDevInfoSet();
  }
  if (m.setup.oneClassDevsError && classGuid && *classGuid == m.setup.oneClassDevsGuid) {
    SimSetError(m.setup.oneClassDevsError);
    return SysInvalidDevInfoSet();
  }
  const bool all = (flags & kDigcfAllClasses) != 0, interfaces = (flags & kDigcfDeviceInterface) != 0;
  if (!all && !classGuid) {
    SimSetError(kSysErrorInvalidParameter);
    return SysInvalidDevInfoSet();
  }
  SimDevInfoSetState set;
  for (const Node& n : AllNodes()) {
    if ((flags & kDigcfPresent) && !NodePresent(n)) continue;
    // With DIGCF_DEVICEINTERFACE the GUID names an interface class; a setup class GUID then matches nothing.
    bool member = all || (interfaces ? HasInterface(n, *classGuid) : ClassOf(n) == *classGuid);
    if (!member) continue;
    SimDevInfoElement e;
    e.devInst = n.devInst;
    set.elements.push_back(e);
  }
  int id = m.setup.nextSet;
  m.setup.nextSet += 8;
  m.setup.sets[id] = set;
  SimSetError(0);
  return reinterpret_cast<SysDevInfoSet>(static_cast<intptr_t>(id));
}

bool SysSetupDiDestroyDeviceInfoList(SysDevInfoSet set) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  auto& sets = SimState().setup.sets;
  auto it = sets.find(static_cast<int>(reinterpret_cast<intptr_t>(set)));
  if (it == sets.end()) return Fail(kSysErrorInvalidHandle);
  sets.erase(it);
  return true;
}

bool SysSetupDiEnumDeviceInfo(SysDevInfoSet set, uint32_t index, SysDevInfo* device) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimDevInfoSetState* s = FindSet(set);
  if (!s) return Fail(kSysErrorInvalidHandle);
  Node n;
  if (index >= s->elements.size() || !FindNode(s->elements[index].devInst, &n)) return Fail(kSysErrorNoMoreItems);
  FillDevInfo(n, device);
  SimSetError(0);
  return true;
}

bool SysSetupDiEnumDeviceInterfaces(SysDevInfoSet set, const SysGuid* interfaceGuid, uint32_t index,
                                    SysDevInterface* iface) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimDevInfoSetState* s = FindSet(set);
  if (!s) return Fail(kSysErrorInvalidHandle);
  if (!interfaceGuid) return Fail(kSysErrorInvalidParameter);
  uint32_t seen = 0;
  for (const SimDevInfoElement& e : s->elements) {
    Node n;
    if (!FindNode(e.devInst, &n) || !HasInterface(n, *interfaceGuid)) continue;
    if (seen++ != index) continue;
    iface->cbSize = sizeof(SysDevInterface);
    iface->interfaceClassGuid = *interfaceGuid;
    iface->flags = kSpintActive;
    iface->reserved = n.devInst;
    SimSetError(0);
    return true;
  }
  return Fail(kSysErrorNoMoreItems);
}

bool SysSetupDiGetDeviceInterfaceDetail(SysDevInfoSet set, SysDevInterface* iface, uint32_t detailSize,
                                        char* devicePath, uint32_t pathSize, SysDevInfo* device) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimDevInfoSetState* s = FindSet(set);
  if (!s) return Fail(kSysErrorInvalidHandle);
  Node n;
  if (!iface || !FindElement(s, static_cast<uint32_t>(iface->reserved)) ||
      !FindNode(static_cast<uint32_t>(iface->reserved), &n))
    return Fail(kSysErrorInvalidParameter);
  std::string path = InterfacePath(n);
  // SP_DEVICE_INTERFACE_DETAIL_DATA_A: the cbSize field, then the path and its zero.
  if (detailSize < sizeof(uint32_t) + path.size() + 1) return Fail(kSysErrorInsufficientBuffer);
  if (devicePath && pathSize > 0) {
    size_t n2 = std::min<size_t>(path.size(), pathSize - 1);
    std::memcpy(devicePath, path.data(), n2);
    devicePath[n2] = '\0';
  }
  if (device) FillDevInfo(n, device);
  SimSetError(0);
  return true;
}

bool SysSetupDiGetDeviceRegistryProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                         uint32_t* regType, void* buffer, uint32_t size, uint32_t* requiredSize) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  Node n;
  if (!ElementOf(set, device, &n)) return false;
  std::vector<uint8_t> data;
  uint32_t type = kRegSz;
  if (property == kSpdrpPhysicalDeviceObjectName) {
    std::string name = PdoName(n);
    data.assign(name.begin(), name.end());
    data.push_back(0);
  } else if (property == kSpdrpUpperFilters && n.kind == NodeKind::Disk && DiskOf(n)->hasUpperFilters) {
    data = DiskOf(n)->upperFilters;
    type = DiskOf(n)->upperFiltersType;
  } else {
    return Fail(kErrorInvalidData);  // the device has no such property
  }
  if (requiredSize) *requiredSize = static_cast<uint32_t>(data.size());
  if (regType) *regType = type;
  if (!buffer || size < data.size()) return Fail(kSysErrorInsufficientBuffer);
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  SimSetError(0);
  return true;
}

bool SysSetupDiSetDeviceRegistryProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                         const void* buffer, uint32_t size) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  Node n;
  if (!ElementOf(set, device, &n)) return false;
  if (property != kSpdrpUpperFilters || n.kind != NodeKind::Disk) return Fail(kSysErrorInvalidParameter);
  SimDiskState* d = DiskOf(n);
  if (!buffer || size == 0) {
    // No data deletes the property.
    d->hasUpperFilters = false;
    d->upperFilters.clear();
  } else {
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    d->hasUpperFilters = true;
    d->upperFiltersType = kRegMultiSz;
    d->upperFilters.assign(bytes, bytes + size);
  }
  SimSetError(0);
  return true;
}

bool SysSetupDiSetClassInstallParams(SysDevInfoSet set, SysDevInfo* device, const SysPropChangeParams* params,
                                     uint32_t size) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  Node n;
  SimDevInfoElement* e = ElementOf(set, device, &n);
  if (!e) return false;
  if (!params) {
    e->hasParams = false;
    SimSetError(0);
    return true;
  }
  if (!ValidPropChange(params, size)) return false;
  e->hasParams = true;
  e->params = *params;
  e->paramsSize = size;
  SimSetError(0);
  return true;
}

bool SysSetupDiCallClassInstaller(uint32_t installFunction, SysDevInfoSet set, SysDevInfo* device) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  Node n;
  SimDevInfoElement* e = ElementOf(set, device, &n);
  if (!e) return false;
  if (m.setup.classInstallerError) return Fail(m.setup.classInstallerError);
  if (installFunction != kDifPropertyChange) return Fail(kErrorInvalidClassInstaller);
  if (!e->hasParams) return Fail(kErrorNoClassInstallParams);
  SimDiskState* d = DiskOf(n);
  SimClassInstallCall call;
  call.disk = d ? d->setup.number : -1;
  call.volumeNode = n.kind == NodeKind::Volume;
  call.paramsSize = e->paramsSize;
  call.params = e->params;
  m.setup.classInstallCalls.push_back(call);
  if (!d) return true;  // the system device: nothing of the simulated disks changes
  if (!d->present) return Fail(kSysErrorNoSuchDevinst);
  if (e->params.stateChange == kDicsStop) StopDisk(*d, *e);
  else if (e->params.stateChange == kDicsStart) StartDisk(*d);
  SimSetError(0);
  return true;
}

bool SysSetupDiGetDeviceInstallParams(SysDevInfoSet set, SysDevInfo* device, uint32_t* flags) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  Node n;
  SimDevInfoElement* e = ElementOf(set, device, &n);
  if (!e) return false;
  if (flags) *flags = e->installFlags;
  SimSetError(0);
  return true;
}

void* SysRegisterDeviceNotification(void* window, const SysGuid* interfaceClass) {
  (void)interfaceClass;
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  int id = m.nextNotification++;
  m.notifications.push_back({window, id});
  return reinterpret_cast<void*>(static_cast<intptr_t>(id));
}

bool SysUnregisterDeviceNotification(void* notification) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  int id = static_cast<int>(reinterpret_cast<intptr_t>(notification));
  for (auto it = m.notifications.begin(); it != m.notifications.end(); ++it)
    if (it->second == id) {
      m.notifications.erase(it);
      return true;
    }
  return false;
}
