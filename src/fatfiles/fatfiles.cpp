#include "fatfiles/fatfiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "fat/fat.h"
#include "disk/sectorio.h"

namespace {

using namespace direntry;

// Where a directory entry lies.
struct Slot {
  uint32_t sector = 0;
  uint32_t index = 0;  // entry within the sector
};

// One operation on one volume: the FAT and the directory sectors it read, and what it will write.
struct Change {
  SysHandle disk;
  RunControl* run = nullptr;  // the run the writes belong to
  FatLayout v;
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

FatFilesResult Begin(SysHandle disk, uint32_t start, Change* c, RunControl* run = nullptr) {
  c->disk = disk;
  c->run = run;
  uint8_t br[kSectorSize];
  if (ReadSectors(disk, start, 1, br) != SectorIo::kOk) return Fail(FatFilesError::kRead);
  // A volume with a root directory, within the sectors a transfer can reach.
  if (!ReadFatLayout(br, start, &c->v) || c->v.rootEntries == 0 ||
      uint64_t{start} + c->v.totalSectors > kFirstUnaddressableSector)
    return Fail(FatFilesError::kNotFat);
  c->fat.resize(size_t{c->v.sectorsPerFat} * kSectorSize);
  if (ReadSectors(disk, c->v.firstFat, c->v.sectorsPerFat, c->fat.data()) != SectorIo::kOk)
    return Fail(FatFilesError::kRead);
  c->fatOnDisk = c->fat;
  SysTime now;
  SysGetLocalTime(&now);
  c->date = FatDate(now);
  c->time = FatTime(now);
  return {};
}

// The clusters of a chain from `first` (0: none, an empty file's); false when a cluster number read from the disk
// is none of the volume's clusters 2 to lastCluster (a free or reserved entry, a bad-cluster mark, a number past
// the data area), or when the chain loops or runs past `limit` clusters.
bool Chain(const Change& c, uint32_t first, uint32_t limit, std::vector<uint32_t>* clusters) {
  clusters->clear();
  if (first == 0) return true;
  for (uint32_t cluster = first;;) {
    if (cluster < 2 || cluster > c.v.lastCluster || clusters->size() >= limit) return false;
    clusters->push_back(cluster);
    uint32_t next = GetFatEntry(c.fat.data(), c.v.fat16, cluster);
    if (next >= FirstEndOfChain(c.v.fat16)) return true;
    cluster = next;
  }
}

uint8_t* Sector(Change& c, uint32_t sector, bool* ok) {
  auto found = c.sectors.find(sector);
  if (found != c.sectors.end()) return found->second.data();
  std::vector<uint8_t>& bytes = c.sectors[sector];
  bytes.resize(kSectorSize);
  *ok = ReadSectors(c.disk, sector, 1, bytes.data()) == SectorIo::kOk;
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
  if (!Chain(c, cluster, c.v.lastCluster, &clusters) || clusters.empty()) return false;
  for (uint32_t k : clusters)
    for (uint32_t s = 0; s < c.v.sectorsPerCluster; ++s) sectors->push_back(c.v.ClusterSector(k) + s);
  return true;
}

struct Found {
  Slot slot;
  uint8_t entry[kSize];
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
    for (uint32_t i = 0; i < kPerSector; ++i) {
      const uint8_t* e = bytes + i * kSize;
      if (e[0] == 0) return Fail(FatFilesError::kNotFound);
      if (e[0] == kDeleted) {
        longName.clear();
        continue;
      }
      if (e[kAttributes] == kLongName) {
        longName.push_back({s, i});
        continue;
      }
      if (!(e[kAttributes] & kVolumeLabel) && std::memcmp(e, name, 11) == 0) {
        found->slot = {s, i};
        std::memcpy(found->entry, e, kSize);
        found->longName = longName;
        return {};
      }
      longName.clear();
    }
  }
  return Fail(FatFilesError::kNotFound);
}

// Names and paths are bytes of the machine's OEM code page; the byte after a lead byte is part of its character,
// never a separator (in 932 and 936 it may be 0x5C).
bool ShortName(const std::string& text, uint8_t name[11]) { return MakeShortName(text, name, SysGetOemCodePage()); }

std::vector<std::string> SplitPath(const std::string& path) {
  const uint32_t codePage = SysGetOemCodePage();
  std::vector<std::string> parts;
  std::string part;
  const std::string text = path + "/";
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (IsOemLeadByte(codePage, static_cast<uint8_t>(ch)) && i + 1 < text.size()) {
      part += ch;
      part += text[++i];
    } else if (ch == '/' || ch == '\\') {
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
  return ShortName(part, name);
}

// The first cluster of the directory whose entry this is (0 for the root, which only a ".." entry names), checked to
// be a cluster of the volume before anything is read through it: an entry that names cluster 0 or 1, or one past
// the last, makes the folder `name` damaged.
FatFilesResult DirectoryCluster(const Change& c, const uint8_t* entry, const std::string& name, uint32_t* cluster) {
  *cluster = GetLe16(entry + kFirstCluster);
  if (*cluster == 0 && std::memcmp(entry, "..         ", 11) == 0) return {};
  if (*cluster < 2 || *cluster > c.v.lastCluster) return Fail(FatFilesError::kDamaged, name);
  return {};
}

// The first cluster of the directory at `path` (0 for the root).
FatFilesResult ResolveDirectory(Change& c, const std::string& path, uint32_t* cluster) {
  *cluster = 0;
  std::string walked;
  for (const std::string& part : SplitPath(path)) {
    const std::string searched = walked;
    walked += (walked.empty() ? "" : "/") + part;
    uint8_t name[11];
    if (!PathPartName(part, name)) return Fail(FatFilesError::kBadName, part);
    Found found;
    FatFilesResult r = FindEntry(c, *cluster, name, &found);
    if (!r.ok()) return Fail(r.error, r.error == FatFilesError::kDamaged ? searched : path);
    if (!(found.entry[kAttributes] & kDirectory)) return Fail(FatFilesError::kNotDirectory, part);
    if (!(r = DirectoryCluster(c, found.entry, walked, cluster)).ok()) return r;
  }
  return {};
}

// The result with `name` when it names nothing yet.
FatFilesResult Named(FatFilesResult r, const std::string& name) {
  if (r.name.empty()) r.name = name;
  return r;
}

// The directory holding the last part of `path`, and that part's 11-byte name.
FatFilesResult ResolveParent(Change& c, const std::string& path, uint32_t* directory, uint8_t name[11]) {
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return Fail(FatFilesError::kNotFound, path);
  std::string parent;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent += parts[i] + "/";
  if (!ShortName(parts.back(), name)) return Fail(FatFilesError::kBadName, parts.back());
  return ResolveDirectory(c, parent, directory);
}

uint32_t FreeClusters(const Change& c) {
  uint32_t count = 0;
  for (uint32_t k = 2; k <= c.v.lastCluster; ++k)
    if (GetFatEntry(c.fat.data(), c.v.fat16, k) == 0) ++count;
  return count;
}

// Takes `count` free clusters, first ones first, chained in the FAT; false when there are not enough.
bool Allocate(Change& c, uint32_t count, std::vector<uint32_t>* clusters) {
  clusters->clear();
  for (uint32_t k = 2; k <= c.v.lastCluster && clusters->size() < count; ++k)
    if (GetFatEntry(c.fat.data(), c.v.fat16, k) == 0) clusters->push_back(k);
  if (clusters->size() < count) return false;
  for (size_t i = 0; i < clusters->size(); ++i)
    SetFatEntry(c.fat.data(), c.v.fat16, (*clusters)[i], i + 1 < clusters->size() ? (*clusters)[i + 1] : EndOfChain(c.v.fat16));
  return true;
}

void FillEntry(uint8_t* e, const uint8_t name[11], uint8_t attributes, uint32_t cluster,
               uint32_t size, uint16_t date, uint16_t time) {
  BuildDirectoryEntry(e, name, attributes, cluster, size);
  StampDirectoryEntry(e, date, time, true);
}

uint8_t* EntryAt(Change& c, const Slot& slot) { return c.sectors[slot.sector].data() + slot.index * kSize; }

void MarkChanged(Change& c, uint32_t sector) {
  if (!c.fresh.count(sector)) c.changed.insert(sector);
}

// Makes the sectors of new clusters part of the change, zero-filled, written in step 1.
void FreshClusters(Change& c, const std::vector<uint32_t>& clusters) {
  for (uint32_t k : clusters)
    for (uint32_t s = 0; s < c.v.sectorsPerCluster; ++s) {
      c.sectors[c.v.ClusterSector(k) + s].assign(kSectorSize, 0);
      c.fresh.insert(c.v.ClusterSector(k) + s);
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
    for (uint32_t i = 0; i < kPerSector; ++i)
      if (bytes[i * kSize] == 0 || bytes[i * kSize] == kDeleted) {
        *slot = {s, i};
        return {};
      }
  }
  if (directory == 0) return Fail(FatFilesError::kRootFull, name);
  std::vector<uint32_t> chain, grown;
  if (!Chain(c, directory, c.v.lastCluster, &chain) || chain.empty()) return Fail(FatFilesError::kDamaged, name);
  if (!Allocate(c, 1, &grown)) {
    FatFilesResult r = Fail(FatFilesError::kDiskFull, name);
    r.needed = c.v.ClusterBytes();
    return r;
  }
  SetFatEntry(c.fat.data(), c.v.fat16, chain.back(), grown[0]);
  FreshClusters(c, grown);
  *slot = {c.v.ClusterSector(grown[0]), 0};
  return {};
}

// Marks an entry and the long-name entries before it deleted, and its chain to be set free at the end.
FatFilesResult DeleteEntry(Change& c, const Found& found, const std::string& name) {
  uint32_t cluster = GetLe16(found.entry + kFirstCluster);
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
      if (WriteSectors(c.disk, c.v.firstFat + copy * c.v.sectorsPerFat + s, 1, &c.fat[at], c.run) != SectorIo::kOk)
        return false;
  }
  return true;
}

// Writes the change in the order of the header: data and new directory clusters, FATs with the new chains,
// changed directory sectors, FATs with the freed clusters.
FatFilesResult Commit(Change& c) {
  const uint32_t clusterBytes = c.v.ClusterBytes();
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
      if (WriteSectors(c.disk, c.v.ClusterSector(clusters[i]), static_cast<uint32_t>(run * c.v.sectorsPerCluster),
                       buffer.data(), c.run) != SectorIo::kOk)
        return Fail(FatFilesError::kWrite);
      i += run;
    }
  }
  for (uint32_t s : c.fresh)
    if (WriteSectors(c.disk, s, 1, c.sectors[s].data(), c.run) != SectorIo::kOk) return Fail(FatFilesError::kWrite);
  if (!WriteFats(c, c.fatOnDisk)) return Fail(FatFilesError::kWrite);
  for (uint32_t s : c.changed)
    if (WriteSectors(c.disk, s, 1, c.sectors[s].data(), c.run) != SectorIo::kOk) return Fail(FatFilesError::kWrite);
  if (c.toFree.empty()) return {};
  std::vector<uint8_t> before = c.fat;
  for (uint32_t k : c.toFree) SetFatEntry(c.fat.data(), c.v.fat16, k, 0);
  if (!WriteFats(c, before)) return Fail(FatFilesError::kWrite);
  return {};
}

