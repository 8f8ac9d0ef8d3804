// The FAT12/FAT16 volume as data: the boot record's fields and the layout they describe, boot records built from
// parameters in real units, FAT entries, directory entries and 8.3 names. Pure functions over byte buffers: nothing
// here reads or writes a disk, so every writer and reader of volumes shares one set of rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Every volume here has 512-byte sectors: the transfers move nothing else.
constexpr uint32_t kSectorSize = 512;

inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The boot record's fields: offset, width and unit. Multi-byte numbers are little-endian.
namespace bpb {
constexpr int kJump = 0;                // 3 bytes: EB 3C 90
constexpr int kOemName = 3;             // 8 characters
constexpr int kBytesPerSector = 11;     // 16 bits, bytes
constexpr int kSectorsPerCluster = 13;  // 8 bits, sectors (a power of two)
constexpr int kReservedSectors = 14;    // 16 bits, sectors before the first FAT, the boot record's own included
constexpr int kNumberOfFats = 16;       // 8 bits, FAT copies
constexpr int kRootEntries = 17;        // 16 bits, 32-byte root directory entries
constexpr int kTotalSectors16 = 19;     // 16 bits, sectors of the volume; 0 when the 32-bit field holds them
constexpr int kMedia = 21;              // 8 bits, media descriptor (also the first byte of every FAT)
constexpr int kSectorsPerFat = 22;      // 16 bits, sectors of one FAT copy
constexpr int kSectorsPerTrack = 24;    // 16 bits, CHS sectors per track
constexpr int kHeads = 26;              // 16 bits, CHS heads
constexpr int kHiddenSectors = 28;      // 32 bits, sectors on the disk before the volume
constexpr int kTotalSectors32 = 32;     // 32 bits, sectors of the volume
constexpr int kSectorsPerFat32 = 36;    // 32 bits, sectors of one FAT copy (FAT32 records only)
constexpr int kDriveNumber = 36;        // 8 bits, BIOS drive (FAT12/FAT16 records)
constexpr int kBootSignature = 38;      // 8 bits, 29: serial number, label and type follow
constexpr int kSerialNumber = 39;       // 32 bits
constexpr int kVolumeLabel = 43;        // 11 characters, space-padded
constexpr int kFileSystemType = 54;     // 8 characters, "FAT12   " or "FAT16   ", informational only
constexpr int kBootProgram = 62;        // 448 bytes of boot program
constexpr int kSignature = 510;         // 55 AA
constexpr size_t kBootProgramSize = 448;
constexpr size_t kLabelSize = 11;
}  // namespace bpb

// 55 AA at the end of the sector.
inline bool HasBootSignature(const uint8_t* sector) {
  return sector[bpb::kSignature] == 0x55 && sector[bpb::kSignature + 1] == 0xAA;
}
// The first root directory sector from a boot record's own fields, unchecked: reserved + FATs x sectors per FAT.
inline uint32_t RootDirectoryOffset(const uint8_t* bootRecord) {
  return GetLe16(bootRecord + bpb::kReservedSectors) +
         static_cast<uint32_t>(bootRecord[bpb::kNumberOfFats]) * GetLe16(bootRecord + bpb::kSectorsPerFat);
}

// What the clusters of a volume hold, in bytes (total clusters x cluster size), for any sector size and FAT32 too,
// as Windows counts a FAT volume's size; 0 when the fields leave no data area.
uint64_t ClusterAreaBytes(const uint8_t* bootRecord);

// FAT type codes.
enum FatType : int { kFatUnknown = 0, kFat12 = 1, kFat16 = 2, kFat32 = 3 };

// Microsoft's FAT type rule applied to a boot sector: 55 AA at 510, non-zero bytes per sector
// and sectors per cluster, then the cluster count alone decides (below 4085 FAT12, below 65525 FAT16, else FAT32).
FatType FatTypeOfBootSector(const uint8_t* sector);
constexpr uint32_t kFat12ClusterLimit = 4085;   // fewer clusters: FAT12
constexpr uint32_t kFat16ClusterLimit = 65525;  // fewer clusters: FAT16

// Clusters that `bytes` of file data take.
constexpr uint64_t ClustersFor(uint64_t bytes, uint32_t clusterBytes) { return (bytes + clusterBytes - 1) / clusterBytes; }
// Sectors of a root directory of `entries` 32-byte entries.
constexpr uint32_t RootDirectorySectors(uint32_t entries) { return (entries * 32 + kSectorSize - 1) / kSectorSize; }

// The FAT sizing rule as Microsoft publishes it (the FAT16 one, used for FAT12 volumes too):
// ceil((total - reserved - root sectors) / (256 x sectors per cluster + FATs)), in 32-bit arithmetic on purpose, so
// that a volume smaller than its fixed areas wraps exactly as the rule is written.
uint32_t FatSizingRule(uint32_t totalSectors, uint32_t reservedSectors, uint32_t rootEntries,
                       uint32_t sectorsPerCluster, uint32_t fatCount);
