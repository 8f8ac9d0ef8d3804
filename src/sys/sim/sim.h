// Control of the simulated Windows machine: what tests and the simulated Windows program use
// to build a machine, inject faults and read what happened. The program itself only sees the seam (sys.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sys/sys.h"

constexpr uint32_t kSimBusScsi = 1;
constexpr uint32_t kSimBusAta = 3;
constexpr uint32_t kSimBusUsb = 7;

constexpr uint32_t kSimDeviceTypeCdRom = 2;
constexpr uint32_t kSimDeviceTypeDisk = 7;

struct SimVolumeSpec {
  char letter = 'E';
  uint64_t startSector = 0;   // where the volume begins on its disk
  uint64_t sectorCount = 0;   // 0: up to the end of the disk
  std::string ntDevice;       // QueryDosDevice target; empty: "\Device\HarddiskVolume<n>"
};

struct SimDiskSpec {
  int number = 1;                        // physical drive number
  uint32_t busType = kSimBusUsb;
  uint32_t deviceType = kSimDeviceTypeDisk;
  std::string vendor = "Generic ";        // as the device reports it (blanks kept)
  std::string product = " Flash Disk";
  bool hasVendor = true, hasProduct = true;
  uint32_t sectorSize = 512;
  uint64_t sectorCount = 0;              // 0 with an image file: the file's size / sector size
  std::string imagePath;                 // empty: the disk lives in memory
  bool createImage = false;              // create (or extend) the image file to sectorCount sectors
  bool readOnly = false;                 // the image is opened for reading only: every write fails
  bool refusesScsiPassThrough = false;   // the capacity query then fails; the layout still answers
  std::vector<SimVolumeSpec> volumes;
  std::string pdoName;                   // empty: "\Device\000000<number+40 in hex>"
  std::string interfacePath;             // empty: built from vendor and product (VEN_..&PROD_..)
  uint32_t extraLayoutEntries = 0;       // logical drives reported after the four MBR entries (large layouts)
  bool foreignDriverAcceptsAll = false;  // some other driver completes every unknown request with success
  // A stick that claims more than it holds: 0 holds all; else sector x reaches sector x modulo realSectors.
  uint64_t realSectors = 0;
};

// The filter driver's view of one disk, valid while it is attached.
struct SimFilterState {
  bool attached = false;
  uint32_t presentedBlock = 0;
  uint32_t mode = 0;
  uint32_t sectorsPerBlock = 0;  // 0 until the program configures the blocks
  uint32_t firstSector = 0;
  uint32_t endSector = 0;
  uint32_t selectCalls = 0;
  uint32_t configureCalls = 0;
};

// One call of the class installer with DIF_PROPERTYCHANGE, with the parameters that were set for the device.
struct SimClassInstallCall {
  int disk = -1;              // physical drive number of the node's disk, -1 for nodes of no disk
  bool volumeNode = false;    // the node was a volume's
  uint32_t paramsSize = 0;    // size passed to SetupDiSetClassInstallParams
  SysPropChangeParams params{};
};

struct SimDiskStats {
  uint64_t readCalls = 0;
  uint64_t writeCalls = 0;
  uint64_t sectorsWritten = 0;
  uint64_t lowestSectorWritten = UINT64_MAX;
  uint64_t highestSectorWritten = 0;
  uint32_t restarts = 0;  // device stops and starts
  uint32_t opens = 0;
  uint64_t failedWrites = 0;            // write calls that failed or moved less than asked
  uint64_t firstFailedSector = UINT64_MAX;  // the first sector the first failed write did not write
  // Sectors written at or after firstFailedSector by writes that came after that failure: a writer that stops at
  // its first failure leaves this at 0.
  uint64_t sectorsWrittenPastFailure = 0;
};

// A new, empty machine: no disks, empty registry, no handles, no debug output. Directories default to the host's
// temporary directory.
void SimReset();
// Adds a disk; returns false (and leaves the machine as it was) when its image cannot be opened or created.
bool SimAddDisk(const SimDiskSpec& setup);
// A disk of `sectors` sectors, in memory, with one volume, `letter`, over all of it.
SimDiskSpec SimStick(int number, char letter, uint64_t sectors, uint32_t bus = kSimBusUsb);
// Pulls a disk out (reads and writes fail, opens fail, volumes vanish) and raises a removal event; SimInsertDisk
// puts it back and raises an arrival.
void SimRemoveDisk(int number);
void SimInsertDisk(int number);

// Faults.
void SimFailOpen(int number, uint32_t error);                 // 0 clears
void SimFailReadsFrom(int number, uint64_t sector, uint32_t error = kSysErrorDeviceNotConnected);
void SimFailWritesFrom(int number, uint64_t sector, uint32_t error = kSysErrorDeviceNotConnected);
// Only the sectors first .. first + count - 1 fail, as bad sectors do; the rest of the disk works.
void SimFailWritesIn(int number, uint64_t first, uint64_t count, uint32_t error = kSysErrorWriteFault);
void SimFailReadsIn(int number, uint64_t first, uint64_t count, uint32_t error = kSysErrorReadFault);
void SimShortTransfers(int number, bool on);
// The read or write call `calls` calls from now (0: the next one) fails, once; every other call works.
void SimFailWriteCall(int number, uint64_t calls, uint32_t error = kSysErrorWriteFault);
void SimFailReadCall(int number, uint64_t calls, uint32_t error = kSysErrorReadFault);
// The disk is pulled out once `writes` more write calls have gone through (as SimRemoveDisk, without the event).
void SimPullAfterWrites(int number, uint64_t writes);
// Every write call to the disk takes `milliseconds` longer, as a slow stick does (0: as fast as the host).
void SimDelayWrites(int number, uint32_t milliseconds);
// Once `writes` more write calls have gone through, the writer waits in its next write call until SimResumeWrites:
// a test can act while a run is surely still going, however fast or slow the machine.
void SimPauseWritesAfter(int number, uint64_t writes);
void SimResumeWrites(int number);
void SimHoldDisk(int number, bool held);                      // another program holds it: restarts need a reboot