FatFileEntry EntryOf(const uint8_t* e) {
  FatFileEntry entry;
  entry.name = ShortNameText(e);
  entry.attributes = e[kAttributes];
  entry.directory = (e[kAttributes] & kDirectory) != 0;
  entry.size = entry.directory ? 0 : GetLe32(e + kFileSize);
  entry.date = GetLe16(e + kWriteDate);
  entry.time = GetLe16(e + kWriteTime);
  return entry;
}

uint64_t RoundUp(uint64_t bytes, uint32_t unit) { return (bytes + unit - 1) / unit * unit; }

}  // namespace

std::string LastPathPart(const std::string& path) {
  size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

FatFilesResult ReadFatVolumeInfo(SysHandle disk, uint32_t start, FatVolumeInfo* info) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c);
  if (!r.ok()) return r;
  *info = FatVolumeInfo();
  info->fat16 = c.v.fat16;
  info->clusterBytes = c.v.ClusterBytes();
  info->totalBytes = uint64_t{c.v.lastCluster - 1} * info->clusterBytes;
  info->freeBytes = uint64_t{FreeClusters(c)} * info->clusterBytes;
  bool ok = true;
  const uint8_t* root = Sector(c, c.v.rootSector, &ok);
  if (!ok) return Fail(FatFilesError::kRead);
  for (uint32_t i = 0; i < kPerSector && root[i * kSize] != 0; ++i) {
    const uint8_t* e = root + i * kSize;
    if (e[0] != kDeleted && e[kAttributes] != kLongName && (e[kAttributes] & kVolumeLabel)) {
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
    for (uint32_t i = 0; i < kPerSector; ++i) {
      const uint8_t* e = bytes + i * kSize;
      if (e[0] == 0) return {};
      if (e[0] == kDeleted || e[0] == '.' || (e[kAttributes] & kVolumeLabel)) continue;
      entries->push_back(EntryOf(e));
    }
  }
  return {};
}

