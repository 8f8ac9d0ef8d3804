#include <dirent.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli.h"
#include "sys/posix/posix.h"

namespace {

std::string ReadSysfsLine(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return "";
  char buffer[256] = {};
  if (!std::fgets(buffer, sizeof buffer, f)) buffer[0] = '\0';
  std::fclose(f);
  std::string s = buffer;
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

bool BlockDeviceGeometry(const std::string& path, uint64_t* bytes, uint32_t* sectorSize) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  uint64_t size = 0;
  int logical = 512;
  bool ok = ::ioctl(fd, BLKGETSIZE64, &size) == 0 && ::ioctl(fd, BLKSSZGET, &logical) == 0;
  ::close(fd);
  *bytes = size;
  *sectorSize = static_cast<uint32_t>(logical);
  return ok;
}

// Descriptors that hold the run's locks: an image file's lock and a block device's exclusive open last until the
// process ends, so they are never closed here.
void Hold(int fd) {
  static std::vector<int> held;
  held.push_back(fd);
}

std::string BaseName(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return "";
  const char* slash = std::strrchr(resolved, '/');
  return slash ? slash + 1 : resolved;
}

// What a path is when it is neither a regular file nor a block device.
std::string KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISDIR(mode)) return "a directory";
  return "neither a file nor a disk";
}

// Mount points in /proc/self/mountinfo escape blanks and backslashes as \ooo.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      int value = 0;
      bool octal = true;
      for (size_t k = 1; k <= 3; ++k) {
        char c = field[i + k];
        if (c < '0' || c > '7') octal = false;
        else value = value * 8 + (c - '0');
      }
      if (octal) {
        out += static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// Why the whole disk `name` (as in /sys/class/block) cannot be written now: a partition of it (or the disk itself)
// mounted, used as swap or held by another block device (a device-mapper or RAID volume); "" when nothing is.
std::string DiskInUse(const std::string& name) {
  const std::string sys = "/sys/class/block/" + name;
  std::vector<std::string> nodes = {name};
  for (const std::string& entry : CliDirectoryEntries(sys)) {
    struct stat st {};
    if (entry.compare(0, name.size(), name) == 0 && ::stat((sys + "/" + entry + "/partition").c_str(), &st) == 0)
      nodes.push_back(entry);
  }
  std::string reasons;
  auto add = [&reasons](const std::string& reason) { reasons += (reasons.empty() ? "" : "; ") + reason; };
  std::vector<std::pair<std::string, std::string>> numbers;  // "major:minor", node
  for (const std::string& node : nodes) {
    const std::string dir = node == name ? sys : sys + "/" + node;
    numbers.emplace_back(ReadSysfsLine(dir + "/dev"), node);
    for (const std::string& holder : CliDirectoryEntries(dir + "/holders"))
      add("/dev/" + node + " is in use by /dev/" + holder);
  }
  std::ifstream mounts("/proc/self/mountinfo");
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string id, parent, number, root, point;
    if (!(fields >> id >> parent >> number >> root >> point)) continue;
    for (const auto& n : numbers)
      if (!n.first.empty() && n.first == number)
        add("/dev/" + n.second + " is mounted on " + UnescapeMountField(point) + " (unmount it first: umount /dev/" +
            n.second + ")");
  }
  std::ifstream swaps("/proc/swaps");
  for (std::string line; std::getline(swaps, line);) {
    std::string device = line.substr(0, line.find_first_of(" \t"));
    for (const std::string& node : nodes)
      if (BaseName(device) == node) add("/dev/" + node + " is in use as swap (swapoff /dev/" + node + " first)");
  }
  return reasons;
}

