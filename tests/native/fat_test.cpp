// FAT arithmetic: the type rule, the layout a boot record describes, FAT entries; and the general
// formatter's: FAT sizing, the FAT type decision and its refusals, the default unit, the geometry and the MBR.
// Expected numbers were worked out independently of the code, by hand and with a short script of the published FAT
// formulas.
#include "base/texts.h"
#include "boot/boot_programs.h"
#include "disk_fixture.h"
#include "pages/page_words.h"
#include "usbformat/usbformat.h"

namespace {

// The cluster count alone decides; unsigned or unfinished boot sectors are of no type.
TEST(FatTypeRule, TheClusterCountAloneDecides) {
  for (auto [clusters, type] : {std::pair(4084u, kFat12), {4085u, kFat16}, {65524u, kFat16}, {65525u, kFat32}})
    EXPECT_EQ(FatTypeOfBootSector(BootRecordWithClusters(clusters).data()), type) << clusters;
  std::vector<uint8_t> s = BootRecordWithClusters(100);
  std::memcpy(&s[54], "FAT16   ", 8);
  EXPECT_EQ(FatTypeOfBootSector(s.data()), kFat12) << "the type field is a label";
  EXPECT_EQ(FatTypeOfBootSector(std::vector<uint8_t>(512, 0).data()), kFatUnknown);
  for (int offset : {511, int(bpb::kSectorsPerCluster)}) {
    s = BootRecordWithClusters(1000);
    s[offset] = 0;
    EXPECT_EQ(FatTypeOfBootSector(s.data()), kFatUnknown) << offset;
  }
}

// Reference layouts worked out by hand from the fields: reserved 1, 2 FATs of 32 sectors, 512 root entries (32
// sectors), so the root directory starts at 65 and cluster 2 at 97.
TEST(FatLayoutRead, PlacesTheAreasAndBoundsTheLastClusterByTheDataAreaTheFatAndTheReservedValues) {
  FatLayout v;
  ASSERT_TRUE(ReadFatLayout(BootRecordWithClusters(1000).data(), 100, &v));
  // 1000 data clusters: 2 .. 1001.
  EXPECT_EQ(std::make_tuple(v.fat16, v.firstFat, v.rootSector, v.firstData, v.lastCluster, v.ClusterSector(3)),
            std::make_tuple(false, 101u, 165u, 197u, 1001u, 198u));

  // 4084 clusters: FAT12, whose 32 sectors hold 10922 entries; 0xFF6 is the highest cluster number FAT12 has.
  ASSERT_TRUE(ReadFatLayout(BootRecordWithClusters(4084).data(), 0, &v));
  EXPECT_EQ(v.lastCluster, 0xFF5u);
  std::vector<uint8_t> br = BootRecordWithClusters(5000);
  br[bpb::kSectorsPerCluster] = 2;       // 2500 clusters in the data area,
  PutLe16(&br[bpb::kSectorsPerFat], 1);  // but 341 FAT12 entries: clusters 2 .. 340
  PutLe16(&br[bpb::kTotalSectors16], 1 + 2 + 32 + 5000);
  ASSERT_TRUE(ReadFatLayout(br.data(), 0, &v));
  EXPECT_EQ(v.lastCluster, 340u);
  ASSERT_TRUE(ReadFatLayout(BootRecordWithClusters(60000).data(), 0, &v));  // FAT16: 32 sectors of 256 entries
  EXPECT_TRUE(v.fat16 && v.lastCluster == 32u * 256 - 1);
}

TEST(FatLayoutRead, RefusesRecordsWhoseFieldsDescribeNoSafeVolume) {
  struct Case { const char* what; int offset, width; uint32_t value, start = 0; } const cases[] = {
      {"FAT32 by its cluster count", bpb::kTotalSectors32, 4, 70000 + 97},
      {"1024-byte sectors", bpb::kBytesPerSector, 2, 1024},
      {"3 sectors per cluster", bpb::kSectorsPerCluster, 1, 3},
      {"no reserved sector", bpb::kReservedSectors, 2, 0},
      {"no FAT", bpb::kNumberOfFats, 1, 0},
      {"FATs of 0 sectors", bpb::kSectorsPerFat, 2, 0},
      {"FATs beyond the volume's end", bpb::kNumberOfFats, 1, 255},
      {"no sector left for data", bpb::kTotalSectors16, 2, 97},
      {"a volume past 32-bit sector numbers", bpb::kTotalSectors16, 2, 1097, 0xFFFFFFFFu - 1000},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> br = BootRecordWithClusters(1000);
    if (c.width == 4) PutLe16(&br[bpb::kTotalSectors16], 0);
    if (c.width == 1) br[c.offset] = static_cast<uint8_t>(c.value);
    if (c.width == 2) PutLe16(&br[c.offset], static_cast<uint16_t>(c.value));
    if (c.width == 4) PutLe32(&br[c.offset], c.value);
    FatLayout v;
    EXPECT_FALSE(ReadFatLayout(br.data(), c.start, &v)) << c.what;
  }
  FatLayout v;
  EXPECT_TRUE(ReadFatLayout(BootRecordWithClusters(1000).data(), 0xFFFFFFFFu - 1096, &v)) << "ends on the last sector";
}

TEST(FatEntries, Fat12PairsShareAByteAndKeepTheirNeighbours) {
  std::vector<uint8_t> fat(12, 0);
  const uint32_t values[] = {0xABC, 0x123, 0xFFF, 0x456, 0x789};
  for (uint32_t c = 2; c < 7; ++c) SetFatEntry(fat.data(), false, c, values[c - 2]);
  // Cluster 2 at bytes 3-4 (low 12 bits), cluster 3 in the high 12 bits of bytes 4-5.
  EXPECT_EQ(std::vector<uint8_t>(fat.begin() + 3, fat.begin() + 6), (std::vector<uint8_t>{0xBC, 0x3A, 0x12}));
  SetFatEntry(fat.data(), false, 3, 0x000);  // freeing one entry leaves both neighbours
  SetFatEntry(fat.data(), false, 4, 0xF0F);
  const uint32_t after[] = {0xABC, 0, 0xF0F, 0x456, 0x789};
  for (uint32_t c = 2; c < 7; ++c) EXPECT_EQ(GetFatEntry(fat.data(), false, c), after[c - 2]) << c;
  SetFatEntry(fat.data(), true, 5, 0xFFF8);
  EXPECT_TRUE(fat[10] == 0xF8 && fat[11] == 0xFF);
  EXPECT_EQ(GetFatEntry(fat.data(), true, 5), 0xFFF8u);
}

UsbFormatOptions Choice(uint32_t clusterBytes, uint32_t fatCount = 2, uint32_t rootEntries = 256) {
  UsbFormatOptions options;
  options.clusterBytes = clusterBytes;
  options.fatCount = fatCount;
  options.rootEntries = rootEntries;
  return options;
}

DbrDecision Build(uint32_t sectors, const UsbFormatOptions& options, FormatDbr* dbr, uint32_t start = 0) {
  return BuildFormatDbr(sectors, start, options, DiskGeometry(sectors, options.mbrSectors), kDos622, dbr);
}
Refusal RefusalOf(uint32_t sectors, const UsbFormatOptions& options, uint32_t start = 0) {
  FormatDbr dbr;
  return Build(sectors, options, &dbr, start).refusal;
}
// Sectors per track, heads, cylinders.
std::array<uint32_t, 3> Chs(const FormatRecordFields& f) { return {f.sectorsPerTrack, f.heads, f.cylinders}; }

TEST(UsbFormatParams, LaysOutTheVolumeAndDecidesItsFatType) {
  // Volume: the sectors the volume keeps.
  struct { uint32_t sectors, fats, rootEntries, volume; uint16_t perFat; uint32_t clusters; uint8_t kind; } const rows[] = {
      {62500, 2, 256, 62500, 243, 61997, kFat16},
      {2880, 2, 224, 2880, 12, 2841, kFat12},
      {4127, 2, 256, 4127, 16, 4078, kFat12},    // the last FAT12 count written
      {4133, 2, 256, 4127, 16, 4078, kFat12},    // 4,084 clusters: readers disagree next to the FAT12/FAT16 line,
      {4134, 2, 256, 4127, 16, 4078, kFat12},    // and at 4,085 itself; the volume ends early instead
      {4147, 2, 256, 4147, 17, 4096, kFat16},    // the first FAT16 count written
      {66053, 2, 256, 66047, 256, 65518, kFat16},  // 65,524 clusters are 65,518 near FAT16's top
      {10041, 1, 256, 10041, 40, 10041 - 40 - 17, kFat16},  // one FAT: ceil(10024 / 257) = 40; / 258 would be 39
      {5000, 2, 512, 5000, 20, 5000 - 40 - 33, kFat16},     // 512 entries take 32 sectors
      {5000, 2, 497, 5000, 20, 5000 - 40 - 33, kFat16},     // and so do 497
      // The published rule gives 255 sectors, 65,280 entries for 65,279 clusters and the 2 reserved entries.
      {65536, 1, 16, 65536, 256, 65278, kFat16},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.sectors);
    FormatDbr dbr;
    DbrDecision d = Build(r.sectors, Choice(512, r.fats, r.rootEntries), &dbr);
    ASSERT_EQ(d.refusal, Refusal::kNone);
    // The 16-bit total holds volumes under 65,536 sectors, the 32-bit one the others.
    EXPECT_EQ(GetLe16(dbr.bytes + bpb::kTotalSectors16), r.volume < 65536 ? r.volume : 0);
    EXPECT_EQ(GetLe32(dbr.bytes + bpb::kTotalSectors32), r.volume < 65536 ? 0 : r.volume);
    EXPECT_EQ(std::make_tuple(GetLe16(dbr.bytes + bpb::kSectorsPerFat), d.clusters, d.fatKind, +dbr.bytes[bpb::kNumberOfFats]),
              std::make_tuple(r.perFat, r.clusters, r.kind, int(r.fats)));
    EXPECT_EQ(GetLe16(dbr.bytes + bpb::kRootEntries), (r.rootEntries + 15) / 16 * 16) << "whole root sectors";
    EXPECT_EQ(FatTypeOfBootSector(dbr.bytes), r.kind) << "the record must read back as the type it was given";
    EXPECT_EQ(std::memcmp(dbr.bytes + bpb::kFileSystemType, r.kind == kFat12 ? "FAT12   " : "FAT16   ", 8), 0);
  }
  EXPECT_EQ(RefusalOf(66054, Choice(512)), Refusal::kTooManyClusters);  // 65,525 clusters
  FormatDbr largest16;
  Build(65535, Choice(1024), &largest16);
  EXPECT_EQ(std::make_pair(+GetLe16(largest16.bytes + bpb::kTotalSectors16), GetLe32(largest16.bytes + bpb::kTotalSectors32)),
            std::make_pair(65535, 0u));
}

