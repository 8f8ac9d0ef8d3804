#include <gtest/gtest.h>

#include <cstring>

#include "disk/bpb.h"

namespace {

// A boot sector with 1 sector per cluster, 1 reserved sector, 2 FATs of 32 sectors and 512 root entries (32
// sectors): clusters = total - 97.
std::vector<uint8_t> BootSector(uint32_t clusters) {
  std::vector<uint8_t> s(512, 0);
  PutLe16(&s[bpb::kBytesPerSector], 512);
  s[bpb::kSectorsPerCluster] = 1;
  PutLe16(&s[bpb::kReservedSectors], 1);
  s[bpb::kNumberOfFats] = 2;
  PutLe16(&s[bpb::kRootEntries], 512);
  PutLe16(&s[bpb::kSectorsPerFat], 32);
  uint32_t total = clusters + 97;
  if (total < 65536) PutLe16(&s[bpb::kTotalSectors16], static_cast<uint16_t>(total));
  else PutLe32(&s[bpb::kTotalSectors32], total);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

TEST(FatTypeRule, TheClusterCountAloneDecides) {
  EXPECT_EQ(FatTypeOfBootSector(BootSector(4084).data()), kFat12);
  EXPECT_EQ(FatTypeOfBootSector(BootSector(4085).data()), kFat16);
  EXPECT_EQ(FatTypeOfBootSector(BootSector(65524).data()), kFat16);
  EXPECT_EQ(FatTypeOfBootSector(BootSector(65525).data()), kFat32);
  std::vector<uint8_t> labelledWrong = BootSector(100);
  std::memcpy(&labelledWrong[54], "FAT16   ", 8);
  EXPECT_EQ(FatTypeOfBootSector(labelledWrong.data()), kFat12);
}

TEST(FatTypeRule, UnsignedOrUnfinishedBootSectorsAreUnknown) {
  std::vector<uint8_t> zero(512, 0);
  EXPECT_EQ(FatTypeOfBootSector(zero.data()), kFatUnknown);
  std::vector<uint8_t> s = BootSector(1000);
  s[511] = 0;
  EXPECT_EQ(FatTypeOfBootSector(s.data()), kFatUnknown);
  s = BootSector(1000);
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