bool Confirm(const CliTarget& t, const std::string& what = "") {
  std::fprintf(stderr, "%s on %s (%s %s, %.1f MB)%s. Continue? [y/N] ", what.empty() ? "All data" : what.c_str(),
               t.path.c_str(), CliPrintable(t.vendor).c_str(), CliPrintable(t.model).c_str(),
               static_cast<double>(t.sectorCount * t.sectorSize) / 1048576.0,
               what.empty() ? " will be lost" : " will be changed");
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace

bool IsUsbBlockDevice(const std::string& devicePath, std::string* vendor, std::string* model) {
  std::string name = BaseName(devicePath);
  if (name.empty()) return false;
  std::string sysBlock = "/sys/class/block/" + name;
  char device[PATH_MAX];
  if (!realpath((sysBlock + "/device").c_str(), device)) return false;
  if (vendor) *vendor = ReadSysfsLine(sysBlock + "/device/vendor");
  if (model) *model = ReadSysfsLine(sysBlock + "/device/model");
  return std::strstr(device, "/usb") != nullptr;
}

namespace {

// The checks every block device passes before it is opened for writing, and its size: a whole disk (not a
// partition), on USB, with 512-byte sectors, nothing of it mounted or in use. The exclusive open then keeps
// mounts and other exclusive users (another korvane, mkfs) away for the rest of the run.
bool ClaimBlockDevice(const std::string& path, bool write, CliTarget* t, std::string* error) {
  t->blockDevice = true;
  const std::string name = BaseName(path);
  struct stat partition {};
  if (!name.empty() && ::stat(("/sys/class/block/" + name + "/partition").c_str(), &partition) == 0) {
    *error = path + " is a partition; give the whole disk";
    return false;
  }
  if (!IsUsbBlockDevice(path, &t->vendor, &t->model)) {
    *error = path + " is not a USB disk; korvane only writes removable USB disks and image files";
    return false;
  }
  uint64_t bytes = 0;
  if (!BlockDeviceGeometry(path, &bytes, &t->sectorSize)) {
    *error = "cannot read the size of " + path + ": " + std::strerror(errno);
    return false;
  }
  t->sectorCount = bytes / t->sectorSize;
  if (!write) return true;
  std::string inUse = DiskInUse(name);
  if (!inUse.empty()) {
    *error = inUse;
    return false;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_EXCL | O_CLOEXEC);
  if (fd < 0) {
    *error = errno == EBUSY ? path + " is in use: another program (or another korvane) holds it open exclusively"
                            : "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  Hold(fd);
  return true;
}

// Opens an image file (creating it when asked) and takes its lock: shared for reading, exclusive for writing,
// never waiting.
bool LockImageFile(const std::string& path, bool write, bool create, CliTarget* t, std::string* error) {
  int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  // O_EXCL also refuses a link that appeared in the meantime: a new image is never created through one.
  int fd = create ? ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666) : ::open(path.c_str(), flags);
  if (fd < 0) {
    *error = "cannot " + std::string(create ? "create " : "open ") + path + ": " + std::strerror(errno);
    return false;
  }
  t->created = create;
  if (::flock(fd, (write ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    int lockError = errno;
    ::close(fd);
    *error = lockError == EWOULDBLOCK ? path + " is in use by another korvane (or another program that locked it)"
                                      : "cannot lock " + path + ": " + std::strerror(lockError);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = path + " changed while korvane opened it";
    return false;
  }
  t->sectorCount = static_cast<uint64_t>(st.st_size) / 512;
  Hold(fd);
  return true;
}

void Discard(const CliTarget& t) {
  if (t.created) ::unlink(t.path.c_str());
}

}  // namespace

bool OpenCliTarget(const std::string& path, const CliTargetOptions& options, CliTarget* target, std::string* error) {
  CliTarget t;
  t.path = path;
  struct stat st {}, link {};
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && ::lstat(path.c_str(), &link) == 0) {
    *error = path + " is a link to nothing (" + std::strerror(errno) + "); korvane does not create its target";
    return false;
  }
  if (!exists && errno != ENOENT) {
    *error = "cannot examine " + path + ": " + std::strerror(errno);
    return false;
  }
  const bool write = !options.readOnly;
  PosixDiskSetup setup;
  setup.path = path;
  setup.vendor = "Korvane";
  setup.product = "Image";
  setup.readOnly = options.readOnly;
  if (exists && S_ISBLK(st.st_mode)) {
    if (!ClaimBlockDevice(path, write, &t, error)) return false;
    setup.vendor = t.vendor;
    setup.product = t.model;
  } else if (exists && S_ISREG(st.st_mode)) {
    if (!LockImageFile(path, write, false, &t, error)) return false;
  } else if (exists) {
    *error = path + " is " + KindOf(st.st_mode) + "; korvane works on image files and whole USB disks only";
    return false;
  } else if (options.createSectors > 0 && write) {
    if (!LockImageFile(path, true, true, &t, error)) return false;
  } else {
    *error = path + " does not exist";
    return false;
  }
  if (t.sectorSize != 512) {
    *error = path + " has " + std::to_string(t.sectorSize) + "-byte sectors; only 512-byte sectors are supported";
    Discard(t);
    return false;
  }
  const uint64_t wanted = t.created ? options.createSectors : options.growToSectors;
  if (!t.blockDevice && t.sectorCount < wanted) {
    t.sectorCount = wanted;
    setup.grow = true;
  }
  if (options.minimumSectors && t.sectorCount < options.minimumSectors) {
    *error = path + " is too small: " + std::to_string(t.sectorCount) + " sectors, " +
             std::to_string(options.minimumSectors) + " needed";
    Discard(t);
    return false;
  }
  if (t.blockDevice && write && !options.yes && !Confirm(t, options.changes)) {
    *error = "cancelled; nothing was written";
    return false;
  }
  setup.sectorCount = t.sectorCount;
  setup.sectorSize = t.sectorSize;
  if (!PosixOpenDisk(setup)) {
    *error = "cannot open " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    Discard(t);
    return false;
  }
  *target = t;
  return true;
}

int OpenCliOutputFile(const std::string& path, const CliTarget& source, bool yes, bool* created, std::string* error) {
  *created = false;
  struct stat st {}, link {}, sourceStat {};
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && ::lstat(path.c_str(), &link) == 0) {
    *error = path + " is a link to nothing; korvane does not create a file through it";
    return -1;
  }
  if (exists && ::stat(source.path.c_str(), &sourceStat) == 0 &&
      ((st.st_dev == sourceStat.st_dev && st.st_ino == sourceStat.st_ino) ||
       (S_ISBLK(st.st_mode) && S_ISBLK(sourceStat.st_mode) && st.st_rdev == sourceStat.st_rdev))) {
    *error = path + " is " + source.path + " itself; write into another file";
    return -1;
  }
  if (exists && S_ISBLK(st.st_mode)) {
    CliTarget disk;
    disk.path = path;
    if (!ClaimBlockDevice(path, true, &disk, error)) return -1;
    if (disk.sectorSize != 512) {
      *error = path + " has " + std::to_string(disk.sectorSize) + "-byte sectors; only 512-byte sectors are supported";
      return -1;
    }
    if (!yes && !Confirm(disk)) {
      *error = "cancelled; nothing was written";
      return -1;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) *error = "cannot open " + path + ": " + std::strerror(errno);
    return fd;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    *error = path + " is " + KindOf(st.st_mode) + "; korvane writes into a file or a whole USB disk";
    return -1;
  }
  int fd = exists ? ::open(path.c_str(), O_WRONLY | O_CLOEXEC)
                  : ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = "cannot " + std::string(exists ? "open " : "create ") + path + ": " + std::strerror(errno);
    return -1;
  }
  *created = !exists;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = path + " is in use by another korvane (or another program that locked it)";
    ::close(fd);
    if (*created) ::unlink(path.c_str());
    return -1;
  }
  if (::ftruncate(fd, 0) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

int OpenCliInputFile(const std::string& path, std::string* error) {
  // Not blocking: opening a FIFO for reading would otherwise wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    *error = path + " is " + KindOf(st.st_mode) + "; give an image file";
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::string CliPrintable(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  auto escape = [&](unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F) escape(c);
      else out += static_cast<char>(c);
      ++at;
      continue;
    }
    // A whole UTF-8 sequence, shortest form, no surrogate, no C1 control (U+0080 to U+009F): kept; else the byte
    // is shown.
    size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    uint32_t code = length == 2 ? c & 0x1Fu : length == 3 ? c & 0x0Fu : c & 0x07u;
    bool whole = length != 0 && at + length <= text.size();
    for (size_t i = 1; whole && i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(text[at + i]);
      whole = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3Fu);
    }
    whole = whole && !(length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) &&
            !(length == 4 && (code < 0x10000 || code > 0x10FFFF)) && !(code >= 0x80 && code <= 0x9F);
    if (whole) {
      out.append(text, at, length);
      at += length;
    } else {
      escape(c);
      ++at;
    }
  }
  return out;
}

