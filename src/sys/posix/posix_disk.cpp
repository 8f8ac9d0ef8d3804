// Files and devices of the seam over the host's own files and block devices: the run's disk, its volumes, the
// host's files, and the device controls the program sends to a disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "fat/fat.h"
#include "sys/disk_answers.h"
#include "sys/ioctl.h"
#include "sys/lock.h"
#include "sys/posix/posix.h"
#include "sys/posix/posix_internal.h"
#include "sys/seam_common.h"
#include "sys/sys.h"

namespace {

constexpr uint32_t kFileEnd = 2;               // FILE_END
constexpr uint32_t kErrorNegativeSeek = 131;   // ERROR_NEGATIVE_SEEK
constexpr uint32_t kErrorNotLocked = 158;      // ERROR_NOT_LOCKED
constexpr uint32_t kDeviceTypeDisk = kFileDeviceDisk;

struct Volume {
  char letter = 0;
  uint64_t start = 0, count = 0;  // sectors; count 0: up to the end of the disk
  int lockedBy = 0;               // the handle that holds it locked
};

struct Disk {
  PosixDiskSetup setup;
  int fd = -1;
  std::vector<Volume> volumes;
  bool layoutRead = false;
  std::vector<DiskLayoutEntry> layout;  // read from sector 0 when first asked for, as Windows does at a device start
  PosixDiskWrites writes;
  uint64_t Bytes() const { return setup.sectorCount * setup.sectorSize; }
};

enum class Kind { Disk, Volume, File };

struct Handle {
  Kind kind = Kind::File;
  char letter = 0;  // Volume
  int fd = -1;      // File
  uint64_t position = 0;
  bool canRead = false, canWrite = false;
};

struct Host {
  SysLock lock;
  Disk disk;
  bool hasDisk = false;
  std::map<int, Handle> handles;
  int nextHandle = 0x100;
};

Host& State() {
  static Host* host = new Host();  // lives as long as the process
  return *host;
}

bool Fail(uint32_t error) {
  SysSetLastError(error);
  return false;
}

// The same for calls that answer a number: -1 (or what the caller makes of it).
int64_t Refuse(uint32_t error) {
  SysSetLastError(error);
  return -1;
}

bool Done(uint32_t* bytesReturned, uint32_t bytes) {
  if (bytesReturned) *bytesReturned = bytes;
  SysSetLastError(kSysErrorSuccess);
  return true;
}

int IdOf(SysHandle h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }

Handle* Find(SysHandle h) {
  auto it = State().handles.find(IdOf(h));
  return it == State().handles.end() ? nullptr : &it->second;
}

Volume* FindVolume(char letter) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (!State().hasDisk) return nullptr;
  for (Volume& v : State().disk.volumes)
    if (v.letter == letter) return &v;
  return nullptr;
}

