// The simulated machine's storage stack: device controls (storage queries, SCSI pass-through, drive layout, the
// filter driver's requests), drive letters, free space and DOS device names.
//
// The filter driver follows the real driver's rules (driver/blockmap.h): with block k presented and B sectors per
// block configured, sector x of the disk (through a disk or volume handle) reaches physical sector x + k*B; block
// 0, no configuration yet and the hidden mode are the identity. The drive layout request passes through the filter
// to the disk below, so partitions keep their places: a volume at the first partition's sector S shows block k,
// whose image lies at physical S + k*B. Scans and batch formats (physical S + n*B with block 0 presented),
// identifier changes (S + r with block k presented reaches S + k*B + r) and a single format written at sector S
// with block k presented all meet the blocks where they lie.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "fat/fat.h"
#include "sys/disk_answers.h"
#include "sys/ioctl.h"
#include "sys/sim/machine.h"

namespace {

uint64_t DiskBytes(const SimDiskState& disk) { return disk.setup.sectorCount * disk.setup.sectorSize; }

std::vector<SimPartitionEntry> ReadLayout(SimDiskState& disk) {
  const uint32_t ss = disk.setup.sectorSize;
  std::vector<uint8_t> sector(std::max<uint32_t>(ss, 512), 0);
  const bool read = ss >= 512 && disk.setup.sectorCount > 0 && SimBackingRead(disk, 0, sector.data(), ss);
  std::vector<SimPartitionEntry> layout = LayoutFromSector0(sector.data(), read, disk.setup.sectorCount, ss);
  layout.resize(layout.size() + disk.setup.extraLayoutEntries);
  return layout;
}

bool Fail(uint32_t error) {
  SimSetError(error);
  return false;
}

bool Done(uint32_t* bytesReturned, uint32_t bytes) {
  if (bytesReturned) *bytesReturned = bytes;
  SimSetError(0);
  return true;
}

bool QueryProperty(const SimDiskState& disk, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* bytesReturned) {
  StorageIdentity identity;
  identity.deviceType = disk.setup.deviceType == kSimDeviceTypeCdRom ? 5 : 0;
  identity.removable = disk.setup.busType == kSimBusUsb;
  identity.busType = disk.setup.busType;
  identity.hasVendor = disk.setup.hasVendor;
  identity.hasProduct = disk.setup.hasProduct;
  identity.vendor = disk.setup.vendor;
  identity.product = disk.setup.product;
  return AnswerStorageQuery(identity, in, inSize, out, outSize, bytesReturned);
}

bool DeviceNumber(const SimDiskState& disk, const SimHandleState& h, void* out, uint32_t outSize,
                  uint32_t* bytesReturned) {
  if (!out || outSize < sizeof(StorageDeviceNumber)) return Fail(kSysErrorInsufficientBuffer);
  StorageDeviceNumber number{};
  number.deviceType = disk.setup.deviceType;
  number.deviceNumber = static_cast<uint32_t>(disk.setup.number);
  if (h.kind == SimHandleKind::Volume)
    for (size_t i = 0; i < disk.volumes.size(); ++i)
      if (disk.volumes[i].setup.letter == h.volumeLetter) number.partitionNumber = static_cast<uint32_t>(i + 1);
  std::memcpy(out, &number, sizeof number);
  return Done(bytesReturned, sizeof number);
}

// READ CAPACITY (10) through the pass-through request, unless the disk refuses the request.
bool ScsiPassThroughRequest(const SimDiskState& disk, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                            uint32_t* bytesReturned) {
  if (disk.setup.refusesScsiPassThrough) return Fail(kSysErrorInvalidFunction);
  return AnswerReadCapacity(disk.setup.sectorCount, disk.setup.sectorSize, in, inSize, out, outSize, bytesReturned);
}

bool DriveLayout(SimDiskState& disk, void* out, uint32_t outSize, uint32_t* bytesReturned) {
  return AnswerDriveLayout(SimDriveLayout(disk), disk.setup.sectorSize, out, outSize, bytesReturned);
}

DunBlockState BlockState(const SimFilterState& f) {
  DunBlockState state{};
  state.block = f.presentedBlock;
  state.config = DunBlockConfig{f.mode, f.sectorsPerBlock, f.firstSector, f.endSector};
  return state;
}

void StoreBlockState(SimFilterState& f, const DunBlockState& state) {
  f.presentedBlock = state.block;
  f.mode = state.config.mode;
  f.sectorsPerBlock = state.config.sectorsPerBlock;
  f.firstSector = state.config.firstSector;
  f.endSector = state.config.endSector;
}

// The filter driver's four requests, with the lengths and buffers the real driver takes; a disk without the driver
// fails them all.
bool FilterRequest(SimDiskState& disk, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* bytesReturned) {
  SimFilterState& f = disk.filter;
  DunBlockState state = BlockState(f);
  switch (code) {
    case kIoctlFilterSelectBlock: {
      FilterSelectBlock request{};
      if (!in || inSize < sizeof request || !out || outSize < sizeof request) return Fail(kSysErrorInvalidParameter);
      std::memcpy(&request, in, sizeof request);
      // A configured driver refuses a block that does not lie wholly on the disk inside the block area.
      if (!DunSelectBlock(&state, request.block, disk.setup.sectorCount)) return Fail(kSysErrorInvalidParameter);
      StoreBlockState(f, state);
      f.selectCalls++;
      std::memcpy(out, &request, sizeof request);
      return Done(bytesReturned, sizeof request);
    }
    case kIoctlFilterConfigureBlocks: {
      // The output buffer (direct I/O) is the caller's copy of the configuration and is not written.
      FilterBlockConfig config{};
      if (!in || inSize < sizeof config) return Fail(kSysErrorInvalidParameter);
      std::memcpy(&config, in, sizeof config);
      DunConfigure(&state, &config, disk.setup.sectorCount);
      StoreBlockState(f, state);
      f.configureCalls++;
      return Done(bytesReturned, 0);
    }
    case kIoctlFilterPresence:
      // The count is only a mark: the buffer is neither read nor written (the request uses direct I/O).
      return Done(bytesReturned, kFilterPresenceMark);
    case kIoctlFilterCurrentBlock: {
      if (!out || outSize < kFilterCurrentBlockBytes) return Fail(kSysErrorInvalidParameter);
      std::memcpy(out, &f.presentedBlock, kFilterCurrentBlockBytes);
      return Done(bytesReturned, kFilterCurrentBlockBytes);
    }
  }
  return Fail(kSysErrorInvalidFunction);
}

bool IsFilterCode(uint32_t code) {
  return code == kIoctlFilterSelectBlock || code == kIoctlFilterConfigureBlocks || code == kIoctlFilterPresence ||
         code == kIoctlFilterCurrentBlock;
}

SimVolumeState* FindVolume(SimDiskState& disk, char letter) {
  for (SimVolumeState& v : disk.volumes)
    if (std::toupper(static_cast<unsigned char>(v.setup.letter)) == letter) return &v;
  return nullptr;
}

// The volume of an online disk behind "E:" or "E:\" (any case), or null.
SimDiskState* VolumeByName(const char* name, SimVolumeState** volume) {
  if (!name || !std::isalpha(static_cast<unsigned char>(name[0])) || name[1] != ':') return nullptr;
  if (name[2] != '\0' && !(name[2] == '\\' && name[3] == '\0')) return nullptr;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  for (auto& d : SimState().disks) {
    if (!SimDiskOnline(*d)) continue;
    if (SimVolumeState* v = FindVolume(*d, letter)) {
      *volume = v;
      return d.get();
    }
  }
  return nullptr;
}

template <typename F>
void WithDisk(int number, F f) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  if (SimDiskState* d = SimFindDiskByNumber(number)) f(*d);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Shared with the other sim files
// ---------------------------------------------------------------------------------------------------------------

std::string SimVolumeNtDevice(const SimVolumeState& volume) {
  if (!volume.setup.ntDevice.empty()) return volume.setup.ntDevice;
  int n = 0;
  for (auto& d : SimState().disks)
    for (SimVolumeState& v : d->volumes) {
      ++n;
      if (&v == &volume) return "\\Device\\HarddiskVolume" + std::to_string(n);
    }
  return "";
}

const std::vector<SimPartitionEntry>& SimDriveLayout(SimDiskState& disk) {
  if (!disk.layoutRead) {
    disk.layout = ReadLayout(disk);
    disk.layoutRead = true;
  }
  return disk.layout;
}

void SimRereadDisk(SimDiskState& disk) {
  disk.layout = ReadLayout(disk);
  disk.layoutRead = true;
  size_t next = 0;
  for (const SimPartitionEntry& p : disk.layout) {
    if (p.length == 0 || next >= disk.volumes.size()) continue;
    SimVolumeState& v = disk.volumes[next++];
    v.setup.startSector = p.startingOffset / disk.setup.sectorSize;
    v.setup.sectorCount = p.length / disk.setup.sectorSize;
  }
  for (SimVolumeState& v : disk.volumes) v.mounted = true;
}

uint64_t SimPresentationShift(const SimDiskState& disk) {
  if (!disk.filter.attached) return 0;
  DunBlockState state = BlockState(disk.filter);
  return DunShiftSectors(&state) * disk.setup.sectorSize;
}

bool SimFilterMapsTransfer(const SimDiskState& disk, uint64_t offset, uint64_t bytes) {
  if (!disk.filter.attached) return true;
  DunBlockState state = BlockState(disk.filter);
  uint64_t physical = 0;
  return DunMapTransfer(&state, disk.setup.sectorSize, DiskBytes(disk), offset, bytes, &physical) == DUN_MAP_OK;
}

// ---------------------------------------------------------------------------------------------------------------
// Control
// ---------------------------------------------------------------------------------------------------------------

bool SimAddVolume(int number, const SimVolumeSpec& volume) {
  bool added = false;
  WithDisk(number, [&](SimDiskState& d) {
    SimVolumeState v;
    v.setup = volume;
    d.volumes.push_back(v);
    added = true;
  });
  return added;
}

void SimSetUpperFilters(int number, uint32_t type, const std::vector<uint8_t>& data) {
  WithDisk(number, [&](SimDiskState& d) {
    d.hasUpperFilters = true;
    d.upperFiltersType = type;
    d.upperFilters = data;
  });
}

void SimDeleteUpperFilters(int number) {
  WithDisk(number, [&](SimDiskState& d) {
    d.hasUpperFilters = false;
    d.upperFilters.clear();
  });
}

bool SimGetUpperFilters(int number, uint32_t* type, std::vector<uint8_t>* data) {
  bool has = false;
  WithDisk(number, [&](SimDiskState& d) {
    has = d.hasUpperFilters;
    if (type) *type = d.upperFiltersType;
    if (data) *data = d.upperFilters;
  });
  return has;
}

void SimAttachFilter(int number, bool attached) {
  WithDisk(number, [&](SimDiskState& d) {
    d.filter = SimFilterState();
    d.filter.attached = attached;
  });
}

SimFilterState SimFilter(int number) {
  SimFilterState f;
  WithDisk(number, [&](SimDiskState& d) { f = d.filter; });
  return f;
}

std::string SimVolumeDevice(char letter) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  const char name[3] = {letter, ':', '\0'};
  SimVolumeState* v = nullptr;
  return VolumeByName(name, &v) ? SimVolumeNtDevice(*v) : std::string();
}