TEST(UsbFormatParams, WritesTheFixedFieldsWhateverTheChoice) {
  UsbFormatOptions options = Choice(4096);
  options.label = "USERLABEL";
  FormatDbr dbr;
  BuildFormatDbr(100000, 0, options, DiskGeometry(100000, 32), kDos71, &dbr);
  const uint8_t* b = dbr.bytes;
  const uint8_t head[] = {0xEB, 0x3C, 0x90, 'M', 'S', 'D', 'O', 'S', '5', '.', '0', 0x00, 0x02, 8, 1, 0};
  EXPECT_EQ(std::memcmp(b, head, sizeof head), 0);
  EXPECT_EQ(b[bpb::kMedia], 0xF8);
  EXPECT_EQ(GetLe16(b + bpb::kSectorsPerTrack), 32);
  EXPECT_EQ(GetLe16(b + bpb::kHeads), 3);  // (100,000 / 1024) / 32
  const uint8_t tail[] = {0x00, 0x00, 0x29, 0x68, 0x06, 0x73, 0x84, 'N', 'O', ' ',
                          'N',  'A',  'M',  'E',  ' ',  ' ',  ' ',  ' '};
  EXPECT_EQ(std::memcmp(b + bpb::kDriveNumber, tail, sizeof tail), 0);
  EXPECT_TRUE(b[510] == 0x55 && b[511] == 0xAA);  // the boot program of each DOS: the usbformat oracle boots both
}

