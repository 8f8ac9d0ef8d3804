#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli.h"
#include "sys/sim/sim.h"

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

bool Confirm(const CliTarget& t) {
  std::fprintf(stderr, "All data on %s (%s %s, %.1f MB) will be lost. Continue? [y/N] ", t.path.c_str(),
               t.vendor.c_str(), t.model.c_str(), static_cast<double>(t.sectorCount * t.sectorSize) / 1048576.0);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace

bool IsUsbBlockDevice(const std::string& devicePath, std::string* vendor, std::string* model) {
  char resolved[PATH_MAX];
  if (!realpath(devicePath.c_str(), resolved)) return false;
  std::string name = std::strrchr(resolved, '/') ? std::strrchr(resolved, '/') + 1 : resolved;
  std::string sysBlock = "/sys/class/block/" + name;
  char device[PATH_MAX];
  if (!realpath((sysBlock + "/device").c_str(), device)) return false;
  if (vendor) *vendor = ReadSysfsLine(sysBlock + "/device/vendor");
  if (model) *model = ReadSysfsLine(sysBlock + "/device/model");
  return std::strstr(device, "/usb") != nullptr;
}

bool OpenCliTarget(const std::string& path, const CliTargetOptions& options, CliTarget* target, std::string* error) {
  CliTarget t;
  t.path = path;
  struct stat st {};
  bool exists = ::stat(path.c_str(), &st) == 0;
  SimDiskSpec setup;
  setup.number = t.diskNumber;
  setup.imagePath = path;
  setup.vendor = "Korvane";
  setup.product = "Image";
  if (exists && S_ISBLK(st.st_mode)) {
    t.blockDevice = true;
    char resolved[PATH_MAX];
    const char* base = realpath(path.c_str(), resolved) ? std::strrchr(resolved, '/') : nullptr;
    struct stat partition {};
    if (base && ::stat(("/sys/class/block/" + std::string(base + 1) + "/partition").c_str(), &partition) == 0) {
      *error = path + " is a partition; give the whole disk";
      return false;
    }
    if (!IsUsbBlockDevice(path, &t.vendor, &t.model)) {
      *error = path + " is not a USB disk; korvane only writes removable USB disks and image files";
      return false;
    }
    uint64_t bytes = 0;
    if (!BlockDeviceGeometry(path, &bytes, &t.sectorSize)) {
      *error = "cannot read the size of " + path + ": " + std::strerror(errno);
      return false;
    }
    t.sectorCount = bytes / t.sectorSize;
    setup.vendor = t.vendor;
    setup.product = t.model;
  } else if (exists && S_ISREG(st.st_mode)) {
    t.sectorCount = static_cast<uint64_t>(st.st_size) / 512;
  } else if (exists) {
    *error = path + " is neither an image file nor a block device";
    return false;
  } else if (options.createSectors > 0) {
    t.sectorCount = options.createSectors;
    setup.createImage = true;
  } else {
    *error = path + " does not exist";
    return false;
  }
  if (t.sectorSize != 512) {
    *error = path + " has " + std::to_string(t.sectorSize) + "-byte sectors; only 512-byte sectors are supported";
    return false;
  }
  if (options.minimumSectors && t.sectorCount < options.minimumSectors) {
    *error = path + " is too small: " + std::to_string(t.sectorCount) + " sectors, " +
             std::to_string(options.minimumSectors) + " needed";
    return false;
  }
  if (t.blockDevice && !options.readOnly && !options.yes && !Confirm(t)) {
    *error = "cancelled; nothing was written";
    return false;
  }
  setup.sectorCount = t.sectorCount;
  setup.sectorSize = t.sectorSize;
  SimReset();
  if (!SimAddDisk(setup)) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  *target = t;
  return true;
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
  SimSetCurrentDirectory(directory);
  return "";
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

int CliFail(const std::string& message) {
  std::fprintf(stderr, "korvane: %s\n", message.c_str());
  return 1;
}

std::string CheckFloppySysFiles(const std::string& folder, DosVersion dos, FloppyKind kind) {
  const FloppyGeometry& g = GeometryOf(kind);
  const uint64_t clusterBytes = uint64_t{g.sectorsPerCluster} * 512;
  uint64_t clusters = 0;
  for (char letter : {'A', 'B', 'C'}) {
    std::string path = folder + "/OS" + (dos == kDos622 ? "6" : "7") + letter;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "cannot find " + path + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return path + " is not a regular file";
    if (::access(path.c_str(), R_OK) != 0) return "cannot read " + path + ": " + std::strerror(errno);
    if (st.st_size == 0) return path + " is empty";
    clusters += (static_cast<uint64_t>(st.st_size) + clusterBytes - 1) / clusterBytes;
  }
  uint64_t dataClusters = (g.totalSectors - FirstDataSector(kind)) / g.sectorsPerCluster;
  if (clusters > dataClusters)
    return "the system files need " + std::to_string(clusters * clusterBytes) + " bytes; a " +
           (kind == FloppyKind::k720K ? "720K" : kind == FloppyKind::k1200K ? "1.2M" : "1.44M") + " floppy holds " +
           std::to_string(dataClusters * clusterBytes);
  return "";
}
