// The simulated machine's core: disks and their backing, handles, file and device I/O, errors, debug output,
// clock and the host files behind the simulated file system.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <thread>

#ifdef _WIN32
#include <direct.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "sys/seam_common.h"
#include "sys/sim/machine.h"

namespace {

thread_local uint32_t tLastError = 0;

bool Seek64(std::FILE* f, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

uint64_t FileSize(std::FILE* f) {
#ifdef _WIN32
  if (_fseeki64(f, 0, SEEK_END) != 0) return 0;
  long long size = _ftelli64(f);
#else
  if (fseeko(f, 0, SEEK_END) != 0) return 0;
  off_t size = ftello(f);
#endif
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

SysHandle HandleFromId(int id) { return reinterpret_cast<SysHandle>(static_cast<intptr_t>(id)); }

int IdFromHandle(SysHandle h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }

SysHandle NewHandle(const SimHandleState& state) {
  SimMachineState& m = SimState();
  int id = m.nextHandle;
  m.nextHandle += 4;
  m.handles[id] = state;
  return HandleFromId(id);
}

uint64_t DiskBytes(const SimDiskState& disk) { return disk.setup.sectorCount * disk.setup.sectorSize; }

uint64_t VolumeSectors(const SimDiskState& disk, const SimVolumeState& volume) {
  if (volume.setup.sectorCount) return volume.setup.sectorCount;
  return disk.setup.sectorCount > volume.setup.startSector ? disk.setup.sectorCount - volume.setup.startSector : 0;
}

// Whether a write of [first, first + count) sectors through a disk handle lands in a mounted volume that nobody
// locked: later Windows versions refuse such writes.
bool TouchesMountedUnlockedVolume(const SimDiskState& disk, uint64_t first, uint64_t count) {
  for (const SimVolumeState& v : disk.volumes) {
    if (!v.mounted || v.lockedByHandle != 0) continue;
    uint64_t vFirst = v.setup.startSector, vEnd = vFirst + VolumeSectors(disk, v);
    if (first < vEnd && first + count > vFirst) return true;
  }
  return false;
}

struct Span {
  uint64_t begin, end;  // bytes on the disk
};

// Common checks of a sector transfer on a disk or volume handle; returns the bytes that can move, or -1 with the
// error set.
int64_t PrepareTransfer(SimHandleState& h, SimDiskState& disk, uint32_t bytes, bool write, Span* span) {
  if (!disk.present) {
    SimSetError(kSysErrorDeviceNotConnected);
    return -1;
  }
  const uint32_t ss = disk.setup.sectorSize;
  if (h.position % ss != 0 || bytes % ss != 0) {
    SimSetError(kSysErrorInvalidParameter);
    return -1;
  }
  uint64_t base = 0, limit = DiskBytes(disk);
  if (h.kind == SimHandleKind::Volume) {
    for (SimVolumeState& v : disk.volumes)
      if (v.setup.letter == h.volumeLetter) {
        base = v.setup.startSector * ss;
        limit = base + VolumeSectors(disk, v) * ss;
      }
  }
  // The filter driver moves every address of the disk (and so of its volumes) by the presented block's offset.
  const uint64_t shift = SimPresentationShift(disk);
  if (shift != 0 && !SimFilterMapsTransfer(disk, base + h.position, bytes)) {
    SimSetError(kSysErrorSectorNotFound);
    return -1;
  }
  limit = std::min<uint64_t>(limit + shift, DiskBytes(disk));
  uint64_t begin = base + h.position + shift;
  *span = {begin, begin};
  if (bytes == 0) {
    *span = {begin, begin};
    return 0;
  }
  if (begin >= limit) {
    SimSetError(kSysErrorSectorNotFound);
    return -1;
  }
  uint64_t end = std::min<uint64_t>(begin + bytes, limit);
  uint64_t failFrom = (write ? disk.writeFailFrom : disk.readFailFrom);
  uint64_t failEnd = (write ? disk.writeFailEnd : disk.readFailEnd);
  if (failFrom != UINT64_MAX && end > failFrom * ss && (failEnd == UINT64_MAX || begin < failEnd * ss)) {
    SimSetError(disk.failError);
    return -1;
  }
  if (write && SimState().vistaVolumeRule) {
    bool refused = false;
    if (h.kind == SimHandleKind::Disk) {
      refused = TouchesMountedUnlockedVolume(disk, (begin - shift) / ss, (end - begin) / ss);
    } else {
      for (SimVolumeState& v : disk.volumes)
        if (v.setup.letter == h.volumeLetter) refused = v.mounted && v.lockedByHandle == 0;
    }
    if (refused) {
      SimSetError(kSysErrorAccessDenied);
      return -1;
    }
  }
  if (disk.shortTransfers) end = end - begin > ss ? end - ss : begin;
  *span = {begin, end};
  return static_cast<int64_t>(end - begin);
}

// Counts a call down to the one that fails; true for that call only.
bool CallFails(uint64_t* callsLeft) {
  if (*callsLeft == UINT64_MAX) return false;
  if (*callsLeft > 0) {
    --*callsLeft;
    return false;
  }
  *callsLeft = UINT64_MAX;
  return true;
}

std::string HostCurrentDirectory() {
  char buffer[4096];
#ifdef _WIN32
  if (!_getcwd(buffer, sizeof buffer)) return ".";
#else
  if (!getcwd(buffer, sizeof buffer)) return ".";
#endif
  return buffer;
}

void CloseBacking(SimBacking& b) {
  if (b.file) std::fclose(b.file);
  b.file = nullptr;
}

}  // namespace

SimMachineState& SimState() {
  static SimMachineState* state = new SimMachineState();  // lives as long as the process, threads included
  return *state;
}

void SimSetError(uint32_t error) { tLastError = error; }

std::string SimHostPath(const std::string& path) {
#ifdef _WIN32
  const char separator = '\\';
  std::string p = path;
#else
  const char separator = '/';
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
#endif
  // A relative path names a file of the simulated current directory, as it does on Windows.
  bool absolute = !p.empty() && (p[0] == '/' || p[0] == '\\' || (p.size() > 1 && p[1] == ':'));
  if (p.empty() || absolute) return p;
  std::lock_guard<SysLock> lock(SimState().mutex);
  const std::string& base = SimState().currentDirectory;
  if (base.empty()) return p;
  return base.back() == separator ? base + p : base + separator + p;
}

SimDiskState* SimFindDiskByNumber(int number) {
  for (auto& d : SimState().disks)
    if (d->setup.number == number) return d.get();
  return nullptr;
}

SimDiskState* SimFindDiskByLetter(char letter, SimVolumeState** volume) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (auto& d : SimState().disks) {
    if (!d->present) continue;
    for (SimVolumeState& v : d->volumes)
      if (std::toupper(static_cast<unsigned char>(v.setup.letter)) == letter) {
        if (volume) *volume = &v;
        return d.get();
      }
  }
  return nullptr;
}

SimHandleState* SimFindHandle(SysHandle h) {
  auto& handles = SimState().handles;
  auto it = handles.find(IdFromHandle(h));
  return it == handles.end() ? nullptr : &it->second;
}

namespace {

// A stick that holds fewer sectors than it claims wraps round: byte offset x reaches x modulo what it holds.
template <typename Buffer, typename Move>
bool Wrapped(const SimDiskState& disk, uint64_t offset, Buffer* buffer, uint32_t bytes, Move move) {
  const uint64_t real = disk.setup.realSectors * disk.setup.sectorSize;
  if (real == 0 || real >= DiskBytes(disk)) return move(offset, buffer, bytes);
  while (bytes > 0) {
    const uint64_t at = offset % real;
    const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(bytes, real - at));
    if (!move(at, buffer, piece)) return false;
    offset += piece;
    bytes -= piece;
    buffer += piece;
  }
  return true;
}

bool PhysicalRead(SimDiskState& disk, uint64_t offset, void* buffer, uint32_t bytes);
bool PhysicalWrite(SimDiskState& disk, uint64_t offset, const void* buffer, uint32_t bytes, uint32_t* landed);

}  // namespace