TEST(UsbFormatParams, RefusesChoicesBeforeAnythingIsComputed) {
  EXPECT_EQ(CheckUsbFormatRequest(0, Choice(512)), Refusal::kNoSectors);
  EXPECT_EQ(CheckUsbFormatRequest(100000, Choice(512, 2, 513)), Refusal::kTooManyRootEntries);
  EXPECT_EQ(CheckUsbFormatRequest(100000, Choice(512, 2, 512)), Refusal::kNone);
  EXPECT_EQ(CheckUsbFormatRequest(100000, Choice(0)), Refusal::kNoClusterSize);
  EXPECT_EQ(CheckUsbFormatRequest(100000, Choice(131072)), Refusal::kNoClusterSize);
  EXPECT_EQ(CheckUsbFormatRequest(100000, Choice(1536)), Refusal::kNoClusterSize) << "no power of two";
  EXPECT_EQ(CheckUsbFormatRequest(100000, Choice(512, 3)), Refusal::kNoFatCount);
  EXPECT_EQ(CheckUsbFormatRequest(100, Choice(65536)), Refusal::kClusterTooLarge);
  EXPECT_EQ(CheckUsbFormatRequest(128, Choice(65536)), Refusal::kNone);
  EXPECT_EQ(CheckUsbFormatRequest(100000, Choice(512, 0)), Refusal::kNoFatCount);
}

