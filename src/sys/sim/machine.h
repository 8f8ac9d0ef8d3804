// The simulated Windows machine: its whole state, shared by the files that implement the seam over it.
//
// One process-wide machine guarded by one mutex, so a page's thread and its worker can use it together as they
// use the real system. Tests and the simulated Windows program build it through the control functions of sim.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sys/disk_answers.h"
#include "sys/lock.h"
#include "sys/sim/sim.h"
#include "sys/sys.h"

// Where a disk's sectors live: an image file (or block device) on the host, or memory.
struct SimBacking {
  std::string path;             // empty: memory
  std::FILE* file = nullptr;    // open while the machine holds the disk
  std::vector<uint8_t> memory;  // used when path is empty
};

struct SimVolumeState {
  SimVolumeSpec setup;
  bool mounted = true;      // a dismount clears it until the disk's device is started again
  int lockedByHandle = 0;   // handle id holding FSCTL_LOCK_VOLUME, 0 when unlocked
  bool heldByOtherProgram = false;  // another program has files open on it: it cannot be locked
};

// One entry of a disk's drive layout, in bytes as Windows reports it.
using SimPartitionEntry = DiskLayoutEntry;

struct SimDiskState {
  SimDiskSpec setup;
  SimBacking backing;
  std::vector<SimVolumeState> volumes;
  SimFilterState filter;
  bool present = true;          // false once the disk was pulled
  // Device node: the upper filter list as the registry keeps it.
  bool hasUpperFilters = false;
  uint32_t upperFiltersType = kRegMultiSz;
  std::vector<uint8_t> upperFilters;
  // Faults.
  uint32_t openError = 0;                   // non-zero: every open fails with this error
  uint64_t readFailFrom = UINT64_MAX;       // reads touching this sector or later (up to readFailEnd) fail
  uint64_t readFailEnd = UINT64_MAX;
  uint64_t writeFailFrom = UINT64_MAX;      // writes touching this sector or later (up to writeFailEnd) fail
  uint64_t writeFailEnd = UINT64_MAX;
  uint64_t pullAfterWrites = UINT64_MAX;    // write calls left before the disk is pulled out
  uint64_t failWriteCallIn = UINT64_MAX;    // write calls left before one fails
  uint64_t failReadCallIn = UINT64_MAX;     // read calls left before one fails
  uint32_t callFailError = kSysErrorWriteFault;
  uint32_t failError = kSysErrorDeviceNotConnected;
  bool shortTransfers = false;              // transfers move one sector less than asked (at least 0)
  uint32_t writeDelayMs = 0;                // every write call takes this much longer
  uint64_t writesBeforePause = UINT64_MAX;  // write calls that go through before the next one waits
  bool heldByOtherProgram = false;          // a restart then needs a reboot
  // Device node state.
  bool stopped = false;                     // between a device stop and the next start
  bool layoutRead = false;                  // the layout below was read from the disk
  std::vector<SimPartitionEntry> layout;    // as IOCTL_DISK_GET_DRIVE_LAYOUT reports it
  // Accounting.
  SimDiskStats stats;
  std::vector<SimTransfer> transfers;
};

enum class SimHandleKind { Disk, Volume, File };

struct SimHandleState {
  SimHandleKind kind = SimHandleKind::File;
  int disk = -1;          // index into SimMachineState::disks (Disk, Volume)
  char volumeLetter = 0;  // Volume
  std::FILE* file = nullptr;  // File
  std::string path;
  uint64_t position = 0;
  bool canRead = false, canWrite = false;
};