bool SimBackingRead(SimDiskState& disk, uint64_t offset, void* buffer, uint32_t bytes) {
  if (offset + bytes > DiskBytes(disk)) return false;
  return Wrapped(disk, offset, static_cast<uint8_t*>(buffer), bytes, [&disk](uint64_t at, uint8_t* b, uint32_t n) {
    return PhysicalRead(disk, at, b, n);
  });
}

bool SimBackingWrite(SimDiskState& disk, uint64_t offset, const void* buffer, uint32_t bytes, uint32_t* landed) {
  uint32_t total = 0;
  if (landed) *landed = 0;
  if (offset + bytes > DiskBytes(disk)) return false;
  const bool ok = Wrapped(disk, offset, static_cast<const uint8_t*>(buffer), bytes,
                          [&disk, &total](uint64_t at, const uint8_t* b, uint32_t n) {
                            uint32_t piece = 0;
                            const bool moved = PhysicalWrite(disk, at, b, n, &piece);
                            total += piece;
                            return moved;
                          });
  if (landed) *landed = total;
  return ok;
}

namespace {

bool PhysicalRead(SimDiskState& disk, uint64_t offset, void* buffer, uint32_t bytes) {
  if (bytes == 0) return true;  // an empty buffer may be null
  SimBacking& b = disk.backing;
  if (b.path.empty()) {
    std::memcpy(buffer, b.memory.data() + offset, bytes);
    return true;
  }
#ifndef _WIN32
  size_t got = 0;
  while (got < bytes) {
    ssize_t n = ::pread(fileno(b.file), static_cast<uint8_t*>(buffer) + got, bytes - got,
                        static_cast<off_t>(offset + got));
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
#else
  if (!Seek64(b.file, offset)) return false;
  size_t got = std::fread(buffer, 1, bytes, b.file);
  std::clearerr(b.file);
#endif
  // An image file shorter than its disk reads as zeros beyond its end.
  if (got < bytes) std::memset(static_cast<uint8_t*>(buffer) + got, 0, bytes - got);
  return true;
}

// *landed tells how many bytes reached the backing, also when the host took only part of them (a full file
// system, a file size limit): those bytes changed the disk.
bool PhysicalWrite(SimDiskState& disk, uint64_t offset, const void* buffer, uint32_t bytes, uint32_t* landed) {
  *landed = 0;
  if (bytes == 0) return true;
  SimBacking& b = disk.backing;
  if (b.path.empty()) {
    std::memcpy(b.memory.data() + offset, buffer, bytes);
    *landed = bytes;
    return true;
  }
#ifndef _WIN32
  // One positioned write per transfer, as a disk write is: no separate seek, no stdio buffer in between, and the
  // host file is current at once for the tools that read it.
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  while (bytes > 0) {
    ssize_t n = ::pwrite(fileno(b.file), p, bytes, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    bytes -= static_cast<uint32_t>(n);
    *landed += static_cast<uint32_t>(n);
  }
  return true;
#else
  if (!Seek64(b.file, offset)) return false;
  *landed = static_cast<uint32_t>(std::fwrite(buffer, 1, bytes, b.file));
  // Keep the host file current: other tools (and other handles) read it directly.
  return std::fflush(b.file) == 0 && *landed == bytes;
#endif
}

}  // namespace

void SimRaiseDeviceEvent(uint32_t event) {
  SimMachineState& m = SimState();
  if (!m.eventSink) return;
  for (auto& n : m.notifications) m.eventSink(n.first, event);
}

// ---------------------------------------------------------------------------------------------------------------
// Control
// ---------------------------------------------------------------------------------------------------------------

void SimReset() {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  for (auto& h : m.handles)
    if (h.second.file) std::fclose(h.second.file);
  for (auto& d : m.disks) CloseBacking(d->backing);
  m.disks.clear();
  m.handles.clear();
  m.registry.clear();
  m.registryKeys.clear();
  m.registryCreateError = 0;
  m.debugOutput.clear();
  m.notifications.clear();
  m.setup = SimSetupState();
  m.currentDirectory = HostCurrentDirectory();
  m.windowsDirectory.clear();
  m.fixedTime = false;
  m.vistaVolumeRule = false;
  m.filterDriverLoads = true;
  m.oemCodePage = 437;
}

SimDiskSpec SimStick(int number, char letter, uint64_t sectors, uint32_t bus) {
  SimDiskSpec disk;
  disk.number = number;
  disk.busType = bus;
  disk.sectorCount = sectors;
  disk.volumes.push_back(SimVolumeSpec());
  disk.volumes.back().letter = letter;
  return disk;
}

bool SimAddDisk(const SimDiskSpec& setup) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  auto disk = std::make_unique<SimDiskState>();
  disk->setup = setup;
  if (disk->setup.sectorSize == 0) disk->setup.sectorSize = 512;
  SimBacking& b = disk->backing;
  b.path = setup.imagePath;
  if (b.path.empty()) {
    b.memory.assign(setup.sectorCount * disk->setup.sectorSize, 0);
  } else {
    b.file = std::fopen(b.path.c_str(), setup.readOnly ? "rb" : "r+b");
    if (!b.file && setup.createImage && !setup.readOnly) b.file = std::fopen(b.path.c_str(), "w+b");
    if (!b.file) b.file = setup.sectorCount == 0 ? std::fopen(b.path.c_str(), "rb") : nullptr;
    if (!b.file) return false;
    // Sector transfers go straight to the file: a stdio buffer would read ahead before every write.
    std::setvbuf(b.file, nullptr, _IONBF, 0);
    uint64_t size = FileSize(b.file);
    if (disk->setup.sectorCount == 0) disk->setup.sectorCount = size / disk->setup.sectorSize;
    uint64_t wanted = disk->setup.sectorCount * disk->setup.sectorSize;
    if (setup.createImage && size < wanted) {
      // Extend without writing the whole image: one byte at its end.
      if (!Seek64(b.file, wanted - 1) || std::fputc(0, b.file) == EOF || std::fflush(b.file) != 0) {
        CloseBacking(b);
        return false;
      }
    }
  }
  for (const SimVolumeSpec& v : setup.volumes) {
    SimVolumeState vs;
    vs.setup = v;
    disk->volumes.push_back(vs);
  }
  m.disks.push_back(std::move(disk));
  return true;
}

void SimRemoveDisk(int number) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  if (SimDiskState* d = SimFindDiskByNumber(number)) {
    d->present = false;
    SimRaiseDeviceEvent(0x8004);
  }
}