uint64_t VolumeSectors(const Disk& disk, const Volume& v) {
  if (v.count) return v.count;
  return disk.setup.sectorCount > v.start ? disk.setup.sectorCount - v.start : 0;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// Bytes of the disk; an image file shorter than its disk reads as zeros beyond its end.
bool DiskRead(Disk& disk, uint64_t offset, void* buffer, uint32_t bytes) {
  if (offset + bytes > disk.Bytes()) return false;
  uint32_t got = 0;
  while (got < bytes) {
    ssize_t n = ::pread(disk.fd, static_cast<uint8_t*>(buffer) + got, bytes - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<uint32_t>(n);
  }
  std::memset(static_cast<uint8_t*>(buffer) + got, 0, bytes - got);
  return true;
}

// One positioned write per transfer, as a disk write is; *landed: the bytes that reached the disk, also when the
// host took only part of them.
bool DiskWrite(Disk& disk, uint64_t offset, const void* buffer, uint32_t bytes, uint32_t* landed) {
  *landed = 0;
  if (offset + bytes > disk.Bytes()) return false;
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  while (bytes > 0) {
    ssize_t n = ::pwrite(disk.fd, p, bytes, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    bytes -= static_cast<uint32_t>(n);
    *landed += static_cast<uint32_t>(n);
  }
  return true;
}

// Every sector that bytes [begin, end) of the disk reached counts as written.
void NoteWritten(Disk& disk, uint64_t begin, uint64_t end) {
  if (end <= begin) return;
  const uint32_t ss = disk.setup.sectorSize;
  const uint64_t first = begin / ss, last = (end - 1) / ss;
  disk.writes.sectorsWritten += last - first + 1;
  disk.writes.lowestSector = std::min(disk.writes.lowestSector, first);
  disk.writes.highestSector = std::max(disk.writes.highestSector, last);
}

// The bytes of the disk a sector transfer through a disk or volume handle reaches: [*begin, *begin + result), or
// -1 with the error set. A transfer that runs past the end moves what lies before it.
int64_t Span(const Handle& h, Disk& disk, uint32_t bytes, uint64_t* begin) {
  const uint32_t ss = disk.setup.sectorSize;
  if (h.position % ss != 0 || bytes % ss != 0) return Refuse(kSysErrorInvalidParameter);
  uint64_t base = 0, limit = disk.Bytes();
  if (h.kind == Kind::Volume)
    if (Volume* v = FindVolume(h.letter)) {
      base = v->start * ss;
      limit = std::min(base + VolumeSectors(disk, *v) * ss, disk.Bytes());
    }
  *begin = base + h.position;
  if (bytes == 0) return 0;
  if (*begin >= limit) return Refuse(kSysErrorSectorNotFound);
  return static_cast<int64_t>(std::min<uint64_t>(*begin + bytes, limit) - *begin);
}

// A relative path names a file of the current directory; backslashes separate folders as on Windows.
std::string HostPath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  if (p.empty() || p[0] == '/') return p;
  std::string base = PosixCurrentDirectory();
  if (base.empty()) return p;
  return base.back() == '/' ? base + p : base + "/" + p;
}

bool DriveLayout(Disk& disk, void* out, uint32_t outSize, uint32_t* bytesReturned) {
  if (!disk.layoutRead) {
    const uint32_t ss = disk.setup.sectorSize;
    std::vector<uint8_t> sector(std::max<uint32_t>(ss, 512), 0);
    const bool read = ss >= 512 && disk.setup.sectorCount > 0 && DiskRead(disk, 0, sector.data(), ss);
    disk.layout = LayoutFromSector0(sector.data(), read, disk.setup.sectorCount, ss);
    disk.layoutRead = true;
  }
  return AnswerDriveLayout(disk.layout, disk.setup.sectorSize, out, outSize, bytesReturned);
}

bool DeviceNumber(const Disk& disk, const Handle& h, void* out, uint32_t outSize, uint32_t* bytesReturned) {
  if (!out || outSize < sizeof(StorageDeviceNumber)) return Fail(kSysErrorInsufficientBuffer);
  StorageDeviceNumber number{kDeviceTypeDisk, 1, 0};
  if (h.kind == Kind::Volume)
    for (size_t i = 0; i < disk.volumes.size(); ++i)
      if (disk.volumes[i].letter == h.letter) number.partitionNumber = static_cast<uint32_t>(i + 1);
  std::memcpy(out, &number, sizeof number);
  return Done(bytesReturned, sizeof number);
}

// The run holds the whole disk already (see posix.h): a lock is the handle's while the disk was opened for
// writing, and a dismount leaves nothing mounted to drop.
bool VolumeRequest(const Disk& disk, const Handle& h, int id, uint32_t code, uint32_t* bytesReturned) {
  Volume* v = FindVolume(h.letter);
  if (!v) return Fail(kSysErrorInvalidParameter);
  if (code == kFsctlLockVolume) {
    if (disk.setup.readOnly || (v->lockedBy != 0 && v->lockedBy != id)) return Fail(kSysErrorAccessDenied);
    v->lockedBy = id;
  } else if (code == kFsctlUnlockVolume) {
    if (v->lockedBy != id) return Fail(kErrorNotLocked);
    v->lockedBy = 0;
  }
  return Done(bytesReturned, 0);
}

SysHandle NewHandle(const Handle& h) {
  Host& host = State();
  const int id = host.nextHandle;
  host.nextHandle += 4;
  host.handles[id] = h;
  SysSetLastError(kSysErrorSuccess);
  return reinterpret_cast<SysHandle>(static_cast<intptr_t>(id));
}

SysHandle OpenDeviceName(const std::string& name, Handle h) {
  Host& host = State();
  bool found = false;
  if (StartsWithNoCase(name, "physicaldrive") && name.size() > 13) {
    char* end = nullptr;
    const long number = std::strtol(name.c_str() + 13, &end, 10);
    found = *end == '\0' && number == 1 && host.hasDisk;
    h.kind = Kind::Disk;
  } else if (name.size() == 2 && name[1] == ':') {
    found = FindVolume(name[0]) != nullptr;
    h.kind = Kind::Volume;
    h.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  }
  if (!found) {
    SysSetLastError(kSysErrorFileNotFound);
    return SysInvalidHandle();
  }
  return NewHandle(h);
}

SysHandle OpenFile(const std::string& path, uint32_t disposition, Handle h) {
  const std::string host = HostPath(path);
  int fd = -1;
  if (disposition == kSysCreateAlways) {
    fd = ::open(host.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } else {
    fd = ::open(host.c_str(), (h.canWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0 && disposition == kSysOpenAlways) fd = ::open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  }
  if (fd < 0) {
    SysSetLastError(errno == EACCES ? kSysErrorAccessDenied : kSysErrorFileNotFound);
    return SysInvalidHandle();
  }
  h.kind = Kind::File;
  h.fd = fd;
  return NewHandle(h);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Control
// ---------------------------------------------------------------------------------------------------------------

bool PosixOpenDisk(const PosixDiskSetup& setup) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  Disk disk;
  disk.setup = setup;
  if (disk.setup.sectorSize == 0) disk.setup.sectorSize = 512;
  disk.fd = ::open(setup.path.c_str(), (setup.readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (disk.fd < 0 && setup.sectorCount == 0) disk.fd = ::open(setup.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (disk.fd < 0) return false;
  const off_t end = ::lseek(disk.fd, 0, SEEK_END);  // a block device's size too
  const uint64_t size = end > 0 ? static_cast<uint64_t>(end) : 0;
  if (disk.setup.sectorCount == 0) disk.setup.sectorCount = size / disk.setup.sectorSize;
  const uint64_t wanted = disk.setup.sectorCount * disk.setup.sectorSize;
  // Extended without writing the whole image: one byte at its end.
  const uint8_t zero = 0;
  if (setup.grow && size < wanted && ::pwrite(disk.fd, &zero, 1, static_cast<off_t>(wanted - 1)) != 1) {
    const int error = errno;
    ::close(disk.fd);
    errno = error;
    return false;
  }
  if (host.hasDisk) ::close(host.disk.fd);
  host.disk = disk;
  host.hasDisk = true;
  PosixClearDebugOutput();
  return true;
}

void PosixAddVolume(char letter, uint64_t start, uint64_t count) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  if (!host.hasDisk) return;
  Volume v;
  v.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  v.start = start;
  v.count = count;
  host.disk.volumes.push_back(v);
}

PosixDiskWrites PosixWrites() {
  std::lock_guard<SysLock> lock(State().lock);
  return State().disk.writes;
}

void PosixResetWrites() {
  std::lock_guard<SysLock> lock(State().lock);
  State().disk.writes = PosixDiskWrites();
}

std::vector<uint8_t> PosixReadRaw(uint64_t sector, uint32_t count) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  if (!host.hasDisk) return {};
  std::vector<uint8_t> data(static_cast<size_t>(count) * host.disk.setup.sectorSize, 0);
  if (!DiskRead(host.disk, sector * host.disk.setup.sectorSize, data.data(), static_cast<uint32_t>(data.size())))
    data.clear();
  return data;
}

// ---------------------------------------------------------------------------------------------------------------
// The seam: files and devices
// ---------------------------------------------------------------------------------------------------------------

SysHandle SysCreateFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags) {
  (void)share;
  (void)flags;
  std::lock_guard<SysLock> lock(State().lock);
  const std::string p = path ? path : "";
  Handle h;
  h.canRead = (access & kSysGenericRead) != 0;
  h.canWrite = (access & kSysGenericWrite) != 0;
  if (p.rfind("\\\\.\\", 0) == 0) return OpenDeviceName(p.substr(4), h);
  return OpenFile(p, disposition, h);
}

uint32_t SysSetFilePointer(SysHandle handle, int32_t distance, int32_t* distanceHigh, uint32_t method) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  Handle* h = Find(handle);
  if (!h) return static_cast<uint32_t>(Refuse(kSysErrorInvalidHandle));
  const int64_t move = distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh))
                                                             << 32) | static_cast<uint32_t>(distance))
                                    : static_cast<int64_t>(distance);
  int64_t base = method == kSysFileBegin ? 0 : static_cast<int64_t>(h->position);
  if (method == kFileEnd) {
    struct stat st {};
    if (h->kind == Kind::File) base = ::fstat(h->fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    else base = static_cast<int64_t>(host.disk.Bytes());
  }
  const int64_t target = base + move;
  if (target < 0) return static_cast<uint32_t>(Refuse(kErrorNegativeSeek));
  h->position = static_cast<uint64_t>(target);
  if (distanceHigh) *distanceHigh = static_cast<int32_t>(h->position >> 32);
  SysSetLastError(kSysErrorSuccess);
  return static_cast<uint32_t>(h->position);
}

