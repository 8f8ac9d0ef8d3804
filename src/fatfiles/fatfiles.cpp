#include "fatfiles/fatfiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "disk/bpb.h"
#include "disk/sectorio.h"
#include "fatfiles/texts.h"

namespace {

constexpr uint32_t kEntrySize = 32;
constexpr uint32_t kEntriesPerSector = kSectorSize / kEntrySize;
constexpr uint8_t kAttrReadOnly = 0x01, kAttrVolume = 0x08, kAttrDirectory = 0x10, kAttrArchive = 0x20;
constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kDeleted = 0xE5;
// Directory entry fields.
constexpr int kEntryAttributes = 11, kEntryCreateTime = 14, kEntryCreateDate = 16, kEntryAccessDate = 18;
constexpr int kEntryWriteTime = 22, kEntryWriteDate = 24, kEntryCluster = 26, kEntrySize32 = 28;

struct Layout {
  bool fat16 = false;
  uint32_t firstFat = 0, sectorsPerFat = 0, fatCount = 0;
  uint32_t rootSector = 0, rootSectors = 0;
  uint32_t firstData = 0, sectorsPerCluster = 0;
  uint32_t lastCluster = 0;  // highest cluster number that can hold data
};

// The volume's layout from its boot record, every field bounded so that no sector lies outside the volume or past
// 32-bit sector numbers.
bool ReadLayout(const uint8_t* br, uint32_t start, Layout* v) {
  FatType type = FatTypeOfBootSector(br);
  if (type != kFat12 && type != kFat16) return false;
  uint32_t spc = br[bpb::kSectorsPerCluster];
  if (GetLe16(br + bpb::kBytesPerSector) != kSectorSize || (spc & (spc - 1)) != 0) return false;
  v->fat16 = type == kFat16;
  v->sectorsPerCluster = spc;
  v->fatCount = br[bpb::kNumberOfFats];
  v->sectorsPerFat = GetLe16(br + bpb::kSectorsPerFat);
  uint32_t rootEntries = GetLe16(br + bpb::kRootEntries);
  if (v->fatCount == 0 || v->sectorsPerFat == 0 || rootEntries == 0) return false;
  uint64_t total = GetLe16(br + bpb::kTotalSectors16);
  if (total == 0) total = GetLe32(br + bpb::kTotalSectors32);
  uint64_t reserved = GetLe16(br + bpb::kReservedSectors);
  uint64_t rootOffset = reserved + uint64_t{v->fatCount} * v->sectorsPerFat;
  uint64_t rootSectors = (rootEntries + kEntriesPerSector - 1) / kEntriesPerSector;
  uint64_t dataOffset = rootOffset + rootSectors;
  if (reserved == 0 || dataOffset >= total || start + total > kFirstUnaddressableSector) return false;
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

// Where a directory entry lies.
struct Slot {
  uint32_t sector = 0;
  uint32_t index = 0;  // entry within the sector
};

// One operation on one volume: the FAT and the directory sectors it read, and what it will write.
struct Change {
  SysHandle disk;
  Layout v;
  std::vector<uint8_t> fat;        // first FAT copy with the new chains
  std::vector<uint8_t> fatOnDisk;  // as read
  std::vector<uint32_t> toFree;    // clusters set free in the last step
  std::map<uint32_t, std::vector<uint8_t>> sectors;  // directory sectors read or made
  std::set<uint32_t> changed;      // directory sectors to write in step 3
  std::set<uint32_t> fresh;        // sectors of new directory clusters, written in step 1
  std::vector<const std::vector<uint8_t>*> data;     // the new files' bytes, written in step 1
  std::vector<std::vector<uint32_t>> dataClusters;   // and their clusters
  uint16_t date = 0, time = 0;     // now
};

FatFilesResult Fail(FatFilesError error, const std::string& name = "") {
  FatFilesResult r;
  r.error = error;
  r.name = name;
  return r;
}

uint32_t ClusterBytes(const Change& c) { return c.v.sectorsPerCluster * kSectorSize; }
uint32_t ClusterSector(const Change& c, uint32_t cluster) {
  return c.v.firstData + (cluster - 2) * c.v.sectorsPerCluster;
}

uint32_t EndOfChain(const Change& c) { return c.v.fat16 ? 0xFFFF : 0xFFF; }

uint32_t GetFat(const std::vector<uint8_t>& fat, bool fat16, uint32_t cluster) {
  if (fat16) return GetLe16(&fat[cluster * 2]);
  uint32_t at = cluster * 3 / 2;
  uint32_t pair = fat[at] | (fat[at + 1] << 8);
  return (cluster & 1) ? pair >> 4 : pair & 0xFFF;
}

void SetFat(std::vector<uint8_t>& fat, bool fat16, uint32_t cluster, uint32_t value) {
  if (fat16) {
    PutLe16(&fat[cluster * 2], static_cast<uint16_t>(value));
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

FatFilesResult Begin(SysHandle disk, uint32_t start, Change* c) {
  c->disk = disk;
  uint8_t br[kSectorSize];
  if (ReadSectors(disk, 1, start, br) != kSectorIoOk) return Fail(FatFilesError::kRead);
  if (!ReadLayout(br, start, &c->v)) return Fail(FatFilesError::kNotFat);
  c->fat.resize(size_t{c->v.sectorsPerFat} * kSectorSize);
  if (ReadSectors(disk, c->v.sectorsPerFat, c->v.firstFat, c->fat.data()) != kSectorIoOk)
    return Fail(FatFilesError::kRead);
  c->fatOnDisk = c->fat;
  SysTime now;
  SysGetLocalTime(&now);
  c->date = FatDate(now);
  c->time = FatTime(now);
  return {};
}

// The clusters of a chain; false when it leaves the volume, loops or runs past `limit` clusters.
bool Chain(const Change& c, uint32_t first, uint32_t limit, std::vector<uint32_t>* clusters) {
  clusters->clear();
  for (uint32_t cluster = first; cluster >= 2;) {
    if (cluster > c.v.lastCluster || clusters->size() >= limit) return false;
    clusters->push_back(cluster);
    uint32_t next = GetFat(c.fat, c.v.fat16, cluster);
    if (next >= (c.v.fat16 ? 0xFFF8u : 0xFF8u)) return true;
    if (next < 2) return false;  // a free or reserved entry inside a chain
    cluster = next;
  }
  return true;
}

uint8_t* Sector(Change& c, uint32_t sector, bool* ok) {
  auto found = c.sectors.find(sector);
  if (found != c.sectors.end()) return found->second.data();
  std::vector<uint8_t>& bytes = c.sectors[sector];
  bytes.resize(kSectorSize);
  *ok = ReadSectors(c.disk, 1, sector, bytes.data()) == kSectorIoOk;
  if (!*ok) c.sectors.erase(sector);
  return *ok ? c.sectors[sector].data() : nullptr;
}

// The sectors of a directory: the root's fixed sectors (cluster 0) or a subdirectory's chain.
bool DirectorySectors(const Change& c, uint32_t cluster, std::vector<uint32_t>* sectors) {
  sectors->clear();
  if (cluster == 0) {
    for (uint32_t s = 0; s < c.v.rootSectors; ++s) sectors->push_back(c.v.rootSector + s);
    return true;
  }
  std::vector<uint32_t> clusters;
  if (!Chain(c, cluster, c.v.lastCluster, &clusters)) return false;
  for (uint32_t k : clusters)
    for (uint32_t s = 0; s < c.v.sectorsPerCluster; ++s) sectors->push_back(ClusterSector(c, k) + s);
  return true;
}

struct Found {
  Slot slot;
  uint8_t entry[kEntrySize];
  std::vector<Slot> longName;  // the long-name entries just before it
};

// Looks for an 11-byte name in a directory; label and long-name entries never match. kNotFound, kRead or kDamaged.
FatFilesResult FindEntry(Change& c, uint32_t directory, const uint8_t name[11], Found* found) {
  std::vector<uint32_t> sectors;
  if (!DirectorySectors(c, directory, &sectors)) return Fail(FatFilesError::kDamaged);
  std::vector<Slot> longName;
  for (uint32_t s : sectors) {
    bool ok = true;
    uint8_t* bytes = Sector(c, s, &ok);
    if (!ok) return Fail(FatFilesError::kRead);
    for (uint32_t i = 0; i < kEntriesPerSector; ++i) {
      const uint8_t* e = bytes + i * kEntrySize;
      if (e[0] == 0) return Fail(FatFilesError::kNotFound);
      if (e[0] == kDeleted) {
        longName.clear();
        continue;
      }
      if (e[kEntryAttributes] == kAttrLongName) {
        longName.push_back({s, i});
        continue;
      }
      if (!(e[kEntryAttributes] & kAttrVolume) && std::memcmp(e, name, 11) == 0) {
        found->slot = {s, i};
        std::memcpy(found->entry, e, kEntrySize);
        found->longName = longName;
        return {};
      }
      longName.clear();
    }
  }
  return Fail(FatFilesError::kNotFound);
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char ch : path + "/") {
    if (ch == '/' || ch == '\\') {
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += ch;
    }
  }
  return parts;
}

bool PathPartName(const std::string& part, uint8_t name[11]) {
  if (part == "..") {
    std::memcpy(name, "..         ", 11);
    return true;
  }
  return MakeShortName(part, name);
}

// The first cluster of the directory at `path` (0 for the root).
FatFilesResult ResolveDirectory(Change& c, const std::string& path, uint32_t* cluster) {
  *cluster = 0;
  for (const std::string& part : SplitPath(path)) {
    uint8_t name[11];
    if (!PathPartName(part, name)) return Fail(FatFilesError::kBadName, part);
    Found found;
    FatFilesResult r = FindEntry(c, *cluster, name, &found);
    if (!r.ok()) return Fail(r.error, path);
    if (!(found.entry[kEntryAttributes] & kAttrDirectory)) return Fail(FatFilesError::kNotDirectory, part);
    *cluster = GetLe16(found.entry + kEntryCluster);
  }
  return {};
}

// The directory holding the last part of `path`, and that part's 11-byte name.
FatFilesResult ResolveParent(Change& c, const std::string& path, uint32_t* directory, uint8_t name[11]) {
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return Fail(FatFilesError::kNotFound, path);
  std::string parent;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent += parts[i] + "/";
  if (!MakeShortName(parts.back(), name)) return Fail(FatFilesError::kBadName, parts.back());
  return ResolveDirectory(c, parent, directory);
}

uint32_t FreeClusters(const Change& c) {
  uint32_t count = 0;
  for (uint32_t k = 2; k <= c.v.lastCluster; ++k)
    if (GetFat(c.fat, c.v.fat16, k) == 0) ++count;
  return count;
}

// Takes `count` free clusters, first ones first, chained in the FAT; false when there are not enough.
bool Allocate(Change& c, uint32_t count, std::vector<uint32_t>* clusters) {
  clusters->clear();
  for (uint32_t k = 2; k <= c.v.lastCluster && clusters->size() < count; ++k)
    if (GetFat(c.fat, c.v.fat16, k) == 0) clusters->push_back(k);
  if (clusters->size() < count) return false;
  for (size_t i = 0; i < clusters->size(); ++i)
    SetFat(c.fat, c.v.fat16, (*clusters)[i], i + 1 < clusters->size() ? (*clusters)[i + 1] : EndOfChain(c));
  return true;
}

void FillEntry(uint8_t* e, const uint8_t name[11], uint8_t attributes, uint32_t cluster,
               uint32_t size, uint16_t date, uint16_t time) {
  std::memset(e, 0, kEntrySize);
  std::memcpy(e, name, 11);
  e[kEntryAttributes] = attributes;
  PutLe16(e + kEntryCreateTime, time);
  PutLe16(e + kEntryCreateDate, date);
  PutLe16(e + kEntryAccessDate, date);
  PutLe16(e + kEntryWriteTime, time);
  PutLe16(e + kEntryWriteDate, date);
  PutLe16(e + kEntryCluster, static_cast<uint16_t>(cluster));
  PutLe32(e + kEntrySize32, size);
}

uint8_t* EntryAt(Change& c, const Slot& slot) { return c.sectors[slot.sector].data() + slot.index * kEntrySize; }

void MarkChanged(Change& c, uint32_t sector) {
  if (!c.fresh.count(sector)) c.changed.insert(sector);
}

// Makes the sectors of new clusters part of the change, zero-filled, written in step 1.
void FreshClusters(Change& c, const std::vector<uint32_t>& clusters) {
  for (uint32_t k : clusters)
    for (uint32_t s = 0; s < c.v.sectorsPerCluster; ++s) {
      c.sectors[ClusterSector(c, k) + s].assign(kSectorSize, 0);
      c.fresh.insert(ClusterSector(c, k) + s);
    }
}

// A free entry in the directory: the first unused or deleted one; a full subdirectory grows by one cluster.
FatFilesResult FreeSlot(Change& c, uint32_t directory, const std::string& name, Slot* slot) {
  std::vector<uint32_t> sectors;
  if (!DirectorySectors(c, directory, &sectors)) return Fail(FatFilesError::kDamaged, name);
  for (uint32_t s : sectors) {
    bool ok = true;
    uint8_t* bytes = Sector(c, s, &ok);
    if (!ok) return Fail(FatFilesError::kRead);
    for (uint32_t i = 0; i < kEntriesPerSector; ++i)
      if (bytes[i * kEntrySize] == 0 || bytes[i * kEntrySize] == kDeleted) {
        *slot = {s, i};
        return {};
      }
  }
  if (directory == 0) return Fail(FatFilesError::kRootFull, name);
  std::vector<uint32_t> chain, grown;
  Chain(c, directory, c.v.lastCluster, &chain);
  if (!Allocate(c, 1, &grown)) {
    FatFilesResult r = Fail(FatFilesError::kDiskFull, name);
    r.needed = ClusterBytes(c);
    return r;
  }
  SetFat(c.fat, c.v.fat16, chain.back(), grown[0]);
  FreshClusters(c, grown);
  *slot = {ClusterSector(c, grown[0]), 0};
  return {};
}

// Marks an entry and the long-name entries before it deleted, and its chain to be set free at the end.
FatFilesResult DeleteEntry(Change& c, const Found& found, const std::string& name) {
  uint32_t cluster = GetLe16(found.entry + kEntryCluster);
  std::vector<uint32_t> chain;
  if (cluster != 0 && !Chain(c, cluster, c.v.lastCluster, &chain)) return Fail(FatFilesError::kDamaged, name);
  for (const Slot& s : found.longName) {
    EntryAt(c, s)[0] = kDeleted;
    MarkChanged(c, s.sector);
  }
  EntryAt(c, found.slot)[0] = kDeleted;
  MarkChanged(c, found.slot.sector);
  c.toFree.insert(c.toFree.end(), chain.begin(), chain.end());
  return {};
}

bool WriteFats(Change& c, const std::vector<uint8_t>& from) {
  for (uint32_t s = 0; s < c.v.sectorsPerFat; ++s) {
    const size_t at = size_t{s} * kSectorSize;
    if (std::memcmp(&c.fat[at], &from[at], kSectorSize) == 0) continue;
    for (uint32_t copy = 0; copy < c.v.fatCount; ++copy)
      if (WriteSectors(c.disk, 1, c.v.firstFat + copy * c.v.sectorsPerFat + s, &c.fat[at]) != kSectorIoOk)
        return false;
  }
  return true;
}

// Writes the change in the order of the header: data and new directory clusters, FATs with the new chains,
// changed directory sectors, FATs with the freed clusters.
FatFilesResult Commit(Change& c) {
  const uint32_t clusterBytes = ClusterBytes(c);
  for (size_t f = 0; f < c.data.size(); ++f) {
    const std::vector<uint8_t>& bytes = *c.data[f];
    const std::vector<uint32_t>& clusters = c.dataClusters[f];
    std::vector<uint8_t> buffer;
    for (size_t i = 0; i < clusters.size();) {
      size_t run = 1;  // clusters that follow each other go out in one write
      while (i + run < clusters.size() && clusters[i + run] == clusters[i] + run && run < 64) ++run;
      buffer.assign(run * clusterBytes, 0);
      size_t from = i * clusterBytes, count = std::min(buffer.size(), bytes.size() - from);
      std::memcpy(buffer.data(), bytes.data() + from, count);
      if (WriteSectors(c.disk, static_cast<uint32_t>(run * c.v.sectorsPerCluster), ClusterSector(c, clusters[i]),
                       buffer.data()) != kSectorIoOk)
        return Fail(FatFilesError::kWrite);
      i += run;
    }
  }
  for (uint32_t s : c.fresh)
    if (WriteSectors(c.disk, 1, s, c.sectors[s].data()) != kSectorIoOk) return Fail(FatFilesError::kWrite);
  if (!WriteFats(c, c.fatOnDisk)) return Fail(FatFilesError::kWrite);
  for (uint32_t s : c.changed)
    if (WriteSectors(c.disk, 1, s, c.sectors[s].data()) != kSectorIoOk) return Fail(FatFilesError::kWrite);
  if (c.toFree.empty()) return {};
  std::vector<uint8_t> before = c.fat;
  for (uint32_t k : c.toFree) SetFat(c.fat, c.v.fat16, k, 0);
  if (!WriteFats(c, before)) return Fail(FatFilesError::kWrite);
  return {};
}

uint64_t RoundUp(uint64_t bytes, uint32_t unit) { return (bytes + unit - 1) / unit * unit; }

std::string Printf(const char* format, const std::string& name, uint64_t a = 0, uint64_t b = 0) {
  char text[512];
  std::snprintf(text, sizeof text, format, name.c_str(), static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
  return text;
}

}  // namespace

bool MakeShortName(const std::string& text, uint8_t name[11]) {
  static const char kAllowed[] = "!#$%&'()-@^_`{}~";
  std::memset(name, ' ', 11);
  size_t dot = text.find('.');
  std::string base = text.substr(0, dot), ext = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  for (const std::string* part : {&base, &ext})
    for (char ch : *part) {
      unsigned char u = static_cast<unsigned char>(ch);
      if (!(std::isalnum(u) && u < 0x80) && !std::strchr(kAllowed, ch)) return false;
    }
  std::string upper = base;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
  for (const char* device : kDevices)
    if (upper == device) return false;
  if (upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
      upper[3] >= '1' && upper[3] <= '9')
    return false;
  for (size_t i = 0; i < base.size(); ++i) name[i] = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(base[i])));
  for (size_t i = 0; i < ext.size(); ++i)
    name[8 + i] = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(ext[i])));
  return true;
}