void SimInsertDisk(int number) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  if (SimDiskState* d = SimFindDiskByNumber(number)) {
    d->present = true;
    SimRaiseDeviceEvent(0x8000);
  }
}

namespace {
template <typename F>
void WithDisk(int number, F f) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  if (SimDiskState* d = SimFindDiskByNumber(number)) f(*d);
}
}  // namespace

void SimFailOpen(int number, uint32_t error) {
  WithDisk(number, [&](SimDiskState& d) { d.openError = error; });
}
namespace {
// Sectors first .. end - 1 fail for reads (write false) or writes; end UINT64_MAX: every sector from first on.
void FailSectors(int number, bool write, uint64_t first, uint64_t end, uint32_t error) {
  WithDisk(number, [&](SimDiskState& d) {
    (write ? d.writeFailFrom : d.readFailFrom) = first;
    (write ? d.writeFailEnd : d.readFailEnd) = end;
    d.failError = error;
  });
}
}  // namespace

void SimFailReadsFrom(int number, uint64_t sector, uint32_t error) {
  FailSectors(number, false, sector, UINT64_MAX, error);
}
void SimFailWritesFrom(int number, uint64_t sector, uint32_t error) {
  FailSectors(number, true, sector, UINT64_MAX, error);
}
void SimFailWritesIn(int number, uint64_t first, uint64_t count, uint32_t error) {
  FailSectors(number, true, first, first + count, error);
}
void SimFailReadsIn(int number, uint64_t first, uint64_t count, uint32_t error) {
  FailSectors(number, false, first, first + count, error);
}
void SimFailWriteCall(int number, uint64_t calls, uint32_t error) {
  WithDisk(number, [&](SimDiskState& d) { d.failWriteCallIn = calls, d.callFailError = error; });
}
void SimFailReadCall(int number, uint64_t calls, uint32_t error) {
  WithDisk(number, [&](SimDiskState& d) { d.failReadCallIn = calls, d.callFailError = error; });
}
void SimDelayWrites(int number, uint32_t milliseconds) {
  WithDisk(number, [&](SimDiskState& d) { d.writeDelayMs = milliseconds; });
}
void SimPauseWritesAfter(int number, uint64_t writes) {
  WithDisk(number, [&](SimDiskState& d) { d.writesBeforePause = writes; });
}
void SimResumeWrites(int number) {
  WithDisk(number, [&](SimDiskState& d) { d.writesBeforePause = UINT64_MAX; });
}
void SimPullAfterWrites(int number, uint64_t writes) {
  WithDisk(number, [&](SimDiskState& d) { d.pullAfterWrites = writes; });
}
void SimShortTransfers(int number, bool on) {
  WithDisk(number, [&](SimDiskState& d) { d.shortTransfers = on; });
}
void SimHoldDisk(int number, bool held) {
  WithDisk(number, [&](SimDiskState& d) { d.heldByOtherProgram = held; });
}