// The sectors per FAT a volume gets: the rule's value, raised until the FAT holds a 16-bit entry for every cluster
// plus the two reserved entries, which the rule does not count (it leaves some volumes, every power-of-two size
// with 64 KiB clusters among them, one or two entries short: fsck.fat and FatFs refuse those, and a driver that
// believes the cluster count writes past the FAT's end). 16-bit entries hold FAT12's 12-bit ones too. A volume
// smaller than its fixed areas keeps the rule's wrapped value. The BPB keeps its low 16 bits.
uint32_t SectorsPerFatFor(uint32_t totalSectors, uint32_t reservedSectors, uint32_t rootEntries,
                          uint32_t sectorsPerCluster, uint32_t fatCount);

// The cluster counts a volume written here may have. Readers draw the FAT12/FAT16 line in different places:
// Microsoft's rule and Linux make 4,085 clusters FAT16, MS-DOS 3.3 and FatFs make them FAT12 (FAT16 from 4,086), and
// FatFs takes 65,525 clusters for FAT16 where Microsoft's rule says FAT32. A count well away from both lines is
// read as the same type by all of them: FAT12 up to 4,078 clusters (cluster numbers below FF0h, where the values
// some FAT documents reserve begin), FAT16 from 4,096 (more than 12 bits can number) up to 65,518 (numbers below
// FFF0h). A writer whose volume would land between them makes the volume a few clusters shorter.
constexpr uint32_t kMaxWrittenFat12Clusters = 4078;
constexpr uint32_t kMinWrittenFat16Clusters = 4096;
constexpr uint32_t kMaxWrittenFat16Clusters = 65518;
// The most clusters a volume of `clusters` may keep so that every reader agrees on its type: the count itself
// when it is outside the disputed ranges, else the top of the range below them.
constexpr uint32_t UnambiguousClusterCount(uint32_t clusters) {
  return clusters > kMaxWrittenFat16Clusters                                          ? kMaxWrittenFat16Clusters
         : clusters > kMaxWrittenFat12Clusters && clusters < kMinWrittenFat16Clusters ? kMaxWrittenFat12Clusters
                                                                                      : clusters;
}

// The data area of a volume with those fields: DataSec and clusters as 32-bit arithmetic gives them (wrapped when
// the fixed areas exceed the total), and whether the fixed areas really leave one whole cluster.
struct FatDataArea {
  uint32_t dataSectors = 0;
  uint32_t clusters = 0;
  bool hasCluster = false;
};
FatDataArea DataAreaOf(uint32_t totalSectors, uint32_t reservedSectors, uint32_t rootEntries,
                       uint32_t sectorsPerCluster, uint32_t fatCount, uint32_t sectorsPerFat);

// Where the parts of a volume lie, in absolute sector numbers (the boot record's sector plus each area's offset).
struct FatLayout {
  bool fat16 = false;
  uint32_t sectorsPerCluster = 0, fatCount = 0, sectorsPerFat = 0, rootEntries = 0, totalSectors = 0;
  uint32_t firstFat = 0, rootSector = 0, rootSectors = 0;
  uint32_t firstData = 0;    // where cluster 2 begins
  uint32_t lastCluster = 0;  // the highest cluster that both the data area and the FAT hold
  uint32_t ClusterSector(uint32_t cluster) const { return firstData + (cluster - 2) * sectorsPerCluster; }
  uint32_t ClusterBytes() const { return sectorsPerCluster * kSectorSize; }
};

// The layout of the volume whose boot record lies at startSector, or false when the record describes none that
// can be used safely: no FAT12 or FAT16 type, other than 512-byte sectors, a cluster size that is not a power of
// two, no reserved sector, no FAT, areas that do not fit into the volume, a volume that runs past
// 32-bit sector numbers, or no cluster to hold data. Every field is bounded before it is used.
bool ReadFatLayout(const uint8_t* bootRecord, uint32_t startSector, FatLayout* layout);

// A boot record's parameters, in the units they have on the volume.
struct BootRecordParams {
  uint32_t clusterBytes = kSectorSize;  // 512 .. 65,536
  uint32_t fatCount = 2;
  uint32_t rootEntries = 0;             // written as given
  uint8_t media = 0xF8;
  uint32_t totalSectors = 0;            // the 16-bit field below 65,536, else the 32-bit one
  uint32_t sectorsPerFat = 0;           // 0: the sizing rule's value for the fields above
  uint32_t reservedSectors = 1;
  uint16_t sectorsPerTrack = 0;
  uint16_t heads = 0;
  uint32_t hiddenSectors = 0;
  std::string label;                    // the label field: at most 11 bytes used, spaces after them
  FatType type = kFat12;                // the file system type field
  const uint8_t* bootProgram = nullptr; // 448 bytes
};
// The 512-byte record: jump EB 3C 90, OEM "MSDOS5.0", the BPB, drive 0, signature 29 with serial 84730668,
// label, type, boot program, 55 AA.
void BuildBootRecord(const BootRecordParams& params, uint8_t* record);