std::string ShortNameText(const uint8_t name[11]) {
  std::string base(reinterpret_cast<const char*>(name), 8), ext(reinterpret_cast<const char*>(name) + 8, 3);
  while (!base.empty() && base.back() == ' ') base.pop_back();
  while (!ext.empty() && ext.back() == ' ') ext.pop_back();
  if (!base.empty() && base[0] == 0x05) base[0] = static_cast<char>(kDeleted);  // a name that begins with E5
  return ext.empty() ? base : base + "." + ext;
}

std::string LastPathPart(const std::string& path) {
  size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string FatFilesMessage(const FatFilesResult& r) {
  switch (r.error) {
    case FatFilesError::kNone: return "";
    case FatFilesError::kRead: return Tr(kFilesReadFailed);
    case FatFilesError::kWrite: return Tr(kFilesWriteFailed);
    case FatFilesError::kNotFat: return Tr(kFilesNotFat);
    case FatFilesError::kBadName: return Printf(Tr(kFilesBadName), r.name);
    case FatFilesError::kNotFound: return Printf(Tr(kFilesNotFound), r.name);
    case FatFilesError::kNotDirectory: return Printf(Tr(kFilesNotDirectory), r.name);
    case FatFilesError::kIsDirectory: return Printf(Tr(kFilesIsDirectory), r.name);
    case FatFilesError::kExists: return Printf(Tr(kFilesExists), r.name);
    case FatFilesError::kDiskFull: return Printf(Tr(kFilesDiskFull), r.name, r.needed, r.available);
    case FatFilesError::kRootFull: return Printf(Tr(kFilesRootFull), r.name);
    case FatFilesError::kNotEmpty: return Printf(Tr(kFilesNotEmpty), r.name);
    case FatFilesError::kDamaged: return Printf(Tr(kFilesDamaged), r.name);
    case FatFilesError::kTooLarge: return Printf(Tr(kFilesTooLarge), r.name);
    case FatFilesError::kOpen: return Tr(kFilesOpenFailed);
    case FatFilesError::kInUse: return Tr(kFilesInUse);
  }
  return "";
}

FatFilesResult ReadFatVolumeInfo(SysHandle disk, uint32_t start, FatVolumeInfo* info) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c);
  if (!r.ok()) return r;
  *info = FatVolumeInfo();
  info->fat16 = c.v.fat16;
  info->clusterBytes = ClusterBytes(c);
  info->totalBytes = uint64_t{c.v.lastCluster - 1} * info->clusterBytes;
  info->freeBytes = uint64_t{FreeClusters(c)} * info->clusterBytes;
  bool ok = true;
  const uint8_t* root = Sector(c, c.v.rootSector, &ok);
  if (!ok) return Fail(FatFilesError::kRead);
  for (uint32_t i = 0; i < kEntriesPerSector && root[i * kEntrySize] != 0; ++i) {
    const uint8_t* e = root + i * kEntrySize;
    if (e[0] != kDeleted && e[kEntryAttributes] != kAttrLongName && (e[kEntryAttributes] & kAttrVolume)) {
      info->label.assign(reinterpret_cast<const char*>(e), strnlen(reinterpret_cast<const char*>(e), 11));
      while (!info->label.empty() && info->label.back() == ' ') info->label.pop_back();
      break;
    }
  }
  return {};
}

