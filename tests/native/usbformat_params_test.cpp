// The general formatter's arithmetic: FAT sizing, the FAT type decision and its refusals, the default unit, the
// geometry and the MBR. Expected numbers were worked out independently of the code, by hand and with a short
// script of the published FAT formulas.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/texts.h"
#include "boot/boot_programs.h"
#include "fat/fat.h"
#include "pages/page_words.h"
#include "usbformat/usbformat.h"

namespace {

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

TEST(UsbFormatParams, LaysOutTheVolumeAndDecidesItsFatType) {
  struct Row {
    uint32_t sectors;
    uint32_t fats;
    uint32_t rootEntries;
    uint32_t volume;  // the sectors the volume keeps
    uint16_t perFat;
    uint32_t clusters;
    uint8_t kind;
  } rows[] = {
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
  for (const Row& r : rows) {
    SCOPED_TRACE(r.sectors);
    FormatDbr dbr;
    DbrDecision d = Build(r.sectors, Choice(512, r.fats, r.rootEntries), &dbr);
    ASSERT_EQ(d.refusal, Refusal::kNone);
    uint32_t total = GetLe16(dbr.bytes + bpb::kTotalSectors16) + GetLe32(dbr.bytes + bpb::kTotalSectors32);
    EXPECT_EQ(total, r.volume);
    EXPECT_EQ(GetLe16(dbr.bytes + bpb::kSectorsPerFat), r.perFat);
    EXPECT_EQ(d.clusters, r.clusters);
    EXPECT_EQ(d.fatKind, r.kind);
    EXPECT_EQ(dbr.bytes[bpb::kNumberOfFats], r.fats);
    EXPECT_EQ(GetLe16(dbr.bytes + bpb::kRootEntries), (r.rootEntries + 15) / 16 * 16) << "whole root sectors";
    EXPECT_EQ(FatTypeOfBootSector(dbr.bytes), r.kind) << "the record must read back as the type it was given";
    EXPECT_EQ(std::memcmp(dbr.bytes + bpb::kFileSystemType, r.kind == kFat12 ? "FAT12   " : "FAT16   ", 8), 0);
  }
  FormatDbr dbr;
  EXPECT_EQ(Build(66054, Choice(512), &dbr).refusal, Refusal::kTooManyClusters);  // 65,525 clusters
}

// Every volume the formatter accepts, over sizes around each cluster size's FAT12/FAT16 line, top of FAT16 and
// powers of two: a FAT entry for every cluster and the two reserved ones, a count on which every reader agrees,
// read back by the project's own reader as the type and clusters it was written with.
TEST(UsbFormatParams, EveryVolumeHasAWholeFatAndATypeEveryReaderAgreesOn) {
  int accepted = 0;
  for (uint32_t spc = 1; spc <= 128; spc *= 2)
    for (uint32_t fats = 1; fats <= 2; ++fats)
      for (uint32_t root : {16u, 224u, 512u}) {
        std::vector<uint32_t> sizes;
        for (uint32_t count : {4085u, 65525u})
          for (uint32_t s = count * spc - 80 * spc; s < count * spc + 80 * spc; s += spc / 4 + 1) sizes.push_back(s);
        for (uint32_t e = 11; e <= 22; ++e) sizes.push_back(1u << e);
        for (uint32_t sectors : sizes) {
          FormatDbr dbr;
          DbrDecision d = Build(sectors, Choice(512 * spc, fats, root), &dbr);
          if (d.refusal != Refusal::kNone) continue;
          ++accepted;
          FatLayout v;
          ASSERT_TRUE(ReadFatLayout(dbr.bytes, 0, &v)) << sectors << " sectors, " << spc << " per cluster";
          uint32_t entries = v.sectorsPerFat * (v.fat16 ? 256 : 341);
          EXPECT_GE(entries, d.clusters + 2) << sectors << " sectors, " << spc << " per cluster, " << fats << " FATs";
          // Microsoft's rule and Linux take 4,085 clusters for FAT16, FatFs and MS-DOS 3.3 for FAT12; FatFs takes
          // 65,525 for FAT16, Microsoft for FAT32.
          EXPECT_TRUE(d.clusters <= 4078 || (d.clusters >= 4096 && d.clusters <= 65518)) << sectors << " sectors";
          EXPECT_EQ(v.fat16, d.fatKind == kFat16) << sectors << " sectors, " << spc;
          EXPECT_EQ(v.lastCluster, d.clusters + 1) << sectors << " sectors, " << spc;
          EXPECT_LE(v.totalSectors, sectors);
        }
      }
  EXPECT_GT(accepted, 10000);
}

TEST(UsbFormatParams, PicksTheTotalFieldByTheVolumeSize) {
  FormatDbr small, large;
  Build(65535, Choice(1024), &small);
  Build(65536, Choice(1024), &large);
  EXPECT_EQ(GetLe16(small.bytes + bpb::kTotalSectors16), 65535);
  EXPECT_EQ(GetLe32(small.bytes + bpb::kTotalSectors32), 0u);
  EXPECT_EQ(GetLe16(large.bytes + bpb::kTotalSectors16), 0);
  EXPECT_EQ(GetLe32(large.bytes + bpb::kTotalSectors32), 65536u);
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
  EXPECT_EQ(std::memcmp(b + bpb::kBootProgram, kBootProgramDos71, 448), 0);
  EXPECT_EQ(b[510], 0x55);
  EXPECT_EQ(b[511], 0xAA);
  BuildFormatDbr(100000, 0, options, DiskGeometry(100000, 32), kDos622, &dbr);
  EXPECT_EQ(std::memcmp(b + bpb::kBootProgram, kBootProgramDos622, 448), 0);
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
  FormatDbr dbr;
  EXPECT_EQ(Build(100000, Choice(512, 0), &dbr).refusal, Refusal::kNoFatCount) << "never a volume with 0 FATs";
}

TEST(UsbFormatParams, SuggestsTheSmallestUnitThatFat16Holds) {
  // 132,115 sectors at 512 bytes: 513 sectors per FAT, DataSec 131,072, a multiple of 65,536. Half of DataSec in
  // 1,024-byte clusters is still 65,536 clusters (65,791 with the smaller FAT), so the first unit that fits is
  // 2,048 bytes.
  FormatDbr dbr;
  DbrDecision exact = Build(132115, Choice(512), &dbr);
  EXPECT_EQ(exact.refusal, Refusal::kTooManyClusters);
  EXPECT_EQ(exact.dataSectors, 131072u);
  EXPECT_EQ(exact.suggestedUnit, 2048u);
  EXPECT_EQ(Build(132115, Choice(1024), &dbr).refusal, Refusal::kTooManyClusters);
  EXPECT_EQ(Build(132115, Choice(2048), &dbr).refusal, Refusal::kNone);

  DbrDecision other = Build(132116, Choice(512), &dbr);
  EXPECT_EQ(other.dataSectors, 131073u);
  EXPECT_EQ(other.suggestedUnit, 2048u);

  RunOutcome outcome;
  outcome.suggestedUnit = 2048;
  outcome.dataSectorsMultiple = true;
  UiLanguage = Language::English;
  EXPECT_EQ(UnitSuggestionText(outcome), "The allocation unit is not less 2048");
  outcome.dataSectorsMultiple = false;
  EXPECT_EQ(UnitSuggestionText(outcome), "The allocation unit is not less2048");
  UiLanguage = Language::Chinese;
  EXPECT_EQ(UnitSuggestionText(outcome), "所选分配单元不能小于2048");
  UiLanguage = Language::English;
}

TEST(UsbFormatParams, RefusesVolumesThatNoUnitCanHoldOrThatHaveNoRoom) {
  FormatDbr dbr;
  EXPECT_EQ(Build(9000000, Choice(65536), &dbr).refusal, Refusal::kBeyondFat16);  // 70,308 clusters of 64 KiB
  EXPECT_EQ(Build(9000000, Choice(512), &dbr).refusal, Refusal::kBeyondFat16);
  // 16 root sectors, 2 FATs and the DBR need 19 sectors; 20 leave one cluster, 18 leave less than none.
  EXPECT_EQ(Build(20, Choice(512), &dbr).refusal, Refusal::kNone);
  EXPECT_EQ(Build(19, Choice(512), &dbr).refusal, Refusal::kNoDataArea);
  EXPECT_EQ(Build(18, Choice(512), &dbr).refusal, Refusal::kNoDataArea);
  EXPECT_EQ(Build(20, Choice(1024), &dbr).refusal, Refusal::kNoDataArea) << "one sector is no 2-sector cluster";
  EXPECT_EQ(Build(50, Choice(512), &dbr, 63).refusal, Refusal::kNoDataArea) << "an MBR larger than the disk";
}

TEST(UsbFormatParams, MinimumAllocationUnitFollowsTheTableAndStaysFormattable) {
  EXPECT_EQ(MinimumAllocationUnit(8483, 256), 512u);   // D = 8,400
  EXPECT_EQ(MinimumAllocationUnit(8484, 256), 1024u);  // D = 8,401
  EXPECT_EQ(MinimumAllocationUnit(0, 256), 65536u);    // no disk
  EXPECT_EQ(MinimumAllocationUnit(62500, 256), 2048u);
  // D = 260,943 is within the 2,048-byte row, but 2,048-byte clusters give this disk 65,617 of them.
  FormatDbr dbr;
  EXPECT_EQ(Build(263000, Choice(2048), &dbr).refusal, Refusal::kTooManyClusters);
  EXPECT_EQ(MinimumAllocationUnit(263000, 256), 4096u);
  EXPECT_EQ(Build(263000, Choice(4096), &dbr).refusal, Refusal::kNone);
}

TEST(UsbFormatParams, GeometryAndMbr) {
  FormatRecordFields big = DiskGeometry(1000000, 63);
  EXPECT_EQ(big.sectorsPerTrack, 63);
  EXPECT_EQ(big.heads, 15);
  EXPECT_EQ(big.cylinders, 1024);
  uint8_t mbr[512];
  BuildMbr(63, 1000000, big, mbr);
  EXPECT_EQ(std::memcmp(mbr, kMbrProgram, 445), 0);
  const uint8_t entry[16] = {0x80, 1, 1, 0, 0x06, 14, 0xFF, 0xFF, 63, 0, 0, 0, 0x01, 0x42, 0x0F, 0x00};
  EXPECT_EQ(std::memcmp(mbr + 446, entry, 16), 0);  // 999,937 sectors = 0x000F4201
  EXPECT_EQ(mbr[445], 0);
  EXPECT_EQ(mbr[510], 0x55);
  EXPECT_EQ(mbr[511], 0xAA);

  FormatRecordFields small = DiskGeometry(20000, 32);
  EXPECT_EQ(small.sectorsPerTrack, 32);
  EXPECT_EQ(small.heads, 0) << "disks under 1024 x 32 sectors get 0 heads";
  BuildMbr(32, 20000, small, mbr);
  EXPECT_EQ(mbr[446 + 5], 0xFF);
  EXPECT_EQ(mbr[446 + 6], 0xE0);  // sector 32, cylinder 1023

  // A bootable layout is read by CHS: 2 heads at least, over the cylinders the disk needs, so that the MBR's start
  // (head 1, sector 1) is one track in; larger disks keep the page's geometry.
  FormatRecordFields bootable = BootableDiskGeometry(20000, 32);
  EXPECT_EQ(bootable.sectorsPerTrack, 32);
  EXPECT_EQ(bootable.heads, 2);
  EXPECT_EQ(bootable.cylinders, 313);  // 20,000 / 64 rounded up
  EXPECT_EQ(BootableDiskGeometry(100000, 63).heads, 2) << "1 head by the page's rule";
  EXPECT_EQ(BootableDiskGeometry(100000, 63).cylinders, 794);
  FormatRecordFields bootableBig = BootableDiskGeometry(1000000, 63);
  EXPECT_EQ(bootableBig.heads, big.heads);
  EXPECT_EQ(bootableBig.cylinders, big.cylinders);

  FormatRecordFields tiny = DiskGeometry(31, 0);
  EXPECT_EQ(tiny.sectorsPerTrack, 32);
  EXPECT_EQ(tiny.heads, 1);
  EXPECT_EQ(tiny.cylinders, 0);
}

}  // namespace