struct FatReaderState {
  Change c;
};

FatReader::FatReader(SysHandle disk, uint32_t startSector) : disk(disk), startSector(startSector) {}
FatReader::~FatReader() = default;

FatFilesResult ReadFatFile(SysHandle disk, uint32_t start, const std::string& path, const FatFileSink& sink) {
  FatReader reader(disk, start);
  return ReadFatFile(reader, path, sink);
}

FatFilesResult ReadFatFile(FatReader& reader, const std::string& path, const FatFileSink& sink) {
  FatFilesResult r;
  if (!reader.state) {
    auto state = std::make_unique<FatReaderState>();
    if (!(r = Begin(reader.disk, reader.startSector, &state->c)).ok()) return Named(r, path);
    reader.state = std::move(state);
  }
  Change& c = reader.state->c;
  const SysHandle disk = reader.disk;
  uint32_t directory = 0;
  uint8_t name[11];
  Found found;
  r = ResolveParent(c, path, &directory, name);
  if (r.ok()) r = FindEntry(c, directory, name, &found);
  if (!r.ok()) return r.error == FatFilesError::kNotFound ? Fail(r.error, path) : Named(r, path);
  if (found.entry[kAttributes] & kDirectory) return Fail(FatFilesError::kIsDirectory, path);
  // The whole chain is checked against the size first, so a damaged file hands on no byte at all.
  const uint32_t size = GetLe32(found.entry + kFileSize);
  const uint32_t clusterBytes = c.v.ClusterBytes();
  const uint32_t first = GetLe16(found.entry + kFirstCluster);
  const uint32_t needed = static_cast<uint32_t>(ClustersFor(size, clusterBytes));
  std::vector<uint32_t> clusters;
  if ((size > 0) != (first != 0) || !Chain(c, first, needed, &clusters) || clusters.size() != needed)
    return Fail(FatFilesError::kDamaged, path);
  if (sink.begin && !sink.begin(EntryOf(found.entry))) return Fail(FatFilesError::kStopped, path);
  // Then piece by piece: clusters that follow each other, at most kFatReadPiece bytes, read in one transfer.
  const size_t pieceClusters = std::max<size_t>(1, kFatReadPiece / clusterBytes);
  std::vector<uint8_t> piece(std::min<size_t>(needed, pieceClusters) * clusterBytes);
  uint64_t done = 0;
  for (size_t i = 0; i < clusters.size();) {
    size_t run = 1;
    while (i + run < clusters.size() && clusters[i + run] == clusters[i] + run && run < pieceClusters) ++run;
    if (ReadSectors(disk, c.v.ClusterSector(clusters[i]), static_cast<uint32_t>(run * c.v.sectorsPerCluster),
                    piece.data()) != SectorIo::kOk)
      return Fail(FatFilesError::kRead, path);
    const size_t count = static_cast<size_t>(std::min<uint64_t>(run * clusterBytes, size - done));
    if (!sink.write(piece.data(), count)) return Fail(FatFilesError::kStopped, path);
    done += count;
    i += run;
  }
  return {};
}