void SimSetCurrentDirectory(const std::string& hostPath) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().currentDirectory = hostPath;
}
void SimSetWindowsDirectory(const std::string& hostPath) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().windowsDirectory = hostPath;
}
void SimSetLocalTime(const SysTime& time) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().fixedTime = true;
  SimState().time = time;
}
void SimSetVistaVolumeRule(bool on) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().vistaVolumeRule = on;
}
void SimSetFilterDriverLoads(bool loads) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().filterDriverLoads = loads;
}

SimDiskStats SimStats(int number) {
  SimDiskStats s;
  WithDisk(number, [&](SimDiskState& d) { s = d.stats; });
  return s;
}
void SimResetStats(int number) {
  WithDisk(number, [&](SimDiskState& d) {
    d.stats = SimDiskStats();
    d.transfers.clear();
  });
}
std::vector<SimTransfer> SimTransfers(int number) {
  std::vector<SimTransfer> t;
  WithDisk(number, [&](SimDiskState& d) { t = d.transfers; });
  return t;
}
int SimOpenHandleCount() {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return static_cast<int>(SimState().handles.size());
}
std::vector<std::string> SimDebugOutput() {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return SimState().debugOutput;
}
void SimClearDebugOutput() {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().debugOutput.clear();
}
std::vector<uint8_t> SimReadRaw(int number, uint64_t sector, uint32_t count) {
  std::vector<uint8_t> data;
  WithDisk(number, [&](SimDiskState& d) {
    data.assign(static_cast<size_t>(count) * d.setup.sectorSize, 0);
    if (!SimBackingRead(d, sector * d.setup.sectorSize, data.data(), static_cast<uint32_t>(data.size())))
      data.clear();
  });
  return data;
}
void SimWriteRaw(int number, uint64_t sector, const std::vector<uint8_t>& data) {
  WithDisk(number, [&](SimDiskState& d) {
    SimBackingWrite(d, sector * d.setup.sectorSize, data.data(), static_cast<uint32_t>(data.size()));
  });
}
void SimSetDeviceEventSink(SimDeviceEventSink sink) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().eventSink = sink;
}