FatFilesResult ListFatDirectory(SysHandle disk, uint32_t start, const std::string& path,
                                std::vector<FatFileEntry>* entries) {
  entries->clear();
  Change c;
  FatFilesResult r = Begin(disk, start, &c);
  uint32_t directory = 0;
  if (r.ok()) r = ResolveDirectory(c, path, &directory);
  std::vector<uint32_t> sectors;
  if (r.ok() && !DirectorySectors(c, directory, &sectors)) r = Fail(FatFilesError::kDamaged, path);
  if (!r.ok()) return r;
  for (uint32_t s : sectors) {
    bool ok = true;
    const uint8_t* bytes = Sector(c, s, &ok);
    if (!ok) return Fail(FatFilesError::kRead);
    for (uint32_t i = 0; i < kEntriesPerSector; ++i) {
      const uint8_t* e = bytes + i * kEntrySize;
      if (e[0] == 0) return {};
      if (e[0] == kDeleted || e[0] == '.' || (e[kEntryAttributes] & kAttrVolume)) continue;
      FatFileEntry entry;
      entry.name = ShortNameText(e);
      entry.attributes = e[kEntryAttributes];
      entry.directory = (e[kEntryAttributes] & kAttrDirectory) != 0;
      entry.size = entry.directory ? 0 : GetLe32(e + kEntrySize32);
      entry.date = GetLe16(e + kEntryWriteDate);
      entry.time = GetLe16(e + kEntryWriteTime);
      entries->push_back(entry);
    }
  }
  return {};
}