FatFilesResult ReadFatFile(SysHandle disk, uint32_t start, const std::string& path, std::vector<uint8_t>* data) {
  data->clear();
  FatFileSink sink;
  sink.write = [data](const uint8_t* bytes, size_t count) {
    data->insert(data->end(), bytes, bytes + count);
    return true;
  };
  FatFilesResult r = ReadFatFile(disk, start, path, sink);
  if (!r.ok()) data->clear();
  return r;
}

FatFilesResult AddFatFiles(SysHandle disk, uint32_t start, const std::string& directoryPath,
                           const std::vector<FatFileToAdd>& files, bool replace, RunControl* run) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c, run);
  uint32_t directory = 0;
  if (r.ok()) r = ResolveDirectory(c, directoryPath, &directory);
  if (!r.ok()) return r;
  // Every name and the space first, before anything is staged.
  uint64_t needed = 0;
  for (const FatFileToAdd& f : files) {
    uint8_t name[11];
    if (!ShortName(f.name, name)) return Fail(FatFilesError::kBadName, f.name);
    if (static_cast<uint64_t>(f.data.size()) >= (uint64_t{1} << 32)) return Fail(FatFilesError::kTooLarge, f.name);
    needed += RoundUp(f.data.size(), c.v.ClusterBytes());
  }
  const uint64_t available = uint64_t{FreeClusters(c)} * c.v.ClusterBytes();
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
    ShortName(f.name, name);
    Found old;
    Slot slot;
    r = FindEntry(c, directory, name, &old);
    if (r.ok()) {
      if (old.entry[kAttributes] & kDirectory) return Fail(FatFilesError::kIsDirectory, f.name);
      if (!replace || (old.entry[kAttributes] & kReadOnly)) return Fail(FatFilesError::kExists, f.name);
      if (!(r = DeleteEntry(c, old, f.name)).ok()) return r;
      slot = old.slot;
    } else if (r.error != FatFilesError::kNotFound) {
      return Named(r, directoryPath);
    } else if (!(r = FreeSlot(c, directory, f.name, &slot)).ok()) {
      if (r.error == FatFilesError::kDiskFull) r.available = uint64_t{FreeClusters(c)} * c.v.ClusterBytes();
      return r;
    }
    std::vector<uint32_t> clusters;
    uint32_t count = static_cast<uint32_t>(RoundUp(f.data.size(), c.v.ClusterBytes()) / c.v.ClusterBytes());
    if (!Allocate(c, count, &clusters)) {
      // Only a directory that had to grow can have taken the room counted above.
      FatFilesResult full = Fail(FatFilesError::kDiskFull, f.name);
      full.needed = needed + c.v.ClusterBytes();
      full.available = available;
      return full;
    }
    SysTime now;
    SysGetLocalTime(&now);
    const SysTime& when = f.modified ? *f.modified : now;
    FillEntry(EntryAt(c, slot), name, kArchive, clusters.empty() ? 0 : clusters[0],
              static_cast<uint32_t>(f.data.size()), FatDate(when), FatTime(when));
    MarkChanged(c, slot.sector);
    c.data.push_back(&f.data);
    c.dataClusters.push_back(clusters);
  }
  return Commit(c);
}