// ---------------------------------------------------------------------------------------------------------------
// The seam: files and devices
// ---------------------------------------------------------------------------------------------------------------

SysHandle SysCreateFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags) {
  (void)share;
  (void)flags;
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  std::string p = path ? path : "";
  SimHandleState h;
  h.path = p;
  h.canRead = (access & kSysGenericRead) != 0;
  h.canWrite = (access & kSysGenericWrite) != 0;
  if (p.rfind("\\\\.\\", 0) == 0) {
    std::string name = p.substr(4);
    SimDiskState* disk = nullptr;
    if (StartsWithNoCase(name, "physicaldrive") && name.size() > 13) {
      char* end = nullptr;
      long number = std::strtol(name.c_str() + 13, &end, 10);
      if (*end == '\0') disk = SimFindDiskByNumber(static_cast<int>(number));
      h.kind = SimHandleKind::Disk;
    } else if (name.size() == 2 && name[1] == ':') {
      disk = SimFindDiskByLetter(name[0], nullptr);
      h.kind = SimHandleKind::Volume;
      h.volumeLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    }
    if (!disk || !disk->present) {
      SimSetError(kSysErrorFileNotFound);
      return SysInvalidHandle();
    }
    if (disk->openError) {
      SimSetError(disk->openError);
      return SysInvalidHandle();
    }
    for (size_t i = 0; i < m.disks.size(); ++i)
      if (m.disks[i].get() == disk) h.disk = static_cast<int>(i);
    // A dismounted volume is mounted again by the next open, unless the handle that dismounted it still holds it
    // locked.
    if (h.kind == SimHandleKind::Volume)
      for (SimVolumeState& v : disk->volumes)
        if (v.setup.letter == h.volumeLetter && v.lockedByHandle == 0) v.mounted = true;
    disk->stats.opens++;
    SimSetError(0);
    return NewHandle(h);
  }
  std::string host = SimHostPath(p);
  const char* mode = h.canWrite ? "r+b" : "rb";
  std::FILE* f = nullptr;
  if (disposition == kSysCreateAlways) {
    f = std::fopen(host.c_str(), "w+b");
  } else {
    f = std::fopen(host.c_str(), mode);
    if (!f && disposition == kSysOpenAlways) f = std::fopen(host.c_str(), "w+b");
  }
  if (!f) {
    SimSetError(errno == EACCES ? kSysErrorAccessDenied : kSysErrorFileNotFound);
    return SysInvalidHandle();
  }
  h.kind = SimHandleKind::File;
  h.file = f;
  SimSetError(0);
  return NewHandle(h);
}

