#include "sys/disk_answers.h"

#include <algorithm>
#include <cstring>

#include "fat/fat.h"
#include "sys/ioctl.h"

namespace {

bool Fail(uint32_t error) {
  SysSetLastError(error);
  return false;
}

bool Done(uint32_t* bytesReturned, uint32_t bytes) {
  if (bytesReturned) *bytesReturned = bytes;
  SysSetLastError(kSysErrorSuccess);
  return true;
}

}  // namespace

bool LooksLikeBootRecord(const uint8_t* s) {
  if (s[0] != 0xEB && s[0] != 0xE9) return false;
  const uint32_t bytesPerSector = GetLe16(s + bpb::kBytesPerSector);
  const uint32_t sectorsPerCluster = s[bpb::kSectorsPerCluster];
  const bool sizeOk = bytesPerSector == 512 || bytesPerSector == 1024 || bytesPerSector == 2048 ||
                      bytesPerSector == 4096;
  return sizeOk && sectorsPerCluster != 0 && (sectorsPerCluster & (sectorsPerCluster - 1)) == 0;
}

std::vector<DiskLayoutEntry> LayoutFromSector0(const uint8_t* sector, bool read, uint64_t sectorCount,
                                               uint32_t sectorSize) {
  std::vector<DiskLayoutEntry> layout;
  if (read && HasBootSignature(sector) && !LooksLikeBootRecord(sector)) {
    bool any = false;
    for (int i = 0; i < 4; ++i) {
      const uint8_t* e = &sector[446 + 16 * i];
      const uint32_t start = GetLe32(e + 8), count = GetLe32(e + 12);
      DiskLayoutEntry entry;
      if (e[4] != 0 && (e[0] == 0 || e[0] == 0x80) && count != 0 &&
          static_cast<uint64_t>(start) + count <= sectorCount) {
        entry = {static_cast<uint64_t>(start) * sectorSize, static_cast<uint64_t>(count) * sectorSize, e[4], e[0]};
        any = true;
      }
      layout.push_back(entry);  // Windows keeps the table's slots, empty ones included
    }
    if (!any) layout.clear();
  }
  if (layout.empty()) {
    // No partition table: one partition over the whole disk, as Windows reports a superfloppy.
    DiskLayoutEntry whole;
    whole.length = sectorCount * sectorSize;
    whole.type = read && LooksLikeBootRecord(sector) ? 0x06 : 0x00;
    layout.push_back(whole);
  }
  return layout;
}

bool AnswerDriveLayout(const std::vector<DiskLayoutEntry>& layout, uint32_t sectorSize, void* out, uint32_t outSize,
                       uint32_t* bytesReturned) {
  const uint32_t needed =
      kDriveLayoutEntriesOffset + static_cast<uint32_t>(layout.size() * sizeof(PartitionInformation));
  if (!out || outSize < needed) return Fail(kSysErrorInsufficientBuffer);
  uint8_t* bytes = static_cast<uint8_t*>(out);
  std::memset(bytes, 0, needed);
  const DriveLayoutHeader header{static_cast<uint32_t>(layout.size()), 0x4B4F5256u};
  std::memcpy(bytes, &header, sizeof header);
  for (size_t i = 0; i < layout.size(); ++i) {
    PartitionInformation p{};
    p.startingOffset = static_cast<int64_t>(layout[i].startingOffset);
    p.partitionLength = static_cast<int64_t>(layout[i].length);
    p.hiddenSectors = static_cast<uint32_t>(layout[i].startingOffset / sectorSize);
    p.partitionNumber = layout[i].type ? static_cast<uint32_t>(i + 1) : 0;
    p.partitionType = layout[i].type;
    p.bootIndicator = layout[i].bootIndicator == 0x80;
    p.recognizedPartition = layout[i].type != 0;
    std::memcpy(bytes + kDriveLayoutEntriesOffset + i * sizeof p, &p, sizeof p);
  }
  return Done(bytesReturned, needed);
}

bool AnswerReadCapacity(uint64_t sectorCount, uint32_t sectorSize, const void* in, uint32_t inSize, void* out,
                        uint32_t outSize, uint32_t* bytesReturned) {
  ScsiPassThrough spt{};
  if (!in || inSize < sizeof spt) return Fail(kSysErrorInvalidParameter);
  std::memcpy(&spt, in, sizeof spt);
  if (spt.length != sizeof spt || spt.cdbLength > 16) return Fail(kSysErrorInvalidParameter);
  if (spt.cdb[0] != kScsiOpReadCapacity10 || spt.dataIn != kScsiDataIn || spt.dataTransferLength < 8)
    return Fail(kSysErrorInvalidParameter);
  const uint64_t dataEnd = static_cast<uint64_t>(spt.dataBufferOffset) + spt.dataTransferLength;
  if (!out || spt.dataBufferOffset < sizeof spt || dataEnd > outSize || outSize < sizeof spt)
    return Fail(kSysErrorInvalidParameter);
  const uint64_t last = sectorCount ? sectorCount - 1 : 0;
  const uint32_t lba = last > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(last);
  uint8_t* data = static_cast<uint8_t*>(out) + spt.dataBufferOffset;
  for (int i = 0; i < 4; ++i) {
    data[i] = static_cast<uint8_t>(lba >> (24 - 8 * i));
    data[4 + i] = static_cast<uint8_t>(sectorSize >> (24 - 8 * i));
  }
  spt.scsiStatus = 0;
  spt.dataTransferLength = 8;
  spt.senseInfoLength = 0;
  std::memcpy(out, &spt, sizeof spt);
  return Done(bytesReturned, static_cast<uint32_t>(spt.dataBufferOffset + 8));
}

bool AnswerStorageQuery(const StorageIdentity& identity, const void* in, uint32_t inSize, void* out,
                        uint32_t outSize, uint32_t* bytesReturned) {
  StoragePropertyQuery query{};
  if (!in || inSize < 8) return Fail(kSysErrorInvalidParameter);
  std::memcpy(&query, in, std::min<uint32_t>(inSize, sizeof query));
  if (query.propertyId != kStorageDeviceProperty) return Fail(kSysErrorNotSupported);
  if (query.queryType == kPropertyExistsQuery) return Done(bytesReturned, 0);
  if (query.queryType != kPropertyStandardQuery) return Fail(kSysErrorInvalidParameter);
  if (!out || outSize < 8) return Fail(kSysErrorInsufficientBuffer);
  std::vector<uint8_t> bytes(sizeof(StorageDeviceDescriptor), 0);
  auto addString = [&bytes](bool present, const std::string& text) -> uint32_t {
    if (!present) return 0;
    const uint32_t offset = static_cast<uint32_t>(bytes.size());
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return offset;
  };
  StorageDeviceDescriptor d{};
  d.version = sizeof(StorageDeviceDescriptor);
  d.deviceType = identity.deviceType;
  d.removableMedia = identity.removable ? 1 : 0;
  d.vendorIdOffset = addString(identity.hasVendor, identity.vendor);
  d.productIdOffset = addString(identity.hasProduct, identity.product);
  d.productRevisionOffset = addString(true, "1.00");
  d.busType = identity.busType;
  d.size = static_cast<uint32_t>(bytes.size());
  std::memcpy(bytes.data(), &d, offsetof(StorageDeviceDescriptor, rawDeviceProperties));
  // A short buffer gets the descriptor's beginning; its Size tells how much there is.
  const uint32_t n = std::min<uint32_t>(outSize, d.size);
  std::memcpy(out, bytes.data(), n);
  return Done(bytesReturned, n);
}