// FAT entries of cluster numbers. FAT12 packs two entries in three bytes: the entry of cluster c starts at byte
// c x 3 / 2, in the low 12 bits for an even c and the high 12 bits for an odd one.
uint32_t GetFatEntry(const uint8_t* fat, bool fat16, uint32_t cluster);
// Stores the entry, keeping the neighbouring entry's nibble of a FAT12 byte pair.
void SetFatEntry(uint8_t* fat, bool fat16, uint32_t cluster, uint32_t value);
// The FAT sectors, from the first, up to and including the one that holds the entry of `cluster`.
inline uint32_t FatSectorsThrough(bool fat16, uint32_t cluster) {
  return ((fat16 ? cluster * 2 + 2 : cluster * 3 / 2 + 2) + kSectorSize - 1) / kSectorSize;
}
constexpr uint32_t EndOfChain(bool fat16) { return fat16 ? 0xFFFF : 0xFFF; }
// Entries from here up end a chain.
constexpr uint32_t FirstEndOfChain(bool fat16) { return fat16 ? 0xFFF8 : 0xFF8; }
// The first sector of an empty FAT: the media byte and the reserved entries (F0/F8/F9 FF FF, one more FF for
// FAT16), zeros after them.
void BuildFatHead(uint8_t media, bool fat16, uint8_t* sector);

// Directory entries: 32 bytes each.
namespace direntry {
constexpr uint32_t kSize = 32;
constexpr uint32_t kPerSector = kSectorSize / kSize;
constexpr int kName = 0;          // 11 bytes: 8 name, 3 extension, space-padded
constexpr int kAttributes = 11;   // 8 bits
constexpr int kCreateTime = 14;   // 16 bits, FatTime
constexpr int kCreateDate = 16;   // 16 bits, FatDate
constexpr int kAccessDate = 18;   // 16 bits, FatDate
constexpr int kWriteTime = 22;    // 16 bits, FatTime
constexpr int kWriteDate = 24;    // 16 bits, FatDate
constexpr int kFirstCluster = 26; // 16 bits
constexpr int kFileSize = 28;     // 32 bits, bytes
constexpr uint8_t kDeleted = 0xE5;
constexpr uint8_t kReadOnly = 0x01, kVolumeLabel = 0x08, kDirectory = 0x10, kArchive = 0x20;
constexpr uint8_t kLongName = 0x0F;
// The attributes a FAT entry keeps for a file (read-only, hidden, system, archive); bits 6 and 7 are reserved.
constexpr uint8_t kFileAttributeMask = 0x27;
}  // namespace direntry

// Directory entry time stamps: hour x 2048 + minute x 32 + second / 2, and (year - 1980) x 512 + month x 32 + day,
// from any time with those fields (SysTime), so that this layer stays below the system seam.
template <typename Time>
uint16_t FatTime(const Time& t) {
  return static_cast<uint16_t>(t.hour * 2048 + t.minute * 32 + t.second / 2);
}
template <typename Time>
uint16_t FatDate(const Time& t) {
  return static_cast<uint16_t>((t.year - 1980) * 512 + t.month * 32 + t.day);
}

// A cleared entry with its 11-byte name, attributes, first cluster and size; no time stamps.
void BuildDirectoryEntry(uint8_t* entry, const uint8_t name[11], uint8_t attributes, uint32_t firstCluster,
                         uint32_t size);
// Stamps the write time and date; with `creation` also the creation time and date and the access date.
void StampDirectoryEntry(uint8_t* entry, uint16_t date, uint16_t time, bool creation);
// A volume label entry: up to 11 bytes of the label with zero bytes after them (the block scan reads the name as
// a zero-terminated string), the label attribute, the write time stamp.
void BuildLabelEntry(uint8_t* entry, const char* label, size_t length, uint16_t date, uint16_t time);

// Whether a byte begins a two-byte character in an OEM code page: 0x81-0xFE in 936, 949 and 950, 0x81-0x9F and
// 0xE0-0xFC in 932; never in the single-byte code pages (437, 850, ...). The byte after it is its trail byte
// (0x40-0xFE but 0x7F), which may look like an ASCII letter, '\\' or '|' and is none of them.
bool IsOemLeadByte(uint32_t codePage, uint8_t byte);

// An 8.3 name as the 11 bytes of an entry; false for a name DOS cannot hold (empty, too long, a character outside
// letters, digits and !#$%&'()-@^_`{}~, a device name, a lead byte without its trail byte). `text` is the name's
// bytes in the OEM code page `codePage`: bytes 0x80-0xFF are letters of that code page and stay as they are, only
// ASCII letters that are not trail bytes are upper-cased, so a caller that wants other letters in upper case
// upper-cases them in its own text before converting it. A first byte 0xE5 (the deleted mark) is stored as 0x05.
bool MakeShortName(const std::string& text, uint8_t name[11], uint32_t codePage = 437);
// The 11 bytes of an entry as "NAME.EXT", in the OEM code page (a first byte 0x05 back to 0xE5).
std::string ShortNameText(const uint8_t name[11]);