FatFilesResult ReadFatFile(SysHandle disk, uint32_t start, const std::string& path, std::vector<uint8_t>* data) {
  data->clear();
  Change c;
  FatFilesResult r = Begin(disk, start, &c);
  uint32_t directory = 0;
  uint8_t name[11];
  Found found;
  if (r.ok()) r = ResolveParent(c, path, &directory, name);
  if (r.ok()) r = FindEntry(c, directory, name, &found);
  if (!r.ok()) return r.error == FatFilesError::kNotFound ? Fail(r.error, path) : r;
  if (found.entry[kEntryAttributes] & kAttrDirectory) return Fail(FatFilesError::kIsDirectory, path);
  uint32_t size = GetLe32(found.entry + kEntrySize32);
  uint32_t clusterBytes = ClusterBytes(c);
  std::vector<uint32_t> clusters;
  uint32_t first = GetLe16(found.entry + kEntryCluster);
  uint32_t needed = static_cast<uint32_t>(RoundUp(size, clusterBytes) / clusterBytes);
  if ((size > 0) != (first != 0) || !Chain(c, first, needed, &clusters) || clusters.size() != needed)
    return Fail(FatFilesError::kDamaged, path);
  data->resize(size_t{needed} * clusterBytes);
  for (size_t i = 0; i < clusters.size();) {
    size_t run = 1;
    while (i + run < clusters.size() && clusters[i + run] == clusters[i] + run && run < 64) ++run;
    if (ReadSectors(disk, static_cast<uint32_t>(run * c.v.sectorsPerCluster), ClusterSector(c, clusters[i]),
                    data->data() + i * clusterBytes) != kSectorIoOk) {
      data->clear();
      return Fail(FatFilesError::kRead);
    }
    i += run;
  }
  data->resize(size);
  return {};
}

