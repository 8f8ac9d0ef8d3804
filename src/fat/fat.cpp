#include "fat/fat.h"
#include "fat/floppy_kinds.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// The sizes a boot record gives, each from its 16-bit field or, when that is 0, its 32-bit one, and the root
// directory in sectors of the record's own size.
struct RecordSizes {
  uint32_t bytesPerSector, sectorsPerCluster, reserved, fats, rootSectors, sectorsPerFat, total;
};
RecordSizes SizesOf(const uint8_t* s) {
  RecordSizes r;
  r.bytesPerSector = GetLe16(s + bpb::kBytesPerSector);
  r.sectorsPerCluster = s[bpb::kSectorsPerCluster];
  r.reserved = GetLe16(s + bpb::kReservedSectors);
  r.fats = s[bpb::kNumberOfFats];
  r.rootSectors =
      r.bytesPerSector ? (GetLe16(s + bpb::kRootEntries) * 32u + r.bytesPerSector - 1) / r.bytesPerSector : 0;
  r.sectorsPerFat = GetLe16(s + bpb::kSectorsPerFat);
  if (r.sectorsPerFat == 0) r.sectorsPerFat = GetLe32(s + bpb::kSectorsPerFat32);
  r.total = GetLe16(s + bpb::kTotalSectors16);
  if (r.total == 0) r.total = GetLe32(s + bpb::kTotalSectors32);
  return r;
}

}  // namespace

FatType FatTypeOfBootSector(const uint8_t* s) {
  if (!HasBootSignature(s)) return kFatUnknown;
  const RecordSizes r = SizesOf(s);
  if (r.bytesPerSector == 0 || r.sectorsPerCluster == 0) return kFatUnknown;
  // Unsigned on purpose: a record whose areas exceed its total wraps to a huge count, as the rule is written.
  uint32_t clusters = (r.total - r.fats * r.sectorsPerFat - r.reserved - r.rootSectors) / r.sectorsPerCluster;
  if (clusters < kFat12ClusterLimit) return kFat12;
  if (clusters < kFat16ClusterLimit) return kFat16;
  return kFat32;
}

uint64_t ClusterAreaBytes(const uint8_t* s) {
  const RecordSizes r = SizesOf(s);
  const uint64_t system = r.reserved + static_cast<uint64_t>(r.fats) * r.sectorsPerFat + r.rootSectors;
  if (r.bytesPerSector == 0 || r.sectorsPerCluster == 0 || r.reserved == 0 || r.fats == 0 || r.sectorsPerFat == 0 ||
      r.total <= system)
    return 0;
  return (r.total - system) / r.sectorsPerCluster * r.sectorsPerCluster * static_cast<uint64_t>(r.bytesPerSector);
}

uint32_t FatSizingRule(uint32_t totalSectors, uint32_t reservedSectors, uint32_t rootEntries,
                       uint32_t sectorsPerCluster, uint32_t fatCount) {
  uint32_t tmpVal1 = totalSectors - (reservedSectors + RootDirectorySectors(rootEntries));
  uint32_t tmpVal2 = 256 * sectorsPerCluster + fatCount;
  return (tmpVal1 + tmpVal2 - 1) / tmpVal2;
}

uint32_t SectorsPerFatFor(uint32_t totalSectors, uint32_t reservedSectors, uint32_t rootEntries,
                          uint32_t sectorsPerCluster, uint32_t fatCount) {
  uint32_t perFat = FatSizingRule(totalSectors, reservedSectors, rootEntries, sectorsPerCluster, fatCount);
  const uint64_t fixed = uint64_t{reservedSectors} + RootDirectorySectors(rootEntries);
  if (sectorsPerCluster == 0 || totalSectors <= fixed) return perFat;
  // Each added sector takes at most fatCount sectors from the data area and adds 256 entries, so this ends after
  // a sector or two.
  for (;;) {
    const uint64_t fats = uint64_t{fatCount} * perFat;
    if (fixed + fats >= totalSectors) return perFat;
    const uint64_t clusters = (totalSectors - fixed - fats) / sectorsPerCluster;
    if (uint64_t{perFat} * 256 >= clusters + 2) return perFat;
    ++perFat;
  }
}

FatDataArea DataAreaOf(uint32_t totalSectors, uint32_t reservedSectors, uint32_t rootEntries,
                       uint32_t sectorsPerCluster, uint32_t fatCount, uint32_t sectorsPerFat) {
  uint32_t rootSectors = RootDirectorySectors(rootEntries);
  uint64_t fixed = reservedSectors + uint64_t{fatCount} * sectorsPerFat + rootSectors;
  FatDataArea area;
  area.dataSectors = totalSectors - fatCount * sectorsPerFat - reservedSectors - rootSectors;
  area.clusters = area.dataSectors / sectorsPerCluster;
  area.hasCluster = totalSectors >= fixed + sectorsPerCluster;
  return area;
}