uint32_t SysSetFilePointer(SysHandle handle, int32_t distance, int32_t* distanceHigh, uint32_t method) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  SimHandleState* h = SimFindHandle(handle);
  if (!h) {
    SimSetError(kSysErrorInvalidHandle);
    return kSysInvalidSetFilePointer;
  }
  int64_t move = distanceHigh ? (static_cast<int64_t>(*distanceHigh) << 32) | static_cast<uint32_t>(distance)
                              : static_cast<int64_t>(distance);
  int64_t base = method == kSysFileBegin ? 0 : static_cast<int64_t>(h->position);
  if (method == 2 /* FILE_END */) {
    if (h->kind == SimHandleKind::File) base = static_cast<int64_t>(FileSize(h->file));
    else base = static_cast<int64_t>(DiskBytes(*m.disks[h->disk]));
  }
  int64_t target = base + move;
  if (target < 0) {
    SimSetError(131);  // ERROR_NEGATIVE_SEEK
    return kSysInvalidSetFilePointer;
  }
  h->position = static_cast<uint64_t>(target);
  if (distanceHigh) *distanceHigh = static_cast<int32_t>(h->position >> 32);
  SimSetError(0);
  return static_cast<uint32_t>(h->position);
}

bool SysReadFile(SysHandle handle, void* buffer, uint32_t bytes, uint32_t* bytesRead) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  if (bytesRead) *bytesRead = 0;
  SimHandleState* h = SimFindHandle(handle);
  if (!h || !h->canRead) {
    SimSetError(h ? kSysErrorAccessDenied : kSysErrorInvalidHandle);
    return false;
  }
  if (h->kind == SimHandleKind::File) {
    if (!Seek64(h->file, h->position)) {
      SimSetError(kSysErrorReadFault);
      return false;
    }
    size_t got = std::fread(buffer, 1, bytes, h->file);
    std::clearerr(h->file);
    h->position += got;
    if (bytesRead) *bytesRead = static_cast<uint32_t>(got);
    return true;
  }
  SimDiskState& disk = *m.disks[h->disk];
  disk.stats.readCalls++;
  Span span{h->position, h->position};
  int64_t n = PrepareTransfer(*h, disk, bytes, false, &span);
  if (n >= 0 && CallFails(&disk.failReadCallIn)) {
    SimSetError(disk.callFailError);
    n = -1;
  }
  const uint32_t ss = disk.setup.sectorSize;
  disk.transfers.push_back({false, span.begin / ss, bytes / ss, n < 0 || static_cast<uint64_t>(n) < bytes});
  if (n < 0) return false;
  if (n > 0 && !SimBackingRead(disk, span.begin, buffer, static_cast<uint32_t>(n))) {
    SimSetError(kSysErrorReadFault);
    disk.transfers.back().failed = true;
    return false;
  }
  h->position += static_cast<uint64_t>(n);
  if (bytesRead) *bytesRead = static_cast<uint32_t>(n);
  return true;
}