bool SysReadFile(SysHandle handle, void* buffer, uint32_t bytes, uint32_t* bytesRead) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  if (bytesRead) *bytesRead = 0;
  Handle* h = Find(handle);
  if (!h || !h->canRead) return Fail(h ? kSysErrorAccessDenied : kSysErrorInvalidHandle);
  if (h->kind == Kind::File) {
    // As a stream read: what could be read before the end or a fault.
    uint32_t got = 0;
    while (got < bytes) {
      ssize_t n = ::pread(h->fd, static_cast<uint8_t*>(buffer) + got, bytes - got,
                          static_cast<off_t>(h->position + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<uint32_t>(n);
    }
    h->position += got;
    if (bytesRead) *bytesRead = got;
    return true;
  }
  uint64_t begin = 0;
  const int64_t n = Span(*h, host.disk, bytes, &begin);
  if (n < 0) return false;
  if (n > 0 && !DiskRead(host.disk, begin, buffer, static_cast<uint32_t>(n))) return Fail(kSysErrorReadFault);
  h->position += static_cast<uint64_t>(n);
  if (bytesRead) *bytesRead = static_cast<uint32_t>(n);
  return true;
}

bool SysWriteFile(SysHandle handle, const void* buffer, uint32_t bytes, uint32_t* bytesWritten) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  if (bytesWritten) *bytesWritten = 0;
  Handle* h = Find(handle);
  if (!h || !h->canWrite) return Fail(h ? kSysErrorAccessDenied : kSysErrorInvalidHandle);
  if (h->kind == Kind::File) {
    uint32_t landed = 0;
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    while (landed < bytes) {
      ssize_t n = ::pwrite(h->fd, p + landed, bytes - landed, static_cast<off_t>(h->position + landed));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Fail(kSysErrorWriteFault);
      landed += static_cast<uint32_t>(n);
    }
    h->position += bytes;
    if (bytesWritten) *bytesWritten = bytes;
    return true;
  }
  Disk& disk = host.disk;
  uint64_t begin = 0;
  const int64_t n = Span(*h, disk, bytes, &begin);
  if (n < 0) return false;
  if (n > 0 && disk.setup.readOnly) return Fail(kSysErrorAccessDenied);
  uint32_t landed = 0;
  if (n > 0 && !DiskWrite(disk, begin, buffer, static_cast<uint32_t>(n), &landed)) {
    // The host took only part of the transfer: the call fails, and what reached the disk is written all the same.
    NoteWritten(disk, begin, begin + landed);
    return Fail(kSysErrorWriteFault);
  }
  NoteWritten(disk, begin, begin + static_cast<uint64_t>(n));
  h->position += static_cast<uint64_t>(n);
  if (bytesWritten) *bytesWritten = static_cast<uint32_t>(n);
  return true;
}

