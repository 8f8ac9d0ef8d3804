// Files inside a FAT12 or FAT16 volume at any sector of a disk: a floppy block, the standard edition's floppy at
// sector 0, or a volume of the general formatter. List a directory, read a file out, add files, delete them, make
// and remove directories, and the free space.
//
// Names are DOS 8.3 names only, as the machines that read these floppies expect; no long-name entry is ever
// written. Every operation reads the volume afresh, works out the whole change in memory, refuses it before the
// first write when it cannot be done (a name that is not 8.3, no room, a full root directory), and then writes in
// an order that never leaves a directory entry pointing at clusters the FAT does not give it:
//   1. the new files' data and new directory clusters, into clusters that are free on the disk;
//   2. the FATs with the new chains (every copy, first to last);
//   3. the directory sectors that changed;
//   4. the FATs again with the clusters of deleted or replaced files set free.
// A write that fails stops the operation and is reported; what was written before it leaves at worst clusters that
// no entry uses (or FAT copies that differ, when it failed between them), never a lost or damaged file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/runcontrol.h"
#include "fat/fat.h"
#include "sys/sys.h"

enum class FatFilesError {
  kNone,
  kRead,            // a sector could not be read
  kWrite,           // a sector could not be written: the change stopped part way
  kNotFat,          // no FAT12 or FAT16 boot record at the volume's start
  kBadName,         // not a DOS 8.3 name
  kNotFound,
  kNotDirectory,    // a part of the path is a file
  kIsDirectory,     // a file was asked for, the name is a directory
  kExists,          // the name is taken
  kDiskFull,        // needed and available say how much
  kRootFull,        // the root directory has no free entry
  kNotEmpty,        // rmdir of a directory that holds entries
  kDamaged,         // a cluster chain leaves the volume, loops, or is shorter than its file; or a folder's entry
                    // names no cluster of the volume (0 other than for "..", 1, past the last)
  kTooLarge,        // a file of 4 GiB or more
  kOpen,            // the disk could not be opened
  kInUse,           // another program holds a volume of the disk: nothing was written
  kStopped,         // a file being read out: where its bytes went refused them, so the copy is incomplete
};

struct FatFilesResult {
  FatFilesError error = FatFilesError::kNone;
  std::string name;        // the name or path the error is about
  uint64_t needed = 0;     // kDiskFull: bytes the change needs, bytes free
  uint64_t available = 0;
  bool ok() const { return error == FatFilesError::kNone; }
};

struct FatFileEntry {
  std::string name;  // "NAME.EXT" as stored (bytes above 0x7F as they are)
  bool directory = false;
  uint32_t size = 0;
  uint16_t date = 0, time = 0;  // FAT date and time of the last write
  uint8_t attributes = 0;
};

struct FatVolumeInfo {
  bool fat16 = false;
  uint32_t clusterBytes = 0;
  uint64_t totalBytes = 0;  // the data area's clusters
  uint64_t freeBytes = 0;
  std::string label;        // the root directory's volume label, padding spaces taken off
};

// A file to add: its name in the volume (checked as an 8.3 name) and its bytes.
struct FatFileToAdd {
  std::string name;
  std::vector<uint8_t> data;
  std::optional<SysTime> modified;  // the entry's date and time; the local clock when absent
};

// The changes (add, delete, make and remove a directory) write through the run they are given (null: none).
// Paths inside the volume separate directories with '/' or '\'; "" and "/" are the root directory.
FatFilesResult ReadFatVolumeInfo(SysHandle disk, uint32_t startSector, FatVolumeInfo* info);
// Entries in directory order, without ".", "..", the volume label and long-name entries.
FatFilesResult ListFatDirectory(SysHandle disk, uint32_t startSector, const std::string& path,
                                std::vector<FatFileEntry>* entries);
// Reads a file out piece by piece, so that no file needs more memory than one piece. The entry and its whole
// cluster chain are checked first: a chain shorter than the size, a loop or a cluster outside the volume is
// kDamaged before `begin` is called and before any byte is handed on. Then `begin` (when set) gets the entry, also
// for an empty file, and `write` gets the bytes in order, at most kFatReadPiece at a time and never an empty piece.
// Either returning false stops the read with kStopped; a sector that cannot be read stops it with kRead.
struct FatFileSink {
  std::function<bool(const FatFileEntry& entry)> begin;
  std::function<bool(const uint8_t* bytes, size_t count)> write;
};
constexpr size_t kFatReadPiece = size_t{1} << 20;
FatFilesResult ReadFatFile(SysHandle disk, uint32_t startSector, const std::string& path, const FatFileSink& sink);
// Several files read out of one volume: the first ReadFatFile reads the boot record and the FAT, and every folder
// sector read is kept, so each further file costs the reads of its own clusters only. Nothing may write to the
// volume while the reader is in use.
struct FatReaderState;
struct FatReader {
  FatReader(SysHandle disk, uint32_t startSector);
  ~FatReader();
  FatReader(const FatReader&) = delete;
  FatReader& operator=(const FatReader&) = delete;
  SysHandle disk;
  uint32_t startSector;
  std::unique_ptr<FatReaderState> state;  // the volume as read, once it has been read
};
FatFilesResult ReadFatFile(FatReader& reader, const std::string& path, const FatFileSink& sink);
// The same into memory: the whole file at once, for callers that need it there.
FatFilesResult ReadFatFile(SysHandle disk, uint32_t startSector, const std::string& path, std::vector<uint8_t>* data);
// Adds the files to the directory at `directory`, all of them or none. A name already taken by a file is refused,
// or with `replace` the file is replaced (its clusters are set free once its entry points at the new data).
FatFilesResult AddFatFiles(SysHandle disk, uint32_t startSector, const std::string& directory,
                           const std::vector<FatFileToAdd>& files, bool replace, RunControl* run = nullptr);
// Deletes files (not directories), all of them or none.
FatFilesResult DeleteFatFiles(SysHandle disk, uint32_t startSector, const std::vector<std::string>& paths,
                              RunControl* run = nullptr);
FatFilesResult MakeFatDirectory(SysHandle disk, uint32_t startSector, const std::string& path,
                                RunControl* run = nullptr);
// Removes an empty directory.
FatFilesResult RemoveFatDirectory(SysHandle disk, uint32_t startSector, const std::string& path,
                                  RunControl* run = nullptr);

// The last part of a path ("dir/sub/FILE.TXT" gives "FILE.TXT").
std::string LastPathPart(const std::string& path);
