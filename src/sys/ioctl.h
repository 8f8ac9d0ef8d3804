// Device control codes and the buffers that go with them, as the core sends them and the simulated machine
// answers them. Layouts mirror the Windows DDK structures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/blockmap.h"

#if defined(__linux__)
// With src/ on the include path this header's name hides the system's <sys/ioctl.h>; code that includes that one
// (the command-line tool) gets it as well.
#include_next <sys/ioctl.h>
#endif

// CTL_CODE(device type, function, method, access).
constexpr uint32_t CtlCode(uint32_t deviceType, uint32_t function, uint32_t method, uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

// The multi-floppy filter driver's requests and buffers are the driver's own (driver/blockmap.h): device type 0,
// function 0x400, transfer methods 0 to 3.
constexpr uint32_t kIoctlFilterSelectBlock = DUN_IOCTL_SELECT_BLOCK;          // 0x1000
constexpr uint32_t kIoctlFilterConfigureBlocks = DUN_IOCTL_CONFIGURE_BLOCKS;  // 0x1001
constexpr uint32_t kIoctlFilterPresence = DUN_IOCTL_PRESENCE;                 // 0x1002
constexpr uint32_t kIoctlFilterCurrentBlock = DUN_IOCTL_CURRENT_BLOCK;        // 0x1003
static_assert(kIoctlFilterSelectBlock == CtlCode(0, 0x400, 0, 0), "filter codes");
static_assert(kIoctlFilterConfigureBlocks == CtlCode(0, 0x400, 1, 0), "filter codes");
static_assert(kIoctlFilterPresence == CtlCode(0, 0x400, 2, 0), "filter codes");
static_assert(kIoctlFilterCurrentBlock == CtlCode(0, 0x400, 3, 0), "filter codes");

// The driver marks its presence by completing the presence request with this transferred-byte count.
constexpr uint32_t kFilterPresenceMark = DUN_PRESENCE_MARK;

// Buffers of the four requests (each goes in and comes back in the same buffer).
using FilterSelectBlock = DunSelectRequest;  // 0x1000: the block to present, then 0
using FilterBlockConfig = DunBlockConfig;    // 0x1001: mode (0 page in use, 1 page hidden), sectors per block, area
constexpr uint32_t kFilterPresenceBytes = DUN_PRESENCE_BYTES;          // 0x1002: zeros, contents never looked at
constexpr uint32_t kFilterCurrentBlockBytes = DUN_CURRENT_BLOCK_BYTES;  // 0x1003: the presented block

// ---------------------------------------------------------------------------------------------------------------
// Storage, SCSI, disk and volume requests
// ---------------------------------------------------------------------------------------------------------------

constexpr uint32_t kFileDeviceCdRom = 0x02;
constexpr uint32_t kFileDeviceDisk = 0x07;
constexpr uint32_t kFileDeviceFileSystem = 0x09;
constexpr uint32_t kIoctlStorageBase = 0x2D;  // IOCTL_STORAGE_BASE
constexpr uint32_t kIoctlScsiBase = 0x04;     // IOCTL_SCSI_BASE (FILE_DEVICE_CONTROLLER)
constexpr uint32_t kMethodBuffered = 0;
constexpr uint32_t kFileAnyAccess = 0;
constexpr uint32_t kFileReadAccess = 1;
constexpr uint32_t kFileWriteAccess = 2;

constexpr uint32_t kIoctlStorageQueryProperty = CtlCode(kIoctlStorageBase, 0x500, kMethodBuffered, kFileAnyAccess);
constexpr uint32_t kIoctlStorageGetDeviceNumber =
    CtlCode(kIoctlStorageBase, 0x420, kMethodBuffered, kFileAnyAccess);
constexpr uint32_t kIoctlScsiPassThrough =
    CtlCode(kIoctlScsiBase, 0x401, kMethodBuffered, kFileReadAccess | kFileWriteAccess);
constexpr uint32_t kIoctlDiskGetDriveLayout = CtlCode(kFileDeviceDisk, 0x003, kMethodBuffered, kFileReadAccess);
constexpr uint32_t kFsctlLockVolume = CtlCode(kFileDeviceFileSystem, 6, kMethodBuffered, kFileAnyAccess);
constexpr uint32_t kFsctlUnlockVolume = CtlCode(kFileDeviceFileSystem, 7, kMethodBuffered, kFileAnyAccess);
constexpr uint32_t kFsctlDismountVolume = CtlCode(kFileDeviceFileSystem, 8, kMethodBuffered, kFileAnyAccess);
static_assert(kIoctlStorageQueryProperty == 0x2D1400 && kIoctlStorageGetDeviceNumber == 0x2D1080, "storage codes");
static_assert(kIoctlScsiPassThrough == 0x4D004 && kIoctlDiskGetDriveLayout == 0x7400C, "scsi and disk codes");
static_assert(kFsctlLockVolume == 0x90018 && kFsctlUnlockVolume == 0x9001C && kFsctlDismountVolume == 0x90020,
              "volume codes");

// STORAGE_PROPERTY_QUERY: PropertyId (StorageDeviceProperty 0), QueryType (PropertyStandardQuery 0), one byte of
// additional parameters, padded to 12 bytes.
struct StoragePropertyQuery {
  uint32_t propertyId;
  uint32_t queryType;
  uint8_t additionalParameters[4];
};
static_assert(sizeof(StoragePropertyQuery) == 12, "STORAGE_PROPERTY_QUERY layout");
constexpr uint32_t kStorageDeviceProperty = 0;
constexpr uint32_t kPropertyStandardQuery = 0;
constexpr uint32_t kPropertyExistsQuery = 1;

// STORAGE_DEVICE_DESCRIPTOR; the identification strings follow it, each at its offset from the start (0: none).
struct StorageDeviceDescriptor {
  uint32_t version;
  uint32_t size;
  uint8_t deviceType;
  uint8_t deviceTypeModifier;
  uint8_t removableMedia;
  uint8_t commandQueueing;
  uint32_t vendorIdOffset;
  uint32_t productIdOffset;
  uint32_t productRevisionOffset;
  uint32_t serialNumberOffset;
  uint32_t busType;  // STORAGE_BUS_TYPE
  uint32_t rawPropertiesLength;
  uint8_t rawDeviceProperties[1];
};
static_assert(sizeof(StorageDeviceDescriptor) == 40, "STORAGE_DEVICE_DESCRIPTOR layout");
constexpr uint32_t kBusTypeUsb = 7;

// STORAGE_DEVICE_NUMBER.
struct StorageDeviceNumber {
  uint32_t deviceType;
  uint32_t deviceNumber;
  uint32_t partitionNumber;
};
static_assert(sizeof(StorageDeviceNumber) == 12, "STORAGE_DEVICE_NUMBER layout");

// SCSI_PASS_THROUGH. DataBufferOffset is a ULONG_PTR, so the header is 44 bytes in 32-bit programs and 56 in
// 64-bit ones, with the later fields moved; requests must use this build's size and offsets.
struct ScsiPassThrough {
  uint16_t length;
  uint8_t scsiStatus;
  uint8_t pathId;
  uint8_t targetId;
  uint8_t lun;
  uint8_t cdbLength;
  uint8_t senseInfoLength;
  uint8_t dataIn;
  uint32_t dataTransferLength;
  uint32_t timeOutValue;
  uintptr_t dataBufferOffset;
  uint32_t senseInfoOffset;
  uint8_t cdb[16];
};
static_assert(offsetof(ScsiPassThrough, dataTransferLength) == 12, "SCSI_PASS_THROUGH layout");
static_assert(offsetof(ScsiPassThrough, timeOutValue) == 16, "SCSI_PASS_THROUGH layout");
static_assert(offsetof(ScsiPassThrough, dataBufferOffset) == (sizeof(void*) == 4 ? 20 : 24), "SCSI_PASS_THROUGH");
static_assert(offsetof(ScsiPassThrough, senseInfoOffset) == (sizeof(void*) == 4 ? 24 : 32), "SCSI_PASS_THROUGH");
static_assert(offsetof(ScsiPassThrough, cdb) == (sizeof(void*) == 4 ? 28 : 36), "SCSI_PASS_THROUGH layout");
static_assert(sizeof(ScsiPassThrough) == (sizeof(void*) == 4 ? 44 : 56), "SCSI_PASS_THROUGH size");
constexpr uint8_t kScsiDataIn = 1;                // SCSI_IOCTL_DATA_IN
constexpr uint8_t kScsiOpReadCapacity10 = 0x25;

// PARTITION_INFORMATION and DRIVE_LAYOUT_INFORMATION (the entries follow the 8-byte header).
struct PartitionInformation {
  alignas(8) int64_t startingOffset;
  alignas(8) int64_t partitionLength;
  uint32_t hiddenSectors;
  uint32_t partitionNumber;
  uint8_t partitionType;
  uint8_t bootIndicator;
  uint8_t recognizedPartition;
  uint8_t rewritePartition;
};
static_assert(sizeof(PartitionInformation) == 32, "PARTITION_INFORMATION layout");
struct DriveLayoutHeader {
  uint32_t partitionCount;
  uint32_t signature;
};
constexpr uint32_t kDriveLayoutEntriesOffset = 8;
static_assert(sizeof(DriveLayoutHeader) == kDriveLayoutEntriesOffset, "DRIVE_LAYOUT_INFORMATION layout");