bool SysFlushFileBuffers(SysHandle handle) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  Handle* h = Find(handle);
  if (!h) return Fail(kSysErrorInvalidHandle);
  // What was written goes to the device, and the host's cached copy is dropped, so that the next read asks the
  // device itself (a read-back then sees what the device kept).
  if (h->kind != Kind::File) {
    ::fdatasync(host.disk.fd);
    ::posix_fadvise(host.disk.fd, 0, 0, POSIX_FADV_DONTNEED);
  }
  return true;
}

bool SysCloseHandle(SysHandle handle) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  auto it = host.handles.find(IdOf(handle));
  if (it == host.handles.end()) return Fail(kSysErrorInvalidHandle);
  if (it->second.fd >= 0) ::close(it->second.fd);
  // A handle that held a volume lock gives it up when it closes.
  for (Volume& v : host.disk.volumes)
    if (v.lockedBy == it->first) v.lockedBy = 0;
  host.handles.erase(it);
  return true;
}

bool SysDeviceIoControl(SysHandle handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* bytesReturned) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  if (bytesReturned) *bytesReturned = 0;
  Handle* h = Find(handle);
  if (!h) return Fail(kSysErrorInvalidHandle);
  if (h->kind == Kind::File) return Fail(kSysErrorInvalidFunction);
  Disk& disk = host.disk;
  const bool onDisk = h->kind == Kind::Disk;
  if (code == kIoctlStorageQueryProperty) {
    // A removable USB disk, with the vendor and model the tool found for it.
    StorageIdentity identity;
    identity.removable = true;
    identity.busType = kBusTypeUsb;
    identity.vendor = disk.setup.vendor;
    identity.product = disk.setup.product;
    return AnswerStorageQuery(identity, in, inSize, out, outSize, bytesReturned);
  }
  if (code == kIoctlStorageGetDeviceNumber) return DeviceNumber(disk, *h, out, outSize, bytesReturned);
  if (onDisk && code == kIoctlScsiPassThrough)
    return AnswerReadCapacity(disk.setup.sectorCount, disk.setup.sectorSize, in, inSize, out, outSize, bytesReturned);
  if (onDisk && code == kIoctlDiskGetDriveLayout) return DriveLayout(disk, out, outSize, bytesReturned);
  if (!onDisk && (code == kFsctlLockVolume || code == kFsctlUnlockVolume || code == kFsctlDismountVolume))
    return VolumeRequest(disk, *h, IdOf(handle), code, bytesReturned);
  // No filter driver on this side: its requests fail as on a disk without it.
  return Fail(kSysErrorInvalidFunction);
}