FatFilesResult DeleteFatFiles(SysHandle disk, uint32_t start, const std::vector<std::string>& paths,
                              RunControl* run) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c, run);
  if (!r.ok()) return r;
  for (const std::string& path : paths) {
    uint32_t directory = 0;
    uint8_t name[11];
    Found found;
    if (!(r = ResolveParent(c, path, &directory, name)).ok()) return r;
    if (!(r = FindEntry(c, directory, name, &found)).ok())
      return r.error == FatFilesError::kNotFound ? Fail(r.error, path) : Named(r, path);
    if (found.entry[kAttributes] & kDirectory) return Fail(FatFilesError::kIsDirectory, path);
    if (!(r = DeleteEntry(c, found, path)).ok()) return r;
  }
  return Commit(c);
}

FatFilesResult MakeFatDirectory(SysHandle disk, uint32_t start, const std::string& path, RunControl* run) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c, run);
  uint32_t parent = 0;
  uint8_t name[11];
  if (r.ok()) r = ResolveParent(c, path, &parent, name);
  if (!r.ok()) return r;
  Found found;
  r = FindEntry(c, parent, name, &found);
  if (r.ok()) return Fail(FatFilesError::kExists, path);
  if (r.error != FatFilesError::kNotFound) return Named(r, path);
  std::vector<uint32_t> cluster;
  Slot slot;
  if (!Allocate(c, 1, &cluster)) {
    FatFilesResult full = Fail(FatFilesError::kDiskFull, path);
    full.needed = c.v.ClusterBytes();
    return full;
  }
  if (!(r = FreeSlot(c, parent, path, &slot)).ok()) {
    if (r.error == FatFilesError::kDiskFull) r.needed = 2ull * c.v.ClusterBytes();
    return r;
  }
  FreshClusters(c, cluster);
  uint8_t* first = c.sectors[c.v.ClusterSector(cluster[0])].data();
  FillEntry(first, reinterpret_cast<const uint8_t*>(".          "), kDirectory, cluster[0], 0, c.date, c.time);
  FillEntry(first + kSize, reinterpret_cast<const uint8_t*>("..         "), kDirectory, parent, 0, c.date,
            c.time);
  FillEntry(EntryAt(c, slot), name, kDirectory, cluster[0], 0, c.date, c.time);
  MarkChanged(c, slot.sector);
  return Commit(c);
}