// Directories and clock.
void SimSetCurrentDirectory(const std::string& hostPath);
void SimSetWindowsDirectory(const std::string& hostPath);
void SimSetLocalTime(const SysTime& time);                    // fixes the clock (tests)
void SimSetVistaVolumeRule(bool on);
// The OEM code page of the machine (437 after SimReset; Windows picks it by the system's language: 936 on Chinese
// systems, 437 or 850 on Western ones).
void SimSetOemCodePage(uint32_t codePage);
// Whether the system loads the filter driver (64-bit Windows Vista and later refuse an unsigned one). When it does
// not, a disk whose upper filter list names the filter fails to start and stays away until the list changes.
void SimSetFilterDriverLoads(bool loads);
// Another program holds files open on the volume, so locking it fails (false lets go).
void SimHoldVolume(char letter, bool held);
// The state of a volume: locked by some handle, and mounted (a dismount lasts until the volume is opened again
// while nobody holds it locked, or the disk's device restarts).
bool SimVolumeLocked(char letter);
bool SimVolumeMounted(char letter);

// One read or write call on a disk or volume handle: the sectors it asked for (by their place on the disk).
struct SimTransfer {
  bool write = false;
  uint64_t firstSector = 0;
  uint64_t sectorCount = 0;
  bool failed = false;  // failed, or moved less than asked
};

// Accounting.
SimDiskStats SimStats(int number);
std::vector<SimTransfer> SimTransfers(int number);  // since the disk was added or its stats were reset
void SimResetStats(int number);
int SimOpenHandleCount();
std::vector<std::string> SimDebugOutput();
void SimClearDebugOutput();
// Direct access to a disk's bytes, bypassing faults and accounting (tests).
std::vector<uint8_t> SimReadRaw(int number, uint64_t sector, uint32_t count);
void SimWriteRaw(int number, uint64_t sector, const std::vector<uint8_t>& data);

// Registry under HKEY_LOCAL_MACHINE. Key paths are given without the root ("SYSTEM\CurrentControlSet\...");
// keys and value names compare without case.
void SimFailRegistryCreate(uint32_t error);  // RegCreateKey fails with this error; 0 clears
bool SimRegistryKeyExists(const std::string& key);
// A value's type and bytes; false when the key or the value does not exist.
bool SimGetRegistryValue(const std::string& key, const std::string& name, uint32_t* type, std::vector<uint8_t>* data);
void SimSetRegistryValue(const std::string& key, const std::string& name, uint32_t type,
                         const std::vector<uint8_t>& data);
std::vector<std::string> SimRegistryValueNames(const std::string& key);  // as first written, sorted without case
int SimOpenRegistryKeyCount();

// Storage and device nodes.
//
// The drive layout is read from the disk's sector 0 (an MBR, or else one partition over the whole disk) when it is
// first asked for, and again at every start of the disk's device, as Windows reads it; a start also moves the
// disk's volumes onto the layout's partitions, in order. The filter driver attaches at a start when "Dunmarle"
// stands in the disk's upper filter list and detaches at a start when it does not.
bool SimAddVolume(int number, const SimVolumeSpec& volume);  // a new volume on a disk (false: no such disk)
// The disk's upper filter list as the registry holds it (any registry type); SimDeleteUpperFilters removes it.
void SimSetUpperFilters(int number, uint32_t type, const std::vector<uint8_t>& data);
void SimDeleteUpperFilters(int number);
bool SimGetUpperFilters(int number, uint32_t* type, std::vector<uint8_t>* data);  // false: no list
void SimAttachFilter(int number, bool attached);   // attach or detach at once, without a device restart
SimFilterState SimFilter(int number);
// The NT device names behind a disk's node and a drive letter (empty when there is none).
std::string SimDiskPdoName(int number);
std::string SimVolumeDevice(char letter);
// Faults and accounting of the Setup API.
void SimFailGetClassDevs(uint32_t error);          // SetupDiGetClassDevs fails with this error; 0 clears
void SimFailGetClassDevsFor(const SysGuid& classGuid, uint32_t error);  // the same for one class only
void SimFailClassInstaller(uint32_t error);        // SetupDiCallClassInstaller fails with this error; 0 clears
std::vector<SimClassInstallCall> SimClassInstallCalls();
int SimOpenDevInfoSetCount();

// Device events reach windows through this sink (the simulated Windows program posts WM_DEVICECHANGE).
typedef void (*SimDeviceEventSink)(void* window, uint32_t event);
void SimSetDeviceEventSink(SimDeviceEventSink sink);
