#include "floppy/sysfiles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/trace.h"
#include "fat/fat.h"
#include "disk/sectorio.h"

namespace {

// The entries' 11-byte names.
const uint8_t kSystemFiles[][12] = {"IO      SYS", "MSDOS   SYS", "COMMAND COM"};
constexpr int kSystemFileCount = 3;

constexpr uint32_t kMaxChunkSectors = 4;

// What the transfer builds up before anything of the FAT or the directory reaches the disk.
struct Transfer {
  SysHandle disk;
  RunControl* run;
  DosVersion dos;
  FatLayout volume;
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
  return ReadSectors(t.disk, t.volume.firstFat + loaded, sectors - loaded, &t.fat[loaded * kSectorSize]) ==
         SectorIo::kOk;
}

void StoreDirectoryEntry(Transfer& t, int index, uint32_t attributes, uint32_t firstCluster, uint32_t size) {
  // The directory entry keeps the attributes FAT knows for a file. Windows reports FILE_ATTRIBUTE_NORMAL (0x80) for
  // a file without any.
  BuildDirectoryEntry(t.root + t.nextSlot++ * direntry::kSize, kSystemFiles[index],
                      static_cast<uint8_t>(attributes & direntry::kFileAttributeMask), firstCluster, size);
}

// Chains the file's clusters in the FAT buffer and writes its data, chunk by chunk, from the next data sector.
// A chunk is at most 4 sectors; the part of a chunk past the file's end is zero.
SysFilesTransfer WriteFileData(Transfer& t, SysHandle file, uint32_t size, uint32_t clusters) {
  const uint32_t chunkSectors = t.volume.sectorsPerCluster < kMaxChunkSectors ? t.volume.sectorsPerCluster
                                                                               : kMaxChunkSectors;
  const uint32_t chunksPerCluster = (t.volume.sectorsPerCluster + kMaxChunkSectors - 1) / kMaxChunkSectors;
  const uint32_t endOfChain = EndOfChain(t.volume.fat16);
  uint32_t remaining = size;
  uint8_t buffer[kMaxChunkSectors * kSectorSize];
  for (uint32_t i = 0; i < clusters; ++i) {
    uint32_t cluster = t.nextCluster + i;
    SetFatEntry(t.fat.data(), t.volume.fat16, cluster, i + 1 == clusters ? endOfChain : cluster + 1);
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
        return SysFilesTransfer::kSourceReadFailed;
      }
      remaining -= got;
      if (WriteSectors(t.disk, t.nextDataSector, chunkSectors, buffer, t.run) != SectorIo::kOk) {
        uint32_t error = SysGetLastError();
        TraceLine("WriteDataToDisk error,at Clus %d,actual written %d", static_cast<int>(i), static_cast<int>(got));
        SysSetLastError(error);
        TraceLastError("WriteFile");
        return SysFilesTransfer::kDataWriteFailed;
      }
      t.nextDataSector += chunkSectors;
    }
  }
  return SysFilesTransfer::kDone;
}

SysFilesTransfer CopySystemFile(Transfer& t, int index) {
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
    return SysFilesTransfer::kSourceUnusable;
  }
  uint32_t attributes = 0;
  uint64_t size = 0;
  if (!SysGetFileAttributesEx(path, &attributes, &size)) {
    TraceLastError("GetFileAttributesEx");
    return SysFilesTransfer::kSourceUnusable;
  }
  uint64_t clusters = ClustersFor(size, t.volume.ClusterBytes());
  // An empty file owns no cluster, and its entry says so with first cluster 0.
  uint32_t firstCluster = clusters == 0 ? 0 : t.nextCluster;
  if (size > UINT32_MAX || (clusters > 0 && t.nextCluster + clusters - 1 > t.volume.lastCluster)) {
    TraceLine("%s does not fit into the volume", path);
    return SysFilesTransfer::kSourceUnusable;
  }
  const uint32_t lastCluster = static_cast<uint32_t>(t.nextCluster + clusters - 1);
  if (clusters > 0 && !LoadFatSectors(t, FatSectorsThrough(t.volume.fat16, lastCluster))) {
    TraceLine("read fat failure");
    return SysFilesTransfer::kFatReadFailed;
  }
  StoreDirectoryEntry(t, index, attributes, firstCluster, static_cast<uint32_t>(size));
  SysFilesTransfer outcome = WriteFileData(t, file.get(), static_cast<uint32_t>(size), static_cast<uint32_t>(clusters));
  t.nextCluster += static_cast<uint32_t>(clusters);
  return outcome;
}

// The FAT buffer goes to every FAT copy, then the directory sector; the data is already on the disk.
SysFilesTransfer WriteFatsAndDirectory(const Transfer& t) {
  const uint32_t sectors = static_cast<uint32_t>(t.fat.size() / kSectorSize);
  for (uint32_t copy = 0; copy < t.volume.fatCount; ++copy) {
    if (WriteSectors(t.disk, t.volume.firstFat + copy * t.volume.sectorsPerFat, sectors, t.fat.data(), t.run) !=
        SectorIo::kOk) {
      TraceLine("Write FAT copy %u failure", copy + 1);
      return SysFilesTransfer::kFatWriteFailed;
    }
  }
  if (WriteSectors(t.disk, t.volume.rootSector, 1, t.root, t.run) != SectorIo::kOk) {
    TraceLine("Write directory entry failure");
    return SysFilesTransfer::kRootWriteFailed;
  }
  return SysFilesTransfer::kDone;
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
  FatLayout volume;
  if (!ReadFatLayout(bootRecord, startSector, &volume)) return false;
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
    nextCluster += ClustersFor(size, volume.ClusterBytes());
  }
  return nextCluster - 1 <= volume.lastCluster;
}

SysFilesTransfer TransferSystemFiles(SysHandle disk, uint32_t startSector, DosVersion dos,
                                     const uint8_t* bootRecord, RunControl* run) {
  Transfer t{};
  t.disk = disk;
  t.run = run;
  t.dos = dos;
  if (!ReadFatLayout(bootRecord, startSector, &t.volume)) {
    TraceLine("Get fat type failue.");
    return SysFilesTransfer::kLayoutRefused;
  }
  if (ReadSectors(disk, t.volume.rootSector, 1, t.root) != SectorIo::kOk) {
    TraceLine("read directory entry failure");
    return SysFilesTransfer::kRootReadFailed;
  }
  t.nextSlot = t.root[0] != 0 ? 1 : 0;  // a volume label entry holds slot 0
  if (t.nextSlot + kSystemFileCount > t.volume.rootEntries) {
    TraceLine("No room in the root directory for the system files");
    return SysFilesTransfer::kRootFull;
  }
  if (!LoadFatSectors(t, t.volume.sectorsPerFat < 2 ? t.volume.sectorsPerFat : 2)) {
    TraceLine("read fat failure");
    return SysFilesTransfer::kFatReadFailed;
  }
  t.nextCluster = 2;
  t.nextDataSector = t.volume.firstData;
  for (int index = 0; index < kSystemFileCount; ++index) {
    SysFilesTransfer outcome = CopySystemFile(t, index);
    if (outcome != SysFilesTransfer::kDone) return outcome;
  }
  return WriteFatsAndDirectory(t);
}