void CliPrintTrace() {
  for (std::string line : PosixDebugOutput()) {
    // Only the lines that name a system error help the user; the layout lines are the Windows program's diary.
    if (line.find(":Last Err(") == std::string::npos) continue;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::fprintf(stderr, "korvane: trace: %s\n", CliPrintable(line).c_str());
  }
}

int CliFailRun(const CliTarget& target, const std::string& message, const std::string& remedy) {
  CliPrintTrace();
  const bool interrupted = CliInterrupted();
  // The core's texts end in a full stop; what was written follows after a semicolon.
  std::string text = interrupted ? "interrupted: " + message : message;
  if (!text.empty() && text.back() == '.') text.pop_back();
  const int status = interrupted ? kExitInterrupted : kExitFailed;
  const PosixDiskWrites writes = PosixWrites();
  std::vector<uint32_t> notPutBack;
  const bool checked = CliCapacityChecked(&notPutBack);
  if (writes.sectorsWritten == 0) {
    Discard(target);
    // Some of the core's refusals say themselves that nothing was written.
    const std::string saying = "Nothing was written";
    const bool said = text.size() >= saying.size() && text.substr(text.size() - saying.size()) == saying;
    CliFail(text + (checked ? "; nothing was changed (the capacity check put back every byte it wrote)"
                            : said ? "." : "; nothing was written"));
    return status;
  }
  const std::string unrestored =
      notPutBack.empty() ? "" : " (the capacity check could not put back what " + SectorListText(notPutBack) + " held)";
  CliFail(text + "; sectors " + std::to_string(writes.lowestSector) + " to " +
          std::to_string(writes.highestSector) + " of " + target.path + " were written before it stopped" +
          unrestored + ": " + remedy);
  return status;
}