struct SimRegistryValue {
  std::string name;  // as first written (names compare without case)
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

// One element of a device information set: a device node and what the program set on it.
struct SimDevInfoElement {
  uint32_t devInst = 0;
  bool hasParams = false;
  uint32_t paramsSize = 0;
  SysPropChangeParams params{};
  uint32_t installFlags = 0;  // SP_DEVINSTALL_PARAMS Flags (DI_NEEDREBOOT)
  bool stopVetoed = false;    // the last stop was refused because another program holds the disk
};

struct SimDevInfoSetState {
  std::vector<SimDevInfoElement> elements;
};

// Setup API state: open device information sets, faults and the record of class installer calls.
struct SimSetupState {
  std::map<int, SimDevInfoSetState> sets;
  int nextSet = 0x30000000;
  uint32_t getClassDevsError = 0;
  uint32_t oneClassDevsError = 0;  // the same for one class only
  SysGuid oneClassDevsGuid{};
  uint32_t classInstallerError = 0;
  std::vector<SimClassInstallCall> classInstallCalls;
};

struct SimMachineState {
  SysLock mutex;
  std::vector<std::unique_ptr<SimDiskState>> disks;
  std::map<int, SimHandleState> handles;
  int nextHandle = 0x100;
  std::map<std::string, std::map<std::string, SimRegistryValue>> registry;  // key path (upper case) -> values
  std::map<int, std::string> registryKeys;  // open key handle id -> key path (upper case)
  int nextRegistryKey = 0x20000000;
  uint32_t registryCreateError = 0;         // non-zero: RegCreateKey fails with this error
  std::string currentDirectory;
  std::string windowsDirectory;
  std::vector<std::string> debugOutput;
  bool fixedTime = false;
  SysTime time{};
  bool vistaVolumeRule = false;  // writes inside a mounted, unlocked volume fail with access denied
  bool filterDriverLoads = true;
  uint32_t oemCodePage = 437;     // labels and 8.3 names are kept in this code page  // false: a disk whose list names the filter fails to start (an unsigned driver)
  SimDeviceEventSink eventSink = nullptr;
  std::vector<std::pair<void*, int>> notifications;  // (window, id)
  int nextNotification = 1;
  SimSetupState setup;
};

SimMachineState& SimState();

// Helpers shared by the sim files (call with the machine mutex held).
SimDiskState* SimFindDiskByNumber(int number);
SimDiskState* SimFindDiskByLetter(char letter, SimVolumeState** volume);
SimHandleState* SimFindHandle(SysHandle h);
void SimSetError(uint32_t error);
// Host path from a Windows-style path (backslashes become slashes on POSIX hosts).
std::string SimHostPath(const std::string& path);
// Raw sector access on a disk's backing, bounds-checked; false past the end.
bool SimBackingRead(SimDiskState& disk, uint64_t offset, void* buffer, uint32_t bytes);
// *landed (when given): the bytes that reached the backing, also when the write failed part way.
bool SimBackingWrite(SimDiskState& disk, uint64_t offset, const void* buffer, uint32_t bytes,
                     uint32_t* landed = nullptr);
// Raises a device arrival or removal event to every registered window.
void SimRaiseDeviceEvent(uint32_t event);
// The disk is there for the system: not pulled and its device not stopped.
inline bool SimDiskOnline(const SimDiskState& disk) { return disk.present && !disk.stopped; }
// The NT device name of a volume ("\Device\HarddiskVolume<n>" unless its setup names one).
std::string SimVolumeNtDevice(const SimVolumeState& volume);
// The disk's drive layout, read from sector 0 the first time it is asked for (sim_storage.cpp).
const std::vector<SimPartitionEntry>& SimDriveLayout(SimDiskState& disk);
// Reads the disk anew as a device start does: layout, volume places, mounts (sim_storage.cpp).
void SimRereadDisk(SimDiskState& disk);
// Bytes that the filter driver adds to a sector address of the disk: the presented block's offset.
uint64_t SimPresentationShift(const SimDiskState& disk);
// Whether the filter lets a transfer of `bytes` at byte `offset` of the disk through (a moved one must end on the
// disk).
bool SimFilterMapsTransfer(const SimDiskState& disk, uint64_t offset, uint64_t bytes);
