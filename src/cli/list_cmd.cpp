// `korvane list`: the USB disks of this Linux machine, from sysfs, each in the standard edition page's line format.
// `korvane info TARGET`: an image's (or USB disk's) capacity, first partition and FAT type, found by the same
// queries the program sends to a disk.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "fat/fat.h"
#include "disk/discovery.h"
#include "disk/disklist.h"
#include "disk/partition.h"
#include "disk/queries.h"
#include "disk/sectorio.h"
#include "sys/posix/posix.h"

namespace {

constexpr double kBytesPerMiB = 1048576.0;

// Where sys/ and dev/ are read from: "/" unless KORVANE_SYSTEM_ROOT names a stand-in tree.
std::string SystemRoot() {
  const char* root = std::getenv("KORVANE_SYSTEM_ROOT");
  std::string r = root && *root ? root : "";
  while (!r.empty() && r.back() == '/') r.pop_back();
  return r;
}

std::string ReadLine(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return "";
  char buffer[256] = {};
  if (!std::fgets(buffer, sizeof buffer, f)) buffer[0] = '\0';
  std::fclose(f);
  std::string s = buffer;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

uint64_t ReadNumber(const std::string& path) {
  uint64_t value = 0;
  return ParseUnsigned(ReadLine(path), &value) ? value : 0;
}

const char* FatTypeName(int type) {
  switch (type) {
    case kFat12: return "FAT12";
    case kFat16: return "FAT16";
    case kFat32: return "FAT32";
  }
  return "Unknown";
}

// The FAT type of the boot record at the start of a block device (Unknown when it cannot be read).
int FatTypeOfDevice(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return kFatUnknown;
  uint8_t sector[512] = {};
  ssize_t got = ::pread(fd, sector, sizeof sector, 0);
  ::close(fd);
  return got == static_cast<ssize_t>(sizeof sector) ? FatTypeOfBootSector(sector) : kFatUnknown;
}

struct Partition {
  std::string name;
  uint64_t number = 0, start = 0, sectors = 0;  // 512-byte units, as sysfs counts
};

struct UsbDisk {
  std::string name;
  bool removable = false;
  std::string vendor, model;
  uint32_t sectorSize = 512;
  uint64_t sectors = 0;  // of sectorSize bytes
  std::vector<Partition> partitions;
};

// A block device lies on USB when its device path in sysfs passes through a USB controller. Only the part below
// sys/ counts, whatever folder a stand-in tree lies in.
bool OnUsb(const std::string& root, const std::string& blockPath) {
  char resolved[PATH_MAX], sys[PATH_MAX];
  if (!::realpath(blockPath.c_str(), resolved) || !::realpath((root + "/sys").c_str(), sys)) return false;
  size_t base = std::strlen(sys);
  return std::strncmp(resolved, sys, base) == 0 && std::strstr(resolved + base, "/usb") != nullptr;
}

std::vector<UsbDisk> FindUsbDisks(const std::string& root) {
  std::vector<UsbDisk> disks;
  const std::string block = root + "/sys/block/";
  for (const std::string& name : CliDirectoryEntries(block)) {
    const std::string path = block + name;
    if (!OnUsb(root, path)) continue;
    UsbDisk d;
    d.name = name;
    d.removable = ReadLine(path + "/removable") == "1";
    // What a device reports about itself reaches the terminal: no control bytes.
    d.vendor = CliPrintable(ReadLine(path + "/device/vendor"));
    d.model = CliPrintable(ReadLine(path + "/device/model"));
    uint64_t logical = ReadNumber(path + "/queue/logical_block_size");
    if (logical >= 512 && logical <= 65536) d.sectorSize = static_cast<uint32_t>(logical);
    d.sectors = ReadNumber(path + "/size") * 512 / d.sectorSize;
    for (const std::string& entry : CliDirectoryEntries(path)) {
      const std::string p = path + "/" + entry;
      Partition part;
      if (entry.compare(0, name.size(), name) != 0 || !ParseUnsigned(ReadLine(p + "/partition"), &part.number))
        continue;
      part.name = entry;
      part.start = ReadNumber(p + "/start");
      part.sectors = ReadNumber(p + "/size");
      d.partitions.push_back(part);
    }
    std::sort(d.partitions.begin(), d.partitions.end(),
              [](const Partition& a, const Partition& b) { return a.number < b.number; });
    disks.push_back(d);
  }
  return disks;
}

// The standard page's record of a disk: its partitions stand where the program shows drive letters.
RemovableDisk RecordOf(const UsbDisk& u, int index, const std::string& root) {
  RemovableDisk d;
  d.driveNumber = index;
  d.bytesPerSector = u.sectorSize;
  d.sectorCount = static_cast<uint32_t>(std::min<uint64_t>(u.sectors, UINT32_MAX));
  std::string product = TrimBlanks(u.vendor.c_str()) + " " + TrimBlanks(u.model.c_str());
  std::snprintf(d.productName, sizeof d.productName, "%s", product.c_str());
  std::string description;
  auto addVolume = [&](const std::string& name, uint64_t sectors512) {
    char text[128];
    std::snprintf(text, sizeof text, "%s(%0.1fM,%s) ", name.c_str(), sectors512 * 512.0 / kBytesPerMiB,
                  FatTypeName(FatTypeOfDevice(root + "/dev/" + name)));
    // Whole volume texts only, as many as the field holds.
    if (description.size() + std::strlen(text) < sizeof d.description) description += text;
  };
  for (const Partition& p : u.partitions) addVolume(p.name, p.sectors);
  if (u.partitions.empty() && FatTypeOfDevice(root + "/dev/" + u.name) != kFatUnknown)
    addVolume(u.name, u.sectors * u.sectorSize / 512);
  std::snprintf(d.description, sizeof d.description, "%s", description.c_str());
  if (!u.partitions.empty()) {
    d.partitionStart = u.partitions.front().start;
    d.partitionLength = u.partitions.front().sectors;
  }
  return d;
}

int RunList(const std::vector<std::string>& args) {
  if (!args.empty()) return CliUsage("list takes no arguments");
  const std::string root = SystemRoot();
  std::vector<UsbDisk> disks = FindUsbDisks(root);
  if (disks.empty()) {
    std::printf("no USB disk found\n");
    return 0;
  }
  int index = 0;
  for (const UsbDisk& u : disks) {
    RemovableDisk d = RecordOf(u, ++index, root);
    std::printf("%s\n", DiskListLine(DiskListPage::Standard, d).c_str());
    std::printf("   /dev/%s: USB%s, ", u.name.c_str(), u.removable ? ", removable" : "");
    if (u.partitions.empty()) std::printf("no partition table\n");
    else
      std::printf("first partition %s at sector %llu, %llu sectors\n", u.partitions.front().name.c_str(),
                  static_cast<unsigned long long>(d.partitionStart),
                  static_cast<unsigned long long>(d.partitionLength));
  }
  return 0;
}

std::string Sectors(uint64_t count) { return std::to_string(count) + (count == 1 ? " sector" : " sectors"); }

int RunInfo(const std::vector<std::string>& args) {
  if (args.size() != 1) return CliUsage("info takes one TARGET");
  CliTargetOptions options;
  options.readOnly = true;
  CliTarget target;
  std::string error;
  if (!OpenCliTarget(args[0], options, &target, &error)) return CliFail(error);
  uint8_t sector0[512] = {};
  if (target.sectorCount > 0) {
    std::vector<uint8_t> bytes = PosixReadRaw(0, 1);
    std::memcpy(sector0, bytes.data(), std::min<size_t>(bytes.size(), sizeof sector0));
  }
  PartitionTable table = ReadPartitionTable(sector0, target.sectorCount);
  uint32_t bytesPerSector = 0, sectorCount = 0;
  uint64_t start = 0, length = 0;
  QueryCapacityAndLayout(target.deviceName.c_str(), &bytesPerSector, &sectorCount, &start, &length);
  std::printf("%s: %s of %u bytes (%.1f MiB)\n", args[0].c_str(), Sectors(target.sectorCount).c_str(),
              target.sectorSize, static_cast<double>(target.sectorCount) * target.sectorSize / kBytesPerMiB);
  if (target.sectorCount > kFirstUnaddressableSector)
    std::printf("note: the program reaches only the first %llu sectors (2 TiB)\n",
                static_cast<unsigned long long>(kFirstUnaddressableSector));
  if (table.kind == PartitionTableKind::kNoValidEntry) {
    std::printf("first partition: none: sector 0 holds a partition table (55 AA) with no valid entry\n");
    return kExitDone;
  }
  if (table.kind == PartitionTableKind::kTable && table.firstValid != 0) {
    const PartitionSlot& slot = table.slots[table.firstValid];
    std::printf("first partition: none in slot 1; slot %d holds sector %u, %s (the program uses slot 1 only)\n",
                table.firstValid + 1, slot.start, Sectors(slot.sectors).c_str());
    return kExitDone;
  }
  // The first partition gets a drive letter, as Windows would mount it, so the FAT type is read as the program
  // reads it: from the volume's own first sector.
  PosixAddVolume('E', start, length);
  int type = DetectFatType("E:");
  std::printf("first partition: sector %llu, %s%s\n", static_cast<unsigned long long>(start), Sectors(length).c_str(),
              table.kind == PartitionTableKind::kNone ? " (no partition table: the whole disk)" : "");
  std::printf("FAT type: %s\n", type == kFatUnknown ? "none" : FatTypeName(type));
  return kExitDone;
}

const CliCommandRegistrar kList({"list",
                                 "  list\n"
                                 "      The USB disks of this machine, one line each as the standard edition page\n"
                                 "      shows them, with their partitions where the page shows drive letters.\n"
                                 "      Disks that are not on USB are never listed.",
                                 RunList});
const CliCommandRegistrar kInfo({"info",
                                 "  info TARGET\n"
                                 "      Capacity, first partition and FAT type of an image file or USB disk,\n"
                                 "      opened for reading only.",
                                 RunInfo});

}  // namespace
