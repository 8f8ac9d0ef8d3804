// The small device requests the rest of the program builds on: what a volume lies on and who made it, how large
// a disk is and where its first partition lies, which FAT type a volume carries, and the three requests to the
// multi-floppy filter driver (presence, current block, select block). Each opens what it needs (except the
// descriptor query and the handle form of the FAT type check, which use the caller's handle), closes it again and
// returns a plain value; failures come back as 0 or as outputs left untouched.
#pragma once

#include <cstdint>

#include "sys/sys.h"

// The descriptor buffer discovery passes (a STORAGE_DEVICE_DESCRIPTOR followed by its strings).
constexpr uint32_t kDescriptorBufferSize = 551;

// IOCTL_STORAGE_QUERY_PROPERTY for the standard device property. The buffer is zeroed, its Size field set to
// `size`, and `size` is the output length; true when the request succeeded.
bool QueryStorageDescriptor(SysHandle volume, uint8_t* buffer, uint32_t size);

// The text at one of the descriptor's string offsets: false (text empty) when the offset is 0 or lies outside the
// buffer. A text that runs to the end of the buffer without its zero is cut there.
bool DescriptorText(const uint8_t* buffer, uint32_t size, uint32_t offset, char* text, uint32_t textSize);

// Sector size and count through SCSI READ CAPACITY (10), then the first entry of the drive layout in 512-byte
// sectors. Callers zero the outputs first: a value the device does not answer keeps that zero. Returns the sector
// count (0 when the device did not report it).
uint32_t QueryCapacityAndLayout(const char* deviceName, uint32_t* bytesPerSector, uint32_t* sectorCount,
                                uint64_t* partitionStart, uint64_t* partitionLength);

// FAT type code (FatType of fat/fat.h) of the boot record in sector 0 of a volume ("E:"), or of a volume or disk
// handle, which stays open. 0 when it cannot be read or is not a FAT boot record.
int DetectFatType(const char* volumeName);
int DetectFatType(SysHandle volumeOrDisk);

// 1 when the filter driver is attached to the disk ("physicaldrive1"): it completes the presence request with the
// mark 0x6B5D as its byte count. 0 otherwise, whatever else the disk answers.
int QueryFilterPresence(const char* deviceName);
// The floppy block the filter driver presents; 0 when the request fails (or no disk is named). A run that holds
// the disk open asks through its handle; the others name the disk, which is opened for the one request.
uint32_t GetCurrentBlock(const char* deviceName);
uint32_t GetCurrentBlockOn(SysHandle disk);
// Asks the filter driver to present `block`; 1 when it accepted, 0 otherwise (also when no disk is named).
int SelectBlock(const char* deviceName, uint32_t block);
int SelectBlockOn(SysHandle disk, uint32_t block);