bool ReadFatLayout(const uint8_t* br, uint32_t start, FatLayout* v) {
  FatType type = FatTypeOfBootSector(br);
  if (type != kFat12 && type != kFat16) return false;
  uint32_t spc = br[bpb::kSectorsPerCluster];
  if (GetLe16(br + bpb::kBytesPerSector) != kSectorSize || (spc & (spc - 1)) != 0) return false;
  v->fat16 = type == kFat16;
  v->sectorsPerCluster = spc;
  v->fatCount = br[bpb::kNumberOfFats];
  v->sectorsPerFat = GetLe16(br + bpb::kSectorsPerFat);
  v->rootEntries = GetLe16(br + bpb::kRootEntries);
  if (v->fatCount == 0 || v->sectorsPerFat == 0) return false;
  uint64_t total = GetLe16(br + bpb::kTotalSectors16);
  if (total == 0) total = GetLe32(br + bpb::kTotalSectors32);
  uint64_t reserved = GetLe16(br + bpb::kReservedSectors);
  uint64_t rootOffset = RootDirectoryOffset(br);
  uint64_t rootSectors = RootDirectorySectors(v->rootEntries);
  uint64_t dataOffset = rootOffset + rootSectors;
  if (reserved == 0 || dataOffset >= total || start + total - 1 > UINT32_MAX) return false;
  v->totalSectors = static_cast<uint32_t>(total);
  v->firstFat = static_cast<uint32_t>(start + reserved);
  v->rootSector = static_cast<uint32_t>(start + rootOffset);
  v->rootSectors = static_cast<uint32_t>(rootSectors);
  v->firstData = static_cast<uint32_t>(start + dataOffset);
  uint64_t dataClusters = (total - dataOffset) / spc;
  uint64_t fatEntries = v->fat16 ? v->sectorsPerFat * 256ull : v->sectorsPerFat * kSectorSize * 2ull / 3;
  // Entries from 0xFF7 (FAT12) or 0xFFF7 (FAT16) up mark bad clusters and chain ends, never a next cluster.
  uint64_t last = std::min<uint64_t>({dataClusters + 1, fatEntries - 1, v->fat16 ? 0xFFF6u : 0xFF6u});
  if (last < 2) return false;
  v->lastCluster = static_cast<uint32_t>(last);
  return true;
}

void BuildBootRecord(const BootRecordParams& p, uint8_t* r) {
  static const uint8_t kJump[3] = {0xEB, 0x3C, 0x90};
  static const uint8_t kSerialNumber[4] = {0x68, 0x06, 0x73, 0x84};
  std::memset(r, 0, kSectorSize);
  std::memcpy(r + bpb::kJump, kJump, sizeof kJump);
  std::memcpy(r + bpb::kOemName, "MSDOS5.0", 8);
  const uint32_t sectorsPerCluster = p.clusterBytes / kSectorSize;
  PutLe16(r + bpb::kBytesPerSector, kSectorSize);
  r[bpb::kSectorsPerCluster] = static_cast<uint8_t>(sectorsPerCluster);
  PutLe16(r + bpb::kReservedSectors, static_cast<uint16_t>(p.reservedSectors));
  r[bpb::kNumberOfFats] = static_cast<uint8_t>(p.fatCount);
  PutLe16(r + bpb::kRootEntries, static_cast<uint16_t>(p.rootEntries));
  if (p.totalSectors < 65536)
    PutLe16(r + bpb::kTotalSectors16, static_cast<uint16_t>(p.totalSectors));
  else
    PutLe32(r + bpb::kTotalSectors32, p.totalSectors);
  r[bpb::kMedia] = p.media;
  PutLe16(r + bpb::kSectorsPerFat,
          static_cast<uint16_t>(p.sectorsPerFat ? p.sectorsPerFat
                                                : SectorsPerFatFor(p.totalSectors, p.reservedSectors, p.rootEntries,
                                                                   sectorsPerCluster, p.fatCount)));
  PutLe16(r + bpb::kSectorsPerTrack, p.sectorsPerTrack);
  PutLe16(r + bpb::kHeads, p.heads);
  PutLe32(r + bpb::kHiddenSectors, p.hiddenSectors);
  r[bpb::kBootSignature] = 0x29;
  std::memcpy(r + bpb::kSerialNumber, kSerialNumber, sizeof kSerialNumber);
  std::memset(r + bpb::kVolumeLabel, ' ', bpb::kLabelSize);
  std::memcpy(r + bpb::kVolumeLabel, p.label.data(), std::min(p.label.size(), bpb::kLabelSize));
  std::memcpy(r + bpb::kFileSystemType, p.type == kFat16 ? "FAT16   " : "FAT12   ", 8);
  if (p.bootProgram) std::memcpy(r + bpb::kBootProgram, p.bootProgram, bpb::kBootProgramSize);
  r[bpb::kSignature] = 0x55;
  r[bpb::kSignature + 1] = 0xAA;
}

uint32_t GetFatEntry(const uint8_t* fat, bool fat16, uint32_t cluster) {
  if (fat16) return GetLe16(fat + cluster * 2);
  uint32_t at = cluster * 3 / 2;
  uint32_t pair = fat[at] | (fat[at + 1] << 8);
  return (cluster & 1) ? pair >> 4 : pair & 0xFFF;
}

