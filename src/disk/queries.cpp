#include "disk/queries.h"

#include <cstring>
#include <vector>

#include "base/trace.h"
#include "fat/fat.h"
#include "disk/sectorio.h"
#include "sys/ioctl.h"

namespace {

// READ CAPACITY (10) request: the pass-through header, then the 8 data bytes at offset 560 of a 568-byte buffer.
constexpr uint32_t kCapacityDataOffset = 560;
constexpr uint32_t kCapacityBufferSize = 568;
constexpr uint32_t kSenseInfoOffset = sizeof(ScsiPassThrough) + 4;
static_assert(sizeof(void*) != 4 || kSenseInfoOffset == 48, "sense area follows the 44-byte header");

// Drive layout buffers: 136 bytes (four entries) first, then 296, then 128 more each time while below 2,600.
constexpr uint32_t kFirstLayoutSize = 136;
constexpr uint32_t kSecondLayoutSize = 296;
constexpr uint32_t kLayoutGrowth = 128;
constexpr uint32_t kLayoutSizeLimit = 2600;

uint32_t GetBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Sector count (0 on failure) and sector size (untouched on failure) from READ CAPACITY (10).
uint32_t ReadCapacity(SysHandle disk, uint32_t* bytesPerSector) {
  alignas(8) uint8_t buffer[kCapacityBufferSize];
  std::memset(buffer, 0, sizeof buffer);
  ScsiPassThrough spt{};
  spt.length = sizeof spt;
  spt.targetId = 1;
  spt.cdbLength = 10;
  spt.dataIn = kScsiDataIn;
  spt.dataTransferLength = 8;
  spt.timeOutValue = 2;
  spt.dataBufferOffset = kCapacityDataOffset;
  spt.senseInfoOffset = kSenseInfoOffset;
  spt.cdb[0] = kScsiOpReadCapacity10;
  std::memcpy(buffer, &spt, sizeof spt);
  uint32_t returned = 0;
  if (!SysDeviceIoControl(disk, kIoctlScsiPassThrough, buffer, sizeof spt, buffer, sizeof buffer, &returned))
    return 0;
  const uint8_t* data = buffer + kCapacityDataOffset;
  if (bytesPerSector) *bytesPerSector = GetBe32(data + 4);
  // The last block address plus one; a device too large for READ CAPACITY (10) answers 0xFFFFFFFF and so
  // reports no count here.
  return GetBe32(data) + 1;
}

// The drive layout's first entry, read into ever larger buffers while the layout does not fit.
bool ReadFirstPartition(SysHandle disk, PartitionInformation* first) {
  uint32_t size = kFirstLayoutSize;
  while (size < kLayoutSizeLimit) {
    std::vector<uint8_t> buffer(size, 0);
    uint32_t returned = 0;
    if (SysDeviceIoControl(disk, kIoctlDiskGetDriveLayout, nullptr, 0, buffer.data(), size, &returned)) {
      // The first entry whatever the partition count says: a layout of no entries reads as zeros.
      std::memcpy(first, buffer.data() + kDriveLayoutEntriesOffset, sizeof *first);
      return true;
    }
    if (SysGetLastError() != kSysErrorInsufficientBuffer) return false;
    size = size == kFirstLayoutSize ? kSecondLayoutSize : size + kLayoutGrowth;
  }
  return false;
}

}  // namespace

bool QueryStorageDescriptor(SysHandle volume, uint8_t* buffer, uint32_t size) {
  if (!buffer || size < 8) return false;
  // The buffer is reused from volume to volume: no text of an earlier answer may survive into this one.
  std::memset(buffer, 0, size);
  PutLe32(buffer + 4, size);
  StoragePropertyQuery query{};
  query.propertyId = kStorageDeviceProperty;
  query.queryType = kPropertyStandardQuery;
  uint32_t returned = 0;
  return SysDeviceIoControl(volume, kIoctlStorageQueryProperty, &query, sizeof query, buffer, size, &returned);
}

