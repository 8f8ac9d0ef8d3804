#include <gtest/gtest.h>

#include <cstring>

#include "fat/fat.h"
#include "disk_fixture.h"

namespace {

TEST(FatTypeRule, TheClusterCountAloneDecides) {
  EXPECT_EQ(FatTypeOfBootSector(BootRecordWithClusters(4084).data()), kFat12);
  EXPECT_EQ(FatTypeOfBootSector(BootRecordWithClusters(4085).data()), kFat16);
  EXPECT_EQ(FatTypeOfBootSector(BootRecordWithClusters(65524).data()), kFat16);
  EXPECT_EQ(FatTypeOfBootSector(BootRecordWithClusters(65525).data()), kFat32);
  std::vector<uint8_t> labelledWrong = BootRecordWithClusters(100);
  std::memcpy(&labelledWrong[54], "FAT16   ", 8);
  EXPECT_EQ(FatTypeOfBootSector(labelledWrong.data()), kFat12);
}

TEST(FatTypeRule, UnsignedOrUnfinishedBootSectorsAreUnknown) {
  std::vector<uint8_t> zero(512, 0);
  EXPECT_EQ(FatTypeOfBootSector(zero.data()), kFatUnknown);
  std::vector<uint8_t> s = BootRecordWithClusters(1000);
  s[511] = 0;
  EXPECT_EQ(FatTypeOfBootSector(s.data()), kFatUnknown);
  s = BootRecordWithClusters(1000);
  s[bpb::kSectorsPerCluster] = 0;
  EXPECT_EQ(FatTypeOfBootSector(s.data()), kFatUnknown);
}

TEST(FatTimeStamps, PackTimeAndDate) {
  SysTime t{};
  t.year = 2026, t.month = 12, t.day = 5, t.hour = 14, t.minute = 37, t.second = 59;
  EXPECT_EQ(FatTime(t), 29885);
  EXPECT_EQ(FatDate(t), 23941);
  t.year = 2009, t.month = 5, t.day = 3, t.hour = 14, t.minute = 35, t.second = 47;
  EXPECT_EQ(FatTime(t), 0x7477);
  EXPECT_EQ(FatDate(t), 0x3AA3);
}

}  // namespace