FatFilesResult AddFatFiles(SysHandle disk, uint32_t start, const std::string& directoryPath,
                           const std::vector<FatFileToAdd>& files, bool replace) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c);
  uint32_t directory = 0;
  if (r.ok()) r = ResolveDirectory(c, directoryPath, &directory);
  if (!r.ok()) return r;
  // Every name and the space first, before anything is staged.
  uint64_t needed = 0;
  for (const FatFileToAdd& f : files) {
    uint8_t name[11];
    if (!MakeShortName(f.name, name)) return Fail(FatFilesError::kBadName, f.name);
    if (static_cast<uint64_t>(f.data.size()) >= (uint64_t{1} << 32)) return Fail(FatFilesError::kTooLarge, f.name);
    needed += RoundUp(f.data.size(), ClusterBytes(c));
  }
  const uint64_t available = uint64_t{FreeClusters(c)} * ClusterBytes(c);
  if (needed > available) {
    std::string names;
    for (const FatFileToAdd& f : files) names += (names.empty() ? "" : ", ") + f.name;
    FatFilesResult full = Fail(FatFilesError::kDiskFull, names);
    full.needed = needed;
    full.available = available;
    return full;
  }
  for (const FatFileToAdd& f : files) {
    uint8_t name[11];
    MakeShortName(f.name, name);
    Found old;
    Slot slot;
    r = FindEntry(c, directory, name, &old);
    if (r.ok()) {
      if (old.entry[kEntryAttributes] & kAttrDirectory) return Fail(FatFilesError::kIsDirectory, f.name);
      if (!replace || (old.entry[kEntryAttributes] & kAttrReadOnly)) return Fail(FatFilesError::kExists, f.name);
      if (!(r = DeleteEntry(c, old, f.name)).ok()) return r;
      slot = old.slot;
    } else if (r.error != FatFilesError::kNotFound) {
      return r;
    } else if (!(r = FreeSlot(c, directory, f.name, &slot)).ok()) {
      if (r.error == FatFilesError::kDiskFull) r.available = uint64_t{FreeClusters(c)} * ClusterBytes(c);
      return r;
    }
    std::vector<uint32_t> clusters;
    uint32_t count = static_cast<uint32_t>(RoundUp(f.data.size(), ClusterBytes(c)) / ClusterBytes(c));
    if (!Allocate(c, count, &clusters)) {
      // Only a directory that had to grow can have taken the room counted above.
      FatFilesResult full = Fail(FatFilesError::kDiskFull, f.name);
      full.needed = needed + ClusterBytes(c);
      full.available = available;
      return full;
    }
    SysTime now;
    SysGetLocalTime(&now);
    const SysTime& when = f.modified ? *f.modified : now;
    FillEntry(EntryAt(c, slot), name, kAttrArchive, clusters.empty() ? 0 : clusters[0],
              static_cast<uint32_t>(f.data.size()), FatDate(when), FatTime(when));
    MarkChanged(c, slot.sector);
    c.data.push_back(&f.data);
    c.dataClusters.push_back(clusters);
  }
  return Commit(c);
}

