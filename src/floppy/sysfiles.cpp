#include "floppy/sysfiles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/trace.h"
#include "disk/bpb.h"
#include "disk/sectorio.h"

namespace {

struct SystemFile {
  const char* name;       // 8 characters
  const char* extension;  // 3 characters
};
constexpr SystemFile kSystemFiles[] = {{"IO      ", "SYS"}, {"MSDOS   ", "SYS"}, {"COMMAND ", "COM"}};
constexpr int kSystemFileCount = 3;

constexpr uint32_t kEntrySize = 32;
constexpr uint32_t kMaxChunkSectors = 4;
// The directory entry keeps the attributes FAT knows for a file (read-only, hidden, system, archive). Windows
// reports FILE_ATTRIBUTE_NORMAL (0x80) for a file without any, and bits 6 and 7 are reserved in a FAT entry.
constexpr uint8_t kFatFileAttributeMask = 0x27;

// Where the parts of the volume lie, from its boot record.
struct VolumeLayout {
  bool fat16;
  uint32_t firstFat;     // F1
  uint32_t sectorsPerFat;
  uint32_t fatCount;
  uint32_t rootSector;   // R
  uint32_t rootEntries;
  uint32_t firstData;    // D, where cluster 2 begins
  uint32_t sectorsPerCluster;
  uint32_t lastCluster;  // the highest cluster that both the data area and the FAT hold
};

// The layout of the volume, or false when its boot record does not describe one that can be written safely:
// no FAT type, other than 512-byte sectors (all transfers are 512 bytes), a cluster size that is not a power of
// two, no FAT, or areas that do not fit into the volume.
bool ReadLayout(const uint8_t* br, uint32_t startSector, VolumeLayout* v) {
  FatType type = FatTypeOfBootSector(br);
  uint32_t bytesPerSector = GetLe16(br + bpb::kBytesPerSector);
  v->sectorsPerCluster = br[bpb::kSectorsPerCluster];
  v->fatCount = br[bpb::kNumberOfFats];
  v->sectorsPerFat = GetLe16(br + bpb::kSectorsPerFat);
  v->rootEntries = GetLe16(br + bpb::kRootEntries);
  if (type == kFatUnknown || bytesPerSector != kSectorSize || v->fatCount == 0 || v->sectorsPerFat == 0 ||
      (v->sectorsPerCluster & (v->sectorsPerCluster - 1)) != 0)
    return false;
  v->fat16 = type != kFat12;
  uint32_t reserved = GetLe16(br + bpb::kReservedSectors);
  uint64_t total = GetLe16(br + bpb::kTotalSectors16);
  if (total == 0) total = GetLe32(br + bpb::kTotalSectors32);
  uint64_t rootOffset = reserved + uint64_t{v->fatCount} * v->sectorsPerFat;
  uint64_t dataOffset = rootOffset + (v->rootEntries + 15u) / 16u;
  if (dataOffset >= total || startSector + total - 1 > UINT32_MAX) return false;
  v->firstFat = startSector + reserved;
  v->rootSector = static_cast<uint32_t>(startSector + rootOffset);
  v->firstData = static_cast<uint32_t>(startSector + dataOffset);
  uint64_t dataClusters = (total - dataOffset) / v->sectorsPerCluster;
  uint64_t fatEntries = v->fat16 ? v->sectorsPerFat * 256ull : v->sectorsPerFat * kSectorSize * 2ull / 3;
  // Entries from 0xFF7 (FAT12) or 0xFFF7 (FAT16) up mark bad clusters and chain ends, never a next cluster.
  uint64_t last = std::min<uint64_t>({dataClusters + 1, fatEntries - 1, v->fat16 ? 0xFFF6u : 0xFF6u});
  v->lastCluster = static_cast<uint32_t>(last);
  return true;
}

// Standard FAT12 packing: the entry of cluster c starts at byte c * 3 / 2, in the low 12 bits for an even c and
// the high 12 bits for an odd one; the neighbouring entry's nibble is kept.
void SetFatEntry(std::vector<uint8_t>& fat, bool fat16, uint32_t cluster, uint16_t value) {
  if (fat16) {
    PutLe16(&fat[cluster * 2], value);
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

// Clusters a file of `size` bytes takes.
uint64_t ClustersOf(uint64_t size, uint32_t sectorsPerCluster) {
  return ((size + kSectorSize - 1) / kSectorSize + sectorsPerCluster - 1) / sectorsPerCluster;
}

// FAT sectors, from the first, that hold the entry of `cluster`.
uint32_t FatSectorsUpTo(const VolumeLayout& v, uint32_t cluster) {
  uint32_t endByte = v.fat16 ? cluster * 2 + 2 : cluster * 3 / 2 + 2;
  return (endByte + kSectorSize - 1) / kSectorSize;
}

// What the transfer builds up before anything of the FAT or the directory reaches the disk.
struct Transfer {
  SysHandle disk;
  DosVersion dos;
  VolumeLayout volume;
  std::vector<uint8_t> fat;  // the first sectors of the first FAT, as many as the files need
  uint8_t root[kSectorSize];  // the root directory's first sector
  uint32_t nextSlot;
  uint32_t nextCluster;
  uint32_t nextDataSector;
};

// Reads the FAT sectors the transfer holds up to `sectors`.
bool LoadFatSectors(Transfer& t, uint32_t sectors) {
  uint32_t loaded = static_cast<uint32_t>(t.fat.size() / kSectorSize);
  if (sectors <= loaded) return true;
  t.fat.resize(sectors * kSectorSize);
  return ReadSectors(t.disk, sectors - loaded, t.volume.firstFat + loaded, &t.fat[loaded * kSectorSize]) ==
         kSectorIoOk;
}

// How copying one file ended: copied; stopped with the transfer's result 0 (the file could not be opened or
// placed); or stopped with result 1 (a failure that only the trace reports).
enum class FileOutcome { kCopied, kUnusable, kFailed };

void StoreDirectoryEntry(Transfer& t, int index, uint32_t attributes, uint32_t firstCluster, uint32_t size) {
  uint8_t* entry = t.root + t.nextSlot++ * kEntrySize;
  std::memset(entry, 0, kEntrySize);
  std::memcpy(entry, kSystemFiles[index].name, 8);
  std::memcpy(entry + 8, kSystemFiles[index].extension, 3);
  entry[11] = static_cast<uint8_t>(attributes & kFatFileAttributeMask);
  PutLe16(entry + 26, static_cast<uint16_t>(firstCluster));
  PutLe32(entry + 28, size);
}

// Chains the file's clusters in the FAT buffer and writes its data, chunk by chunk, from the next data sector.
// A chunk is at most 4 sectors; the part of a chunk past the file's end is zero.
FileOutcome WriteFileData(Transfer& t, SysHandle file, uint32_t size, uint32_t clusters) {
  const uint32_t chunkSectors = t.volume.sectorsPerCluster < kMaxChunkSectors ? t.volume.sectorsPerCluster
                                                                               : kMaxChunkSectors;
  const uint32_t chunksPerCluster = (t.volume.sectorsPerCluster + kMaxChunkSectors - 1) / kMaxChunkSectors;
  const uint16_t endOfChain = t.volume.fat16 ? 0xFFFF : 0xFFF;
  uint32_t remaining = size;
  uint8_t buffer[kMaxChunkSectors * kSectorSize];
  for (uint32_t i = 0; i < clusters; ++i) {
    uint32_t cluster = t.nextCluster + i;
    SetFatEntry(t.fat, t.volume.fat16, cluster, i + 1 == clusters ? endOfChain : static_cast<uint16_t>(cluster + 1));
    for (uint32_t chunk = 0; chunk < chunksPerCluster; ++chunk) {
      std::memset(buffer, 0, sizeof buffer);
      uint32_t want = chunkSectors * kSectorSize < remaining ? chunkSectors * kSectorSize : remaining;
      uint32_t got = 0;
      // Fewer bytes than asked for before the file's end means the file changed or could not be read.
      if (want > 0 && (!SysReadFile(file, buffer, want, &got) || got != want)) {
        uint32_t error = SysGetLastError();
        TraceLine("ReadFile at Clus %d not enough:%d", static_cast<int>(i), static_cast<int>(got));
        SysSetLastError(error);
        TraceLastError("ReadFile");
        return FileOutcome::kFailed;
      }
      remaining -= got;
      if (WriteSectors(t.disk, chunkSectors, t.nextDataSector, buffer) != kSectorIoOk) {
        uint32_t error = SysGetLastError();
        TraceLine("WriteDataToDisk error,at Clus %d,actual written %d", static_cast<int>(i), static_cast<int>(got));
        SysSetLastError(error);
        TraceLastError("WriteFile");
        return FileOutcome::kFailed;
      }
      t.nextDataSector += chunkSectors;
    }
  }
  return FileOutcome::kCopied;
}

FileOutcome CopySystemFile(Transfer& t, int index) {
  char path[kSysFilePathSize];
  DeviceHandle file;
  if (SysFileSourcePath(t.dos, index, path))
    file = DeviceHandle(SysCreateFile(path, kSysGenericRead, kSysShareRead | kSysShareWrite | kSysShareDelete,
                                      kSysOpenExisting, kSysAttributeNormal));
  else
    SysSetLastError(kSysErrorPathNotFound);
  TraceLastError(path);
  if (!file.valid()) {
    TraceLine("Open file:%s failure.", path);
    return FileOutcome::kUnusable;
  }
  uint32_t attributes = 0;
  uint64_t size = 0;
  if (!SysGetFileAttributesEx(path, &attributes, &size)) {
    TraceLastError("GetFileAttributesEx");
    return FileOutcome::kFailed;
  }
  uint64_t clusters = ClustersOf(size, t.volume.sectorsPerCluster);
  // An empty file owns no cluster, and its entry says so with first cluster 0.
  uint32_t firstCluster = clusters == 0 ? 0 : t.nextCluster;
  if (size > UINT32_MAX || (clusters > 0 && t.nextCluster + clusters - 1 > t.volume.lastCluster)) {
    TraceLine("%s does not fit into the volume", path);
    return FileOutcome::kUnusable;
  }
  if (clusters > 0 && !LoadFatSectors(t, FatSectorsUpTo(t.volume, static_cast<uint32_t>(t.nextCluster + clusters - 1)))) {
    TraceLine("read fat failure");
    return FileOutcome::kUnusable;
  }
  StoreDirectoryEntry(t, index, attributes, firstCluster, static_cast<uint32_t>(size));
  FileOutcome outcome = WriteFileData(t, file.get(), static_cast<uint32_t>(size), static_cast<uint32_t>(clusters));
  t.nextCluster += static_cast<uint32_t>(clusters);
  return outcome;
}

// The FAT buffer goes to every FAT copy, then the directory sector; the data is already on the disk.
bool WriteFatsAndDirectory(const Transfer& t) {
  const uint32_t sectors = static_cast<uint32_t>(t.fat.size() / kSectorSize);
  for (uint32_t copy = 0; copy < t.volume.fatCount; ++copy) {
    if (WriteSectors(t.disk, sectors, t.volume.firstFat + copy * t.volume.sectorsPerFat, t.fat.data()) !=
        kSectorIoOk) {
      TraceLine("Write FAT copy %u failure", copy + 1);
      return false;
    }
  }
  if (WriteSectors(t.disk, 1, t.volume.rootSector, t.root) != kSectorIoOk) {
    TraceLine("Write directory entry failure");
    return false;
  }
  return true;
}


}  // namespace

bool SysFileSourcePath(DosVersion dos, int index, char (&path)[kSysFilePathSize]) {
  path[0] = '\0';
  char directory[kSysFilePathSize];
  uint32_t length = SysGetCurrentDirectory(sizeof directory, directory);
  if (length == 0 || length >= sizeof directory) return false;
  int written = std::snprintf(path, sizeof path, "%s\\SysFile\\OS%c%c", directory, dos == kDos622 ? '6' : '7',
                              'A' + index);
  return written > 0 && written < static_cast<int>(sizeof path);
}

bool SystemFilesFit(DosVersion dos, uint32_t startSector, const uint8_t* bootRecord, bool labelEntry) {
  VolumeLayout volume{};
  if (!ReadLayout(bootRecord, startSector, &volume)) return false;
  if ((labelEntry ? 1u : 0u) + kSystemFileCount > volume.rootEntries) return false;
  uint64_t nextCluster = 2;
  for (int index = 0; index < kSystemFileCount; ++index) {
    char path[kSysFilePathSize];
    if (!SysFileSourcePath(dos, index, path)) return false;
    DeviceHandle file(SysCreateFile(path, kSysGenericRead, kSysShareRead | kSysShareWrite | kSysShareDelete,
                                    kSysOpenExisting, kSysAttributeNormal));
    uint32_t attributes = 0;
    uint64_t size = 0;
    if (!file.valid() || !SysGetFileAttributesEx(path, &attributes, &size) || size > UINT32_MAX) return false;
    // A folder opens too, but cannot be read as a file.
    uint8_t probe = 0;
    uint32_t got = 0;
    if (size > 0 && (!SysReadFile(file.get(), &probe, 1, &got) || got != 1)) return false;
    nextCluster += ClustersOf(size, volume.sectorsPerCluster);
  }
  return nextCluster - 1 <= volume.lastCluster;
}

int TransferSystemFiles(SysHandle disk, uint32_t startSector, DosVersion dos, const uint8_t* bootRecord) {
  Transfer t{};
  t.disk = disk;
  t.dos = dos;
  if (!ReadLayout(bootRecord, startSector, &t.volume)) {
    TraceLine("Get fat type failue.");
    return 0;
  }
  if (ReadSectors(disk, 1, t.volume.rootSector, t.root) != kSectorIoOk) {
    TraceLine("read directory entry failure");
    return 0;
  }
  t.nextSlot = t.root[0] != 0 ? 1 : 0;  // a volume label entry holds slot 0
  if (t.nextSlot + kSystemFileCount > t.volume.rootEntries) {
    TraceLine("No room in the root directory for the system files");
    return 0;
  }
  if (!LoadFatSectors(t, t.volume.sectorsPerFat < 2 ? t.volume.sectorsPerFat : 2)) {
    TraceLine("read fat failure");
    return 0;
  }
  t.nextCluster = 2;
  t.nextDataSector = t.volume.firstData;
  for (int index = 0; index < kSystemFileCount; ++index) {
    FileOutcome outcome = CopySystemFile(t, index);
    if (outcome != FileOutcome::kCopied) return 0;
  }
  return WriteFatsAndDirectory(t) ? 1 : 0;
}