TEST(UsbFormatParams, SuggestsTheSmallestUnitThatFat16Holds) {
  // 132,115 sectors at 512 bytes: 513 sectors per FAT, DataSec 131,072, a multiple of 65,536. Half of DataSec in
  // 1,024-byte clusters is still 65,536 clusters (65,791 with the smaller FAT), so the first unit that fits is
  // 2,048 bytes.
  FormatDbr dbr;
  for (auto [sectors, dataSectors] : {std::pair(132115u, 131072u), {132116u, 131073u}}) {
    DbrDecision d = Build(sectors, Choice(512), &dbr);
    EXPECT_EQ(std::make_tuple(d.refusal, d.dataSectors, d.suggestedUnit),
              std::make_tuple(Refusal::kTooManyClusters, dataSectors, 2048u));
  }
  EXPECT_EQ(RefusalOf(132115, Choice(1024)), Refusal::kTooManyClusters);
  EXPECT_EQ(RefusalOf(132115, Choice(2048)), Refusal::kNone);

  RunOutcome outcome;
  outcome.suggestedUnit = 2048, outcome.dataSectorsMultiple = true;
  UiLanguage = Language::English;
  EXPECT_EQ(UnitSuggestionText(outcome), "The allocation unit is not less 2048");
  outcome.dataSectorsMultiple = false;
  EXPECT_EQ(UnitSuggestionText(outcome), "The allocation unit is not less2048");
  UiLanguage = Language::Chinese;
  EXPECT_EQ(UnitSuggestionText(outcome), "所选分配单元不能小于2048");
  UiLanguage = Language::English;
}