void SetFatEntry(uint8_t* fat, bool fat16, uint32_t cluster, uint32_t value) {
  if (fat16) {
    PutLe16(fat + cluster * 2, static_cast<uint16_t>(value));
    return;
  }
  uint32_t at = cluster * 3 / 2;
  if (cluster & 1) {
    fat[at] = static_cast<uint8_t>((fat[at] & 0x0F) | ((value << 4) & 0xF0));
    fat[at + 1] = static_cast<uint8_t>(value >> 4);
  } else {
    fat[at] = static_cast<uint8_t>(value);
    fat[at + 1] = static_cast<uint8_t>((fat[at + 1] & 0xF0) | ((value >> 8) & 0x0F));
  }
}

void BuildFatHead(uint8_t media, bool fat16, uint8_t* sector) {
  std::memset(sector, 0, kSectorSize);
  sector[0] = media;
  sector[1] = 0xFF;
  sector[2] = 0xFF;
  if (fat16) sector[3] = 0xFF;
}

void BuildDirectoryEntry(uint8_t* e, const uint8_t name[11], uint8_t attributes, uint32_t firstCluster,
                         uint32_t size) {
  std::memset(e, 0, direntry::kSize);
  std::memcpy(e + direntry::kName, name, 11);
  e[direntry::kAttributes] = attributes;
  PutLe16(e + direntry::kFirstCluster, static_cast<uint16_t>(firstCluster));
  PutLe32(e + direntry::kFileSize, size);
}

void StampDirectoryEntry(uint8_t* e, uint16_t date, uint16_t time, bool creation) {
  if (creation) {
    PutLe16(e + direntry::kCreateTime, time);
    PutLe16(e + direntry::kCreateDate, date);
    PutLe16(e + direntry::kAccessDate, date);
  }
  PutLe16(e + direntry::kWriteTime, time);
  PutLe16(e + direntry::kWriteDate, date);
}

void BuildLabelEntry(uint8_t* e, const char* label, size_t length, uint16_t date, uint16_t time) {
  std::memset(e, 0, direntry::kSize);
  std::memcpy(e + direntry::kName, label, std::min(length, bpb::kLabelSize));
  e[direntry::kAttributes] = direntry::kVolumeLabel;
  StampDirectoryEntry(e, date, time, false);
}

bool IsOemLeadByte(uint32_t codePage, uint8_t byte) {
  switch (codePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

bool MakeShortName(const std::string& text, uint8_t name[11], uint32_t codePage) {
  static const char kAllowed[] = "!#$%&'()-@^_`{}~";
  std::memset(name, ' ', 11);
  size_t dot = text.find('.');  // never a trail byte: those are 0x40 and above
  std::string base = text.substr(0, dot), ext = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  for (std::string* part : {&base, &ext})
    for (size_t i = 0; i < part->size(); ++i) {
      unsigned char u = static_cast<unsigned char>((*part)[i]);
      if (IsOemLeadByte(codePage, u)) {
        if (i + 1 >= part->size()) return false;
        unsigned char trail = static_cast<unsigned char>((*part)[++i]);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
      } else if (u >= 0x80) {
        continue;  // a letter or sign of the code page
      } else if (std::isalnum(u)) {
        (*part)[i] = static_cast<char>(std::toupper(u));
      } else if (!std::strchr(kAllowed, static_cast<char>(u)) || u == 0) {
        return false;
      }
    }
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
  for (const char* device : kDevices)
    if (base == device) return false;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
      base[3] <= '9')
    return false;
  std::memcpy(name, base.data(), base.size());
  std::memcpy(name + 8, ext.data(), ext.size());
  if (name[0] == direntry::kDeleted) name[0] = 0x05;  // stored as 05, read back as E5
  return true;
}

std::string ShortNameText(const uint8_t name[11]) {
  std::string base(reinterpret_cast<const char*>(name), 8), ext(reinterpret_cast<const char*>(name) + 8, 3);
  while (!base.empty() && base.back() == ' ') base.pop_back();
  while (!ext.empty() && ext.back() == ' ') ext.pop_back();
  if (!base.empty() && base[0] == 0x05) base[0] = static_cast<char>(direntry::kDeleted);  // a name that begins with E5
  return ext.empty() ? base : base + "." + ext;
}

BootRecordParams FloppyBootRecordParams(FloppyKind kind) {
  const FloppyGeometry& g = GeometryOf(kind);
  BootRecordParams p;
  p.clusterBytes = g.sectorsPerCluster * kSectorSize;
  p.fatCount = kFloppyFatCount;
  p.rootEntries = g.rootEntries;
  p.media = g.media;
  p.totalSectors = g.totalSectors;
  p.sectorsPerFat = g.sectorsPerFat;
  p.reservedSectors = kFloppyReservedSectors;
  p.sectorsPerTrack = g.sectorsPerTrack;
  p.heads = kFloppyHeads;
  // Hidden sectors stay 0 wherever the image lies: an emulator presents each image as a disk of its own.
  p.hiddenSectors = 0;
  p.type = kFat12;
  return p;
}
