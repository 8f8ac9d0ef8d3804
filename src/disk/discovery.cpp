#include "disk/discovery.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/trace.h"
#include "fat/fat.h"
#include "disk/queries.h"
#include "disk/sectorio.h"
#include "sys/ioctl.h"

namespace {

constexpr uint32_t kDriveStringsSize = 128;
constexpr uint32_t kTrimLimit = 999;
constexpr uint32_t kDetailBufferSize = 2048;
constexpr uint32_t kPdoNameBytes = 100;
constexpr uint32_t kVolumeDeviceChars = 50;
constexpr double kBytesPerMiB = 1048576.0;
constexpr uint32_t kLargestDriveNumber = 999999;

// Copies as much of the text as the field holds, always with its zero.
template <size_t N>
void CopyText(char (&field)[N], const char* text) {
  size_t length = std::strlen(text);
  if (length > N - 1) length = N - 1;
  std::memcpy(field, text, length);
  field[length] = '\0';
}

// Appends a whole text or nothing: a field never ends in half a volume text.
template <size_t N>
void AppendWhole(char (&field)[N], const char* text) {
  size_t used = std::strlen(field), length = std::strlen(text);
  if (used + length < N) std::memcpy(field + used, text, length + 1);
}

// Case-insensitive search of `needle` in `haystack`, as StrStrIA does for single-byte text.
bool ContainsNoCase(const char* haystack, const char* needle) {
  if (!needle[0]) return false;
  size_t n = std::strlen(needle);
  for (const char* h = haystack; *h; ++h) {
    size_t i = 0;
    while (i < n && h[i] &&
           std::tolower(static_cast<unsigned char>(h[i])) == std::tolower(static_cast<unsigned char>(needle[i])))
      ++i;
    if (i == n) return true;
  }
  return false;
}

const char* FatTypeText(int type) {
  switch (type) {
    case kFat12: return "FAT12";
    case kFat16: return "FAT16";
    case kFat32: return "FAT32";
  }
  return "Unknown";
}

// "E:(1950.3M,FAT16) ": the volume's file system and its total size in MiB.
void VolumeText(const char* volumeName, char* text, size_t size) {
  int type = DetectFatType(volumeName);
  char root[8];
  std::snprintf(root, sizeof root, "%s\\", volumeName);
  uint64_t total = 0;
  if (!SysGetDiskFreeSpaceEx(root, nullptr, &total, nullptr)) total = 0;
  std::snprintf(text, size, "%s(%0.1fM,%s) ", volumeName, static_cast<double>(total) / kBytesPerMiB,
                FatTypeText(type));
}

struct VolumeOwner {
  bool onUsb = true;     // the descriptor query failed or named the USB bus
  char vendor[kDescriptorBufferSize] = {};
  char product[kDescriptorBufferSize] = {};
  bool hasVendor = false, hasProduct = false;
};

// Bus, vendor and product of the device behind an open volume. A failed query leaves the volume a candidate
// whose vendor and product are unknown.
VolumeOwner DescribeVolume(SysHandle volume, uint8_t* descriptor) {
  VolumeOwner owner;
  if (!QueryStorageDescriptor(volume, descriptor, kDescriptorBufferSize)) return owner;
  StorageDeviceDescriptor d;
  std::memcpy(&d, descriptor, sizeof d);
  owner.onUsb = d.busType == kBusTypeUsb;
  owner.hasVendor =
      DescriptorText(descriptor, kDescriptorBufferSize, d.vendorIdOffset, owner.vendor, sizeof owner.vendor);
  owner.hasProduct =
      DescriptorText(descriptor, kDescriptorBufferSize, d.productIdOffset, owner.product, sizeof owner.product);
  return owner;
}

// The physical drive number of a volume on a disk, or -1 for anything else (and for drive 0).
int DiskNumberOf(SysHandle volume) {
  StorageDeviceNumber number{};
  uint32_t returned = 0;
  if (!SysDeviceIoControl(volume, kIoctlStorageGetDeviceNumber, &number, sizeof number, &number, sizeof number,
                          &returned))
    return -1;
  if (number.deviceType != kFileDeviceDisk || number.deviceNumber == 0) return -1;
  // "physicaldrive" and the number must fit the 19 characters of deviceName: a cut name would open another disk.
  if (number.deviceNumber > kLargestDriveNumber) return -1;
  return static_cast<int>(number.deviceNumber);
}

void FillNewSlot(RemovableDisk* slot, const VolumeOwner& owner, int number, const char* volumeName,
                 const char* volumeText) {
  std::string vendor = owner.hasVendor ? TrimBlanks(owner.vendor) : "(NULL)";
  std::string product = owner.hasProduct ? TrimBlanks(owner.product) : "(NULL)";
  std::string key = "VEN_" + vendor + "&PROD_" + product;
  for (char& c : key)
    if (c == ' ') c = '_';
  CopyText(slot->hardwareKey, key.c_str());
  CopyText(slot->productName, (vendor + " " + product).c_str());
  CopyText(slot->description, volumeText);
  CopyText(slot->driveLetters, volumeName);
  char deviceName[32];
  std::snprintf(deviceName, sizeof deviceName, "physicaldrive%d", number);
  CopyText(slot->deviceName, deviceName);
  slot->driveNumber = number;
  QueryCapacityAndLayout(slot->deviceName, &slot->bytesPerSector, &slot->sectorCount, &slot->partitionStart,
                         &slot->partitionLength);
  FindDiskInterface(slot, volumeName);
  CopyText(slot->volumeName, volumeName);
  slot->serviceActive = QueryFilterPresence(slot->deviceName);
}

// Adds the volume behind one drive string ("E:\") to the working table.
void AddVolume(DiskTable* work, const char* driveString, uint8_t* descriptor) {
  char letter = driveString[0];
  if (letter == 'A' || letter == 'a' || letter == 'B' || letter == 'b') return;
  char volumeName[3] = {driveString[0], driveString[1], '\0'};
  DeviceHandle volume(OpenDevice(volumeName));
  if (!volume.valid()) return;
  VolumeOwner owner = DescribeVolume(volume.get(), descriptor);
  if (!owner.onUsb) return;
  int number = DiskNumberOf(volume.get());
  if (number < 0) return;
  char text[64];
  VolumeText(volumeName, text, sizeof text);
  int free = -1;
  for (int i = 0; i < kDiskTableSlots; ++i) {
    RemovableDisk& slot = work->slots[i];
    if (slot.deviceName[0] == '\0') {
      free = i;
      break;
    }
    if (slot.driveNumber == number) {
      AppendWhole(slot.driveLetters, volumeName);
      AppendWhole(slot.description, text);
      return;
    }
  }
  if (free >= 0) FillNewSlot(&work->slots[free], owner, number, volumeName, text);
}


}  // namespace