bool DescriptorText(const uint8_t* buffer, uint32_t size, uint32_t offset, char* text, uint32_t textSize) {
  if (textSize == 0) return false;
  text[0] = '\0';
  if (offset == 0 || offset >= size) return false;
  uint32_t n = 0;
  while (offset + n < size && buffer[offset + n] != 0 && n + 1 < textSize) {
    text[n] = static_cast<char>(buffer[offset + n]);
    ++n;
  }
  text[n] = '\0';
  return true;
}

uint32_t QueryCapacityAndLayout(const char* deviceName, uint32_t* bytesPerSector, uint32_t* sectorCount,
                                uint64_t* partitionStart, uint64_t* partitionLength) {
  DeviceHandle disk(OpenDevice(deviceName));
  if (!disk.valid()) {
    if (sectorCount) *sectorCount = 0;
    return 0;
  }
  uint32_t count = ReadCapacity(disk.get(), bytesPerSector);
  if (sectorCount) *sectorCount = count;
  PartitionInformation first{};
  if (ReadFirstPartition(disk.get(), &first)) {
    // Windows gives bytes; the program counts 512-byte sectors whatever the device's sector size.
    uint64_t start = static_cast<uint64_t>(first.startingOffset) / kSectorSize;
    uint64_t length = static_cast<uint64_t>(first.partitionLength) / kSectorSize;
    if (partitionStart) *partitionStart = start;
    if (partitionLength) *partitionLength = length;
    TraceLine(" StartingOffset:%lx,PartitionLength:%lx", static_cast<unsigned long>(static_cast<uint32_t>(start)),
              static_cast<unsigned long>(static_cast<uint32_t>(length)));
  }
  return count;
}

int DetectFatType(SysHandle volumeOrDisk) {
  uint8_t sector[kSectorSize + 2];
  std::memset(sector, 0, sizeof sector);
  if (ReadSectors(volumeOrDisk, 0, 1, sector) != SectorIo::kOk) return kFatUnknown;
  return FatTypeOfBootSector(sector);
}

int DetectFatType(const char* volumeName) {
  DeviceHandle volume(OpenDevice(volumeName));
  if (!volume.valid()) return kFatUnknown;
  return DetectFatType(volume.get());
}

int QueryFilterPresence(const char* deviceName) {
  if (!deviceName || !deviceName[0]) return 0;
  DeviceHandle disk(OpenDevice(deviceName));
  if (!disk.valid()) return 0;
  uint8_t buffer[kFilterPresenceBytes] = {};
  uint32_t returned = 0;
  bool ok = SysDeviceIoControl(disk.get(), kIoctlFilterPresence, buffer, sizeof buffer, buffer, sizeof buffer,
                               &returned);
  return ok && returned == kFilterPresenceMark ? 1 : 0;
}

uint32_t GetCurrentBlockOn(SysHandle disk) {
  uint8_t buffer[kFilterCurrentBlockBytes] = {};
  uint32_t returned = 0;
  if (!SysDeviceIoControl(disk, kIoctlFilterCurrentBlock, buffer, sizeof buffer, buffer, sizeof buffer, &returned))
    return 0;
  return GetLe32(buffer);
}

uint32_t GetCurrentBlock(const char* deviceName) {
  if (!deviceName || !deviceName[0]) return 0;
  DeviceHandle disk(OpenDevice(deviceName));
  return disk.valid() ? GetCurrentBlockOn(disk.get()) : 0;
}

int SelectBlockOn(SysHandle disk, uint32_t block) {
  FilterSelectBlock request{block, 0};
  uint32_t returned = 0;
  return SysDeviceIoControl(disk, kIoctlFilterSelectBlock, &request, sizeof request, &request, sizeof request,
                            &returned)
             ? 1
             : 0;
}

int SelectBlock(const char* deviceName, uint32_t block) {
  if (!deviceName || !deviceName[0]) return 0;
  DeviceHandle disk(OpenDevice(deviceName));
  return disk.valid() ? SelectBlockOn(disk.get(), block) : 0;
}
