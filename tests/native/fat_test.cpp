#include <gtest/gtest.h>

#include <cstring>

#include "fat/fat.h"
#include "disk_fixture.h"

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
  EXPECT_FALSE(v.fat16);
  EXPECT_EQ(v.firstFat, 101u);
  EXPECT_EQ(v.rootSector, 165u);
  EXPECT_EQ(v.firstData, 197u);
  EXPECT_EQ(v.lastCluster, 1001u) << "1000 data clusters: 2 .. 1001";
  EXPECT_EQ(v.ClusterSector(3), 198u);

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
  EXPECT_EQ(fat[3], 0xBC);
  EXPECT_EQ(fat[4], 0x3A);
  EXPECT_EQ(fat[5], 0x12);
  SetFatEntry(fat.data(), false, 3, 0x000);  // freeing one entry leaves both neighbours
  SetFatEntry(fat.data(), false, 4, 0xF0F);
  const uint32_t after[] = {0xABC, 0, 0xF0F, 0x456, 0x789};
  for (uint32_t c = 2; c < 7; ++c) EXPECT_EQ(GetFatEntry(fat.data(), false, c), after[c - 2]) << c;
  SetFatEntry(fat.data(), true, 5, 0xFFF8);
  EXPECT_EQ(fat[10], 0xF8);
  EXPECT_EQ(fat[11], 0xFF);
  EXPECT_EQ(GetFatEntry(fat.data(), true, 5), 0xFFF8u);
}

TEST(FatTimeStamps, PackTimeAndDate) {
  const SysTime t{2009, 5, 0, 3, 14, 35, 47, 0};
  EXPECT_EQ(FatTime(t), 0x7477);
  EXPECT_EQ(FatDate(t), 0x3AA3);
}

}  // namespace