FatFilesResult DeleteFatFiles(SysHandle disk, uint32_t start, const std::vector<std::string>& paths) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c);
  if (!r.ok()) return r;
  for (const std::string& path : paths) {
    uint32_t directory = 0;
    uint8_t name[11];
    Found found;
    if (!(r = ResolveParent(c, path, &directory, name)).ok()) return r;
    if (!(r = FindEntry(c, directory, name, &found)).ok()) return r.error == FatFilesError::kNotFound ? Fail(r.error, path) : r;
    if (found.entry[kEntryAttributes] & kAttrDirectory) return Fail(FatFilesError::kIsDirectory, path);
    if (!(r = DeleteEntry(c, found, path)).ok()) return r;
  }
  return Commit(c);
}

FatFilesResult MakeFatDirectory(SysHandle disk, uint32_t start, const std::string& path) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c);
  uint32_t parent = 0;
  uint8_t name[11];
  if (r.ok()) r = ResolveParent(c, path, &parent, name);
  if (!r.ok()) return r;
  Found found;
  r = FindEntry(c, parent, name, &found);
  if (r.ok()) return Fail(FatFilesError::kExists, path);
  if (r.error != FatFilesError::kNotFound) return r;
  std::vector<uint32_t> cluster;
  Slot slot;
  if (!Allocate(c, 1, &cluster)) {
    FatFilesResult full = Fail(FatFilesError::kDiskFull, path);
    full.needed = ClusterBytes(c);
    return full;
  }
  if (!(r = FreeSlot(c, parent, path, &slot)).ok()) {
    if (r.error == FatFilesError::kDiskFull) r.needed = 2ull * ClusterBytes(c);
    return r;
  }
  FreshClusters(c, cluster);
  uint8_t* first = c.sectors[ClusterSector(c, cluster[0])].data();
  FillEntry(first, reinterpret_cast<const uint8_t*>(".          "), kAttrDirectory, cluster[0], 0, c.date, c.time);
  FillEntry(first + kEntrySize, reinterpret_cast<const uint8_t*>("..         "), kAttrDirectory, parent, 0, c.date,
            c.time);
  FillEntry(EntryAt(c, slot), name, kAttrDirectory, cluster[0], 0, c.date, c.time);
  MarkChanged(c, slot.sector);
  return Commit(c);
}