void RereadCliTarget(const CliTarget& target) {
  if (!target.blockDevice) return;
  ::sync();
  int fd = ::open(target.path.c_str(), O_RDONLY);
  if (fd < 0) return;
  if (::ioctl(fd, BLKRRPART) != 0)
    std::fprintf(stderr, "korvane: note: the kernel did not re-read %s (%s); replug the disk\n", target.path.c_str(),
                 std::strerror(errno));
  ::close(fd);
}

CliSysFileStage::~CliSysFileStage() {
  if (!link.empty()) ::unlink(link.c_str());
  if (!directory.empty()) ::rmdir(directory.c_str());
}

std::string CliSysFileStage::Prepare(const std::string& folder) {
  char resolved[PATH_MAX];
  if (!realpath(folder.c_str(), resolved)) return "cannot find " + folder + ": " + std::strerror(errno);
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-sysfiles-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) return std::string("cannot create a temporary folder: ") + std::strerror(errno);
  directory = name.data();
  if (::symlink(resolved, (directory + "/SysFile").c_str()) != 0)
    return std::string("cannot link the system files: ") + std::strerror(errno);
  link = directory + "/SysFile";
  PosixSetCurrentDirectory(directory);
  return "";
}

std::vector<std::string> CliDirectoryEntries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(dir))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& flag) {
  for (auto it = args.begin(); it != args.end(); ++it)
    if (*it == flag) {
      args.erase(it);
      return true;
    }
  return false;
}

bool TakeOption(std::vector<std::string>& args, const std::string& option, std::string* value) {
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it == option && it + 1 != args.end()) {
      *value = *(it + 1);
      args.erase(it, it + 2);
      return true;
    }
    if (it->rfind(option + "=", 0) == 0) {
      *value = it->substr(option.size() + 1);
      args.erase(it);
      return true;
    }
  }
  return false;
}

bool ParseUnsigned(const std::string& text, uint64_t* value) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  errno = 0;
  unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (errno) return false;
  *value = v;
  return true;
}

std::string ParseFloppyKindName(const std::string& text, FloppyKind* kind) {
  for (int k = 0; k < kFloppyKindCount; ++k)
    if (strcasecmp(text.c_str(), FloppyKindName(static_cast<FloppyKind>(k))) == 0) {
      *kind = static_cast<FloppyKind>(k);
      return "";
    }
  return "unknown floppy kind '" + text + "' (720K, 1.2M or 1.44M)";
}

std::string TakeDosOptions(std::vector<std::string>& args, DosVersion* dos, std::string* sysFiles) {
  std::string version;
  const bool haveDos = TakeOption(args, "--dos", &version);
  if (haveDos != TakeOption(args, "--sysfiles", sysFiles)) return "--dos and --sysfiles go together";
  *dos = kDosNone;
  if (!haveDos) return "";
  for (DosVersion known : {kDos622, kDos71})
    if (version == DosVersionName(known)) {
      *dos = known;
      return "";
    }
  return "unknown DOS version '" + version + "' (6.22 or 7.1)";
}

const char* DosVersionName(DosVersion dos) { return dos == kDos622 ? "6.22" : "7.1"; }

int CliFail(const std::string& message) {
  std::fprintf(stderr, "korvane: %s\n", message.c_str());
  return kExitFailed;
}

int CliUsage(const std::string& message) {
  std::fprintf(stderr, "korvane: %s (see korvane --help)\n", message.c_str());
  return kExitUsage;
}

std::string CheckFloppySysFiles(const std::string& folder, DosVersion dos, FloppyKind kind) {
  const FloppyGeometry& g = GeometryOf(kind);
  const uint32_t clusterBytes = g.sectorsPerCluster * kSectorSize;
  uint64_t clusters = 0;
  for (char letter : {'A', 'B', 'C'}) {
    std::string path = folder + "/OS" + (dos == kDos622 ? "6" : "7") + letter;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "cannot find " + path + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return path + " is not a regular file";
    if (::access(path.c_str(), R_OK) != 0) return "cannot read " + path + ": " + std::strerror(errno);
    if (st.st_size == 0) return path + " is empty";
    clusters += ClustersFor(static_cast<uint64_t>(st.st_size), clusterBytes);
  }
  uint64_t dataClusters = (g.totalSectors - FirstDataSector(kind)) / g.sectorsPerCluster;
  if (clusters > dataClusters)
    return "the system files need " + std::to_string(clusters * clusterBytes) + " bytes; a " +
           FloppyKindName(kind) + " floppy holds " +
           std::to_string(dataClusters * clusterBytes);
  return "";
}