static bool IsVolumeLockCode(uint32_t code) {
  return code == kFsctlLockVolume || code == kFsctlUnlockVolume || code == kFsctlDismountVolume;
}

// Locks, unlocks and dismounts a volume through one of its handles. A lock fails while another program holds files
// open on the volume, or while another handle holds the lock.
static bool VolumeLockRequest(SimDiskState& disk, const SimHandleState& h, SysHandle handle, uint32_t code,
                       uint32_t* bytesReturned) {
  SimVolumeState* volume = FindVolume(disk, h.volumeLetter);
  if (!volume) return Fail(kSysErrorInvalidParameter);
  int id = static_cast<int>(reinterpret_cast<intptr_t>(handle));
  if (code == kFsctlLockVolume) {
    if (volume->heldByOtherProgram || (volume->lockedByHandle != 0 && volume->lockedByHandle != id))
      return Fail(kSysErrorAccessDenied);
    volume->lockedByHandle = id;
  } else if (code == kFsctlUnlockVolume) {
    if (volume->lockedByHandle != id) return Fail(158);  // ERROR_NOT_LOCKED
    volume->lockedByHandle = 0;
  } else {
    volume->mounted = false;
  }
  return Done(bytesReturned, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// The seam
// ---------------------------------------------------------------------------------------------------------------

bool SysDeviceIoControl(SysHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* bytesReturned) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  if (bytesReturned) *bytesReturned = 0;
  SimHandleState* h = SimFindHandle(handle);
  if (!h) return Fail(kSysErrorInvalidHandle);
  if (h->kind == SimHandleKind::File) return Fail(kSysErrorInvalidFunction);
  SimDiskState& disk = *m.disks[h->disk];
  if (!disk.present) return Fail(kSysErrorDeviceNotConnected);
  const bool onDisk = h->kind == SimHandleKind::Disk;
  if (code == kIoctlStorageQueryProperty) return QueryProperty(disk, in, inSize, out, outSize, bytesReturned);
  if (code == kIoctlStorageGetDeviceNumber) return DeviceNumber(disk, *h, out, outSize, bytesReturned);
  if (onDisk && code == kIoctlScsiPassThrough)
    return ScsiPassThroughRequest(disk, in, inSize, out, outSize, bytesReturned);
  if (onDisk && code == kIoctlDiskGetDriveLayout) return DriveLayout(disk, out, outSize, bytesReturned);
  if (!onDisk && IsVolumeLockCode(code)) return VolumeLockRequest(disk, *h, handle, code, bytesReturned);
  // The filter sits on the disk's stack: requests through a volume never reach it.
  if (onDisk && IsFilterCode(code) && disk.filter.attached)
    return FilterRequest(disk, code, in, inSize, out, outSize, bytesReturned);
  if (disk.setup.foreignDriverAcceptsAll) return Done(bytesReturned, outSize);
  return Fail(kSysErrorInvalidFunction);
}

uint32_t SysGetLogicalDriveStrings(uint32_t size, char* buffer) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  std::vector<char> letters;
  for (auto& d : SimState().disks)
    if (SimDiskOnline(*d))
      for (SimVolumeState& v : d->volumes) letters.push_back(static_cast<char>(std::toupper(v.setup.letter)));
  std::sort(letters.begin(), letters.end());
  letters.erase(std::unique(letters.begin(), letters.end()), letters.end());
  std::string strings;
  for (char letter : letters) {
    strings += letter;
    strings += ":\\";
    strings += '\0';
  }
  // Too small a buffer: nothing is written and the size needed (with the final zero) comes back.
  if (strings.size() + 1 > size || !buffer) return static_cast<uint32_t>(strings.size() + 1);
  std::memcpy(buffer, strings.data(), strings.size());
  buffer[strings.size()] = '\0';
  SimSetError(0);
  return static_cast<uint32_t>(strings.size());
}