TEST(UsbFormatParams, RefusesVolumesThatNoUnitCanHoldOrThatHaveNoRoom) {
  EXPECT_EQ(RefusalOf(100000, Choice(512, 0)), Refusal::kNoFatCount) << "never a volume with 0 FATs";
  EXPECT_EQ(RefusalOf(9000000, Choice(65536)), Refusal::kBeyondFat16);  // 70,308 clusters of 64 KiB
  EXPECT_EQ(RefusalOf(9000000, Choice(512)), Refusal::kBeyondFat16);
  // 16 root sectors, 2 FATs and the DBR need 19 sectors; 20 leave one cluster, 18 leave less than none.
  EXPECT_EQ(RefusalOf(20, Choice(512)), Refusal::kNone);
  EXPECT_EQ(RefusalOf(19, Choice(512)), Refusal::kNoDataArea);
  EXPECT_EQ(RefusalOf(18, Choice(512)), Refusal::kNoDataArea);
  EXPECT_EQ(RefusalOf(20, Choice(1024)), Refusal::kNoDataArea) << "one sector is no 2-sector cluster";
  EXPECT_EQ(RefusalOf(50, Choice(512), 63), Refusal::kNoDataArea) << "an MBR larger than the disk";
}

TEST(UsbFormatParams, MinimumAllocationUnitFollowsTheTableAndStaysFormattable) {
  EXPECT_EQ(MinimumAllocationUnit(8483, 256), 512u);   // D = 8,400
  EXPECT_EQ(MinimumAllocationUnit(8484, 256), 1024u);  // D = 8,401
  EXPECT_EQ(MinimumAllocationUnit(0, 256), 65536u);    // no disk
  EXPECT_EQ(MinimumAllocationUnit(62500, 256), 2048u);
  // D = 260,943 is within the 2,048-byte row, but 2,048-byte clusters give this disk 65,617 of them.
  EXPECT_EQ(RefusalOf(263000, Choice(2048)), Refusal::kTooManyClusters);
  EXPECT_EQ(MinimumAllocationUnit(263000, 256), 4096u);
  EXPECT_EQ(RefusalOf(263000, Choice(4096)), Refusal::kNone);
}

TEST(UsbFormatParams, GeometryAndMbr) {
  using Geometry = std::array<uint32_t, 3>;
  EXPECT_EQ(Chs(DiskGeometry(1000000, 63)), (Geometry{63, 15, 1024}));
  uint8_t mbr[512];
  BuildMbr(63, 1000000, DiskGeometry(1000000, 63), mbr);
  EXPECT_EQ(std::memcmp(mbr, kMbrProgram, 445), 0);
  const uint8_t entry[16] = {0x80, 1, 1, 0, 0x06, 14, 0xFF, 0xFF, 63, 0, 0, 0, 0x01, 0x42, 0x0F, 0x00};
  EXPECT_EQ(std::memcmp(mbr + 446, entry, 16), 0);  // 999,937 sectors = 0x000F4201
  EXPECT_TRUE(mbr[445] == 0 && mbr[510] == 0x55 && mbr[511] == 0xAA);
  // Disks under 1024 x 32 sectors get 0 heads.
  EXPECT_EQ(Chs(DiskGeometry(20000, 32))[1], 0u);
  EXPECT_EQ(Chs(DiskGeometry(20000, 32))[0], 32u);
  BuildMbr(32, 20000, DiskGeometry(20000, 32), mbr);
  EXPECT_EQ(mbr[446 + 5], 0xFF);
  EXPECT_EQ(mbr[446 + 6], 0xE0);  // sector 32, cylinder 1023

  // A bootable layout is read by CHS: 2 heads at least, over the cylinders the disk needs, so that the MBR's start
  // (head 1, sector 1) is one track in; larger disks keep the page's geometry.
  EXPECT_EQ(Chs(BootableDiskGeometry(20000, 32)), (Geometry{32, 2, 313}));  // 20,000 / 64 rounded up
  EXPECT_EQ(Chs(BootableDiskGeometry(100000, 63)), (Geometry{63, 2, 794})) << "1 head by the page's rule";
  EXPECT_EQ(Chs(BootableDiskGeometry(1000000, 63)), (Geometry{63, 15, 1024}));
  EXPECT_EQ(Chs(DiskGeometry(31, 0)), (Geometry{32, 1, 0}));
}

}  // namespace