FatFilesResult RemoveFatDirectory(SysHandle disk, uint32_t start, const std::string& path, RunControl* run) {
  Change c;
  FatFilesResult r = Begin(disk, start, &c, run);
  uint32_t parent = 0;
  uint8_t name[11];
  Found found;
  if (r.ok()) r = ResolveParent(c, path, &parent, name);
  if (r.ok()) r = FindEntry(c, parent, name, &found);
  if (!r.ok()) return r.error == FatFilesError::kNotFound ? Fail(r.error, path) : Named(r, path);
  if (!(found.entry[kAttributes] & kDirectory)) return Fail(FatFilesError::kNotDirectory, path);
  uint32_t cluster = 0;
  std::vector<uint32_t> sectors;
  if (!(r = DirectoryCluster(c, found.entry, path, &cluster)).ok()) return r;
  if (!DirectorySectors(c, cluster, &sectors)) return Fail(FatFilesError::kDamaged, path);
  bool end = false;
  for (size_t n = 0; n < sectors.size() && !end; ++n) {
    bool ok = true;
    const uint8_t* bytes = Sector(c, sectors[n], &ok);
    if (!ok) return Fail(FatFilesError::kRead);
    for (uint32_t i = 0; i < kPerSector && !end; ++i) {
      const uint8_t* e = bytes + i * kSize;
      end = e[0] == 0;
      if (!end && e[0] != kDeleted && e[0] != '.') return Fail(FatFilesError::kNotEmpty, path);
    }
  }
  if (!(r = DeleteEntry(c, found, path)).ok()) return r;
  return Commit(c);
}