bool SysGetFileAttributesEx(const char* path, uint32_t* attributes, uint64_t* size) {
  return HostFileAttributes(HostPath(path), attributes, size);
}

bool SysFindFile(const char* pattern) {
  struct stat st {};
  return ::stat(HostPath(pattern).c_str(), &st) == 0 || Fail(kSysErrorFileNotFound);
}

bool SysCopyFile(const char* from, const char* to, bool failIfExists) {
  (void)from;
  (void)to;
  (void)failIfExists;
  return Fail(kSysErrorNotSupported);  // only the driver's installation copies files, and there is none here
}

// ---------------------------------------------------------------------------------------------------------------
// Volumes and names
// ---------------------------------------------------------------------------------------------------------------

uint32_t SysGetLogicalDriveStrings(uint32_t size, char* buffer) {
  std::lock_guard<SysLock> lock(State().lock);
  std::string strings;
  if (State().hasDisk) {
    std::vector<char> letters;
    for (const Volume& v : State().disk.volumes) letters.push_back(v.letter);
    std::sort(letters.begin(), letters.end());
    letters.erase(std::unique(letters.begin(), letters.end()), letters.end());
    for (char letter : letters) strings += std::string(1, letter) + ":\\" + '\0';
  }
  // Too small a buffer: nothing is written and the size needed (with the final zero) comes back.
  if (strings.size() + 1 > size || !buffer) return static_cast<uint32_t>(strings.size() + 1);
  std::memcpy(buffer, strings.data(), strings.size());
  buffer[strings.size()] = '\0';
  SysSetLastError(kSysErrorSuccess);
  return static_cast<uint32_t>(strings.size());
}

bool SysGetDiskFreeSpaceEx(const char* rootPath, uint64_t* freeToCaller, uint64_t* totalBytes, uint64_t* totalFree) {
  Host& host = State();
  std::lock_guard<SysLock> lock(host.lock);
  const bool name = rootPath && std::isalpha(static_cast<unsigned char>(rootPath[0])) && rootPath[1] == ':' &&
                    (rootPath[2] == '\0' || (rootPath[2] == '\\' && rootPath[3] == '\0'));
  Volume* v = name ? FindVolume(rootPath[0]) : nullptr;
  if (!v) return Fail(kSysErrorPathNotFound);
  // A FAT volume's size is its file system's; a volume without one keeps its partition's size.
  const uint32_t ss = host.disk.setup.sectorSize;
  std::vector<uint8_t> boot(std::max<uint32_t>(ss, 512), 0);
  uint64_t total = 0;
  if (ss >= 512 && DiskRead(host.disk, v->start * ss, boot.data(), ss) && LooksLikeBootRecord(boot.data()) &&
      HasBootSignature(boot.data()))
    total = ClusterAreaBytes(boot.data());
  if (total == 0) total = VolumeSectors(host.disk, *v) * ss;
  if (freeToCaller) *freeToCaller = total;
  if (totalBytes) *totalBytes = total;
  if (totalFree) *totalFree = total;
  return Done(nullptr, 0);
}

uint32_t SysQueryDosDevice(const char* deviceName, char* target, uint32_t size) {
  std::lock_guard<SysLock> lock(State().lock);
  Volume* v = deviceName && std::strlen(deviceName) == 2 && deviceName[1] == ':' ? FindVolume(deviceName[0]) : nullptr;
  if (!v) {
    SysSetLastError(kSysErrorFileNotFound);
    return 0;
  }
  size_t index = 0;
  while (&State().disk.volumes[index] != v) ++index;
  const std::string name = "\\Device\\HarddiskVolume" + std::to_string(index + 1);
  // The target list: the name, its zero and the zero that ends the list.
  const uint32_t stored = static_cast<uint32_t>(name.size() + 2);
  if (!target || size < stored) {
    SysSetLastError(kSysErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(target, name.c_str(), name.size() + 1);
  target[name.size() + 1] = '\0';
  SysSetLastError(kSysErrorSuccess);
  return stored;
}