// The data area of the FAT file system whose boot record is `s` (total clusters x cluster size, as Windows counts
// a FAT volume's size); 0 when `s` holds no FAT boot record.
static uint64_t FatDataBytes(const uint8_t* s) {
  return LooksLikeBootRecord(s) && HasBootSignature(s) ? ClusterAreaBytes(s) : 0;
}

bool SysGetDiskFreeSpaceEx(const char* rootPath, uint64_t* freeToCaller, uint64_t* totalBytes, uint64_t* totalFree) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimVolumeState* v = nullptr;
  SimDiskState* d = VolumeByName(rootPath, &v);
  if (!d || !v->mounted) return Fail(kSysErrorPathNotFound);
  // A FAT volume's size is its file system's, whatever the partition around it (a floppy image on a stick, or the
  // block the filter driver presents); a volume without one keeps its partition's size.
  const uint32_t ss = d->setup.sectorSize;
  uint64_t total = 0;
  std::vector<uint8_t> boot(std::max<uint32_t>(ss, 512), 0);
  if (ss >= 512 && SimBackingRead(*d, v->setup.startSector * ss + SimPresentationShift(*d), boot.data(), ss))
    total = FatDataBytes(boot.data());
  if (total == 0) {
    uint64_t sectors = v->setup.sectorCount;
    if (sectors == 0 && d->setup.sectorCount > v->setup.startSector) sectors = d->setup.sectorCount - v->setup.startSector;
    total = sectors * ss;
  }
  if (freeToCaller) *freeToCaller = total;
  if (totalBytes) *totalBytes = total;
  if (totalFree) *totalFree = total;
  SimSetError(0);
  return true;
}