bool SysWriteFile(SysHandle handle, const void* buffer, uint32_t bytes, uint32_t* bytesWritten) {
  SimMachineState& m = SimState();
  // A slow or paused disk keeps the writer waiting, not the rest of the machine.
  uint32_t delay = 0;
  for (;;) {
    {
      std::lock_guard<SysLock> lock(m.mutex);
      SimHandleState* h = SimFindHandle(handle);
      if (!h || h->kind == SimHandleKind::File || h->disk < 0) break;
      SimDiskState& d = *m.disks[h->disk];
      if (d.writesBeforePause != 0) {
        if (d.writesBeforePause != UINT64_MAX) d.writesBeforePause--;
        delay = d.writeDelayMs;
        break;
      }
    }
    SysSleep(5);
  }
  if (delay) SysSleep(delay);
  std::lock_guard<SysLock> lock(m.mutex);
  if (bytesWritten) *bytesWritten = 0;
  SimHandleState* h = SimFindHandle(handle);
  if (!h || !h->canWrite) {
    SimSetError(h ? kSysErrorAccessDenied : kSysErrorInvalidHandle);
    return false;
  }
  if (h->kind == SimHandleKind::File) {
    if (!Seek64(h->file, h->position) || std::fwrite(buffer, 1, bytes, h->file) != bytes) {
      SimSetError(kSysErrorWriteFault);
      return false;
    }
    h->position += bytes;
    if (bytesWritten) *bytesWritten = bytes;
    return true;
  }
  SimDiskState& disk = *m.disks[h->disk];
  disk.stats.writeCalls++;
  const uint32_t ss = disk.setup.sectorSize;
  // The first sector a failed write left unwritten; later writes are measured against it.
  auto noteFailure = [&disk, ss](uint64_t byteOffset) {
    disk.stats.failedWrites++;
    disk.stats.firstFailedSector = std::min(disk.stats.firstFailedSector, byteOffset / ss);
  };
  // Every sector that bytes [begin, end) of the disk reached counts as written, one that only part of them
  // reached included: its old contents are gone.
  auto noteWritten = [&disk, ss](uint64_t begin, uint64_t end) {
    if (end <= begin) return;
    const uint64_t first = begin / ss, last = (end - 1) / ss;
    disk.stats.sectorsWritten += last - first + 1;
    disk.stats.lowestSectorWritten = std::min(disk.stats.lowestSectorWritten, first);
    disk.stats.highestSectorWritten = std::max(disk.stats.highestSectorWritten, last);
    const uint64_t failed = disk.stats.firstFailedSector;
    if (failed != UINT64_MAX && last >= failed)
      disk.stats.sectorsWrittenPastFailure += last - std::max(first, failed) + 1;
  };
  if (disk.pullAfterWrites == 0) disk.present = false;
  if (disk.pullAfterWrites != UINT64_MAX && disk.pullAfterWrites > 0) disk.pullAfterWrites--;
  Span span{h->position, h->position};
  int64_t n = PrepareTransfer(*h, disk, bytes, true, &span);
  if (n >= 0 && CallFails(&disk.failWriteCallIn)) {
    SimSetError(disk.callFailError);
    n = -1;
  }
  disk.transfers.push_back({true, span.begin / ss, bytes / ss, n < 0 || static_cast<uint64_t>(n) < bytes});
  if (n < 0) {
    noteFailure(span.begin);
    return false;
  }
  if (n > 0 && disk.setup.readOnly) {
    SimSetError(kSysErrorAccessDenied);
    disk.transfers.back().failed = true;
    noteFailure(span.begin);
    return false;
  }
  uint32_t landed = 0;
  if (n > 0 && !SimBackingWrite(disk, span.begin, buffer, static_cast<uint32_t>(n), &landed)) {
    // The host took only part of the transfer: the call fails, and what reached the disk is written all the same.
    SimSetError(kSysErrorWriteFault);
    disk.transfers.back().failed = true;
    noteWritten(span.begin, span.begin + landed);
    noteFailure(span.begin + landed);
    return false;
  }
  noteWritten(span.begin, span.end);
  if (static_cast<uint64_t>(n) < bytes) noteFailure(span.end);
  h->position += static_cast<uint64_t>(n);
  if (bytesWritten) *bytesWritten = static_cast<uint32_t>(n);
  return true;
}