int DiskCount(const DiskTable& table) {
  int n = 0;
  while (n < kDiskTableSlots && table.slots[n].deviceName[0] != '\0') ++n;
  return n;
}

std::string TrimBlanks(const char* text) {
  if (!text) return std::string();
  const char* begin = text;
  while (*begin == ' ' || *begin == '\t') ++begin;
  const char* end = begin + std::strlen(begin);
  while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
  size_t length = static_cast<size_t>(end - begin);
  return std::string(begin, length > kTrimLimit ? kTrimLimit : length);
}

void FindDiskInterface(RemovableDisk* slot, const char* volumeName) {
  slot->pdoName[0] = '\0';
  slot->volumeDevice[0] = '\0';
  std::string key = slot->hardwareKey;
  for (char& c : key)
    if (c == '\\' || c == '/') c = '#';
  if (key.empty()) return;
  DeviceInfoSet disks(SysSetupDiGetClassDevs(&kGuidDevinterfaceDisk, kDigcfPresent | kDigcfDeviceInterface));
  if (!disks.valid()) return;
  std::unique_ptr<char[]> path(new char[kDetailBufferSize]());
  for (uint32_t index = 0;; ++index) {
    SysDevInterface iface{};
    iface.cbSize = sizeof iface;
    if (!SysSetupDiEnumDeviceInterfaces(disks.set, &kGuidDevinterfaceDisk, index, &iface)) return;
    SysDevInfo device{};
    device.cbSize = sizeof device;
    path[0] = '\0';
    if (!SysSetupDiGetDeviceInterfaceDetail(disks.set, &iface, kDetailBufferSize, path.get(), kDetailBufferSize,
                                            &device)) {
      TraceLastError("SetupDiGetDeviceInterfaceDetail");
      return;
    }
    if (!ContainsNoCase(path.get(), key.c_str())) continue;
    char pdo[kPdoNameBytes + 1] = {};
    uint32_t type = 0, required = 0;
    if (SysSetupDiGetDeviceRegistryProperty(disks.set, &device, kSpdrpPhysicalDeviceObjectName, &type, pdo,
                                            kPdoNameBytes, &required))
      CopyText(slot->pdoName, pdo);
    char target[kVolumeDeviceChars + 1] = {};
    if (SysQueryDosDevice(volumeName, target, kVolumeDeviceChars) != 0) CopyText(slot->volumeDevice, target);
    return;
  }
}

void DiscoverDisks(DiskTable* table) {
  *table = DiskTable();
  DiskTable work;
  char strings[kDriveStringsSize + 1] = {};
  uint32_t length = SysGetLogicalDriveStrings(kDriveStringsSize, strings);
  // A length above the buffer means nothing was written.
  if (length == 0 || length > kDriveStringsSize || strings[0] == '\0') return;
  std::unique_ptr<uint8_t[]> descriptor(new uint8_t[kDescriptorBufferSize]());
  for (const char* drive = strings; drive < strings + length && *drive; drive += std::strlen(drive) + 1)
    if (std::strlen(drive) >= 2) AddVolume(&work, drive, descriptor.get());
  *table = work;
}