FatFilesResult RemoveFatDirectory(SysHandle disk, uint32_t start, const std::string& path) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c);
  uint32_t parent = 0;
  uint8_t name[11];
  Found found;
  if (r.ok()) r = ResolveParent(c, path, &parent, name);
  if (r.ok()) r = FindEntry(c, parent, name, &found);
  if (!r.ok()) return r.error == FatFilesError::kNotFound ? Fail(r.error, path) : r;
  if (!(found.entry[kEntryAttributes] & kAttrDirectory)) return Fail(FatFilesError::kNotDirectory, path);
  std::vector<uint32_t> sectors;
  if (!DirectorySectors(c, GetLe16(found.entry + kEntryCluster), &sectors)) return Fail(FatFilesError::kDamaged, path);
  bool end = false;
  for (size_t n = 0; n < sectors.size() && !end; ++n) {
    bool ok = true;
    const uint8_t* bytes = Sector(c, sectors[n], &ok);
    if (!ok) return Fail(FatFilesError::kRead);
    for (uint32_t i = 0; i < kEntriesPerSector && !end; ++i) {
      const uint8_t* e = bytes + i * kEntrySize;
      end = e[0] == 0;
      if (!end && e[0] != kDeleted && e[0] != '.') return Fail(FatFilesError::kNotEmpty, path);
    }
  }
  if (!(r = DeleteEntry(c, found, path)).ok()) return r;
  return Commit(c);
}