uint32_t SysQueryDosDevice(const char* deviceName, char* target, uint32_t size) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimVolumeState* v = nullptr;
  if (!deviceName || std::strlen(deviceName) != 2 || !VolumeByName(deviceName, &v)) {
    SimSetError(kSysErrorFileNotFound);
    return 0;
  }
  std::string name = SimVolumeNtDevice(*v);
  // The target list: the name, its zero and the zero that ends the list.
  uint32_t stored = static_cast<uint32_t>(name.size() + 2);
  if (!target || size < stored) {
    SimSetError(kSysErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(target, name.c_str(), name.size() + 1);
  target[name.size() + 1] = '\0';
  SimSetError(0);
  return stored;
}

void SimHoldVolume(char letter, bool held) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimVolumeState* v = nullptr;
  const char name[3] = {letter, ':', '\0'};
  if (VolumeByName(name, &v)) v->heldByOtherProgram = held;
}

bool SimVolumeLocked(char letter) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimVolumeState* v = nullptr;
  const char name[3] = {letter, ':', '\0'};
  return VolumeByName(name, &v) && v->lockedByHandle != 0;
}

bool SimVolumeMounted(char letter) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimVolumeState* v = nullptr;
  const char name[3] = {letter, ':', '\0'};
  return VolumeByName(name, &v) && v->mounted;
}