bool SysFlushFileBuffers(SysHandle handle) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  SimHandleState* h = SimFindHandle(handle);
  if (!h) {
    SimSetError(kSysErrorInvalidHandle);
    return false;
  }
  if (h->file) std::fflush(h->file);
#ifndef _WIN32
  // A disk on a host file or block device: what was written goes to the device, and the host's cached copy is
  // dropped, so that the next read asks the device itself (a read-back then sees what the device kept).
  if (h->kind != SimHandleKind::File && h->disk >= 0 && m.disks[h->disk]->backing.file) {
    const int fd = fileno(m.disks[h->disk]->backing.file);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  }
#endif
  return true;
}

bool SysCloseHandle(SysHandle handle) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  auto it = m.handles.find(IdFromHandle(handle));
  if (it == m.handles.end()) {
    SimSetError(kSysErrorInvalidHandle);
    return false;
  }
  if (it->second.file) std::fclose(it->second.file);
  // A handle that held a volume lock gives it up when it closes.
  for (auto& d : m.disks)
    for (SimVolumeState& v : d->volumes)
      if (v.lockedByHandle == it->first) v.lockedByHandle = 0;
  m.handles.erase(it);
  return true;
}

bool SysGetFileAttributesEx(const char* path, uint32_t* attributes, uint64_t* size) {
  return HostFileAttributes(SimHostPath(path), attributes, size);
}

bool SysFindFile(const char* pattern) {
  struct stat st {};
  if (stat(SimHostPath(pattern).c_str(), &st) != 0) {
    SimSetError(kSysErrorFileNotFound);
    return false;
  }
  return true;
}

bool SysCopyFile(const char* from, const char* to, bool failIfExists) {
  std::string src = SimHostPath(from), dst = SimHostPath(to);
  struct stat st {};
  if (failIfExists && stat(dst.c_str(), &st) == 0) {
    SimSetError(80);  // ERROR_FILE_EXISTS
    return false;
  }
  std::FILE* in = std::fopen(src.c_str(), "rb");
  if (!in) {
    SimSetError(kSysErrorFileNotFound);
    return false;
  }
  std::FILE* out = std::fopen(dst.c_str(), "wb");
  if (!out) {
    std::fclose(in);
    SimSetError(kSysErrorPathNotFound);
    return false;
  }
  char buffer[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok = ok && std::fwrite(buffer, 1, n, out) == n;
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  if (!ok) SimSetError(kSysErrorWriteFault);
  return ok;
}

namespace {
uint32_t CopyOut(const std::string& text, char* buffer, uint32_t size) {
  if (text.empty()) return 0;
  if (text.size() + 1 > size) return static_cast<uint32_t>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<uint32_t>(text.size());
}
}  // namespace

uint32_t SysGetCurrentDirectory(uint32_t size, char* buffer) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return CopyOut(SimState().currentDirectory, buffer, size);
}

uint32_t SysGetWindowsDirectory(char* buffer, uint32_t size) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return CopyOut(SimState().windowsDirectory, buffer, size);
}

// ---------------------------------------------------------------------------------------------------------------
// Errors, diagnostics, time
// ---------------------------------------------------------------------------------------------------------------

uint32_t SysGetLastError() { return tLastError; }
void SysSetLastError(uint32_t error) { tLastError = error; }

void SysOutputDebugString(const char* text) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().debugOutput.push_back(text ? text : "");
  if (std::getenv("KORVANE_TRACE")) std::fputs(text ? text : "", stderr);
}

void SysGetLocalTime(SysTime* time) {
  {
    std::lock_guard<SysLock> lock(SimState().mutex);
    if (SimState().fixedTime) {
      *time = SimState().time;
      return;
    }
  }
  HostLocalTime(time);
}

// The machine's OEM code page (seam_common.cpp converts with it).
void SimSetOemCodePage(uint32_t codePage) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().oemCodePage = codePage;
}
uint32_t SysGetOemCodePage() {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return SimState().oemCodePage;
}
