// The arithmetic and texts of the floppy block layout, the identifier bytes, the busy indicator's sequence and the
// previous/next decisions: everything of the block manager that needs no disk.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/texts.h"
#include "blocks/blocks.h"

namespace {

TEST(BlockLayout, KindIndexDecidesBlockSizeImageSizeAndRootSector) {
  struct Case {
    int kindIndex;
    uint32_t blockSectors, imageSectors, rootSector;
    FloppyKind kind;
  } cases[] = {
      {kKindIndex720K, 2048, 1440, 7, FloppyKind::k720K},
      {kKindIndex1200K, 3072, 2400, 15, FloppyKind::k1200K},
      {kKindIndex1440K, 3072, 2880, 19, FloppyKind::k1440K},
      // No selection: 1.5 MiB blocks written as 1.44M, but no boot record counts as valid.
      {kKindIndexNone, 3072, 0, 19, FloppyKind::k1440K},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BlockSectors(c.kindIndex), c.blockSectors) << c.kindIndex;
    EXPECT_EQ(BlockImageSectors(c.kindIndex), c.imageSectors) << c.kindIndex;
    EXPECT_EQ(BlockRootDirSector(c.kindIndex), c.rootSector) << c.kindIndex;
    EXPECT_EQ(BlockFloppyKind(c.kindIndex), c.kind) << c.kindIndex;
  }
}

TEST(BlockLayout, BlockCountIsCappedAtOneHundredAndUsesTheLowLengthBits) {
  EXPECT_EQ(FloppyBlockCount(3071, kKindIndex1440K), 0u);  // shorter than one block
  EXPECT_EQ(FloppyBlockCount(3072 * 5 + 3071, kKindIndex1440K), 5u);
  EXPECT_EQ(FloppyBlockCount(150 * 3072, kKindIndex1440K), 100u);
  EXPECT_EQ(FloppyBlockCount(150 * 3072, kKindIndex720K), 100u);
  EXPECT_EQ(FloppyBlockCount(2048 * 7, kKindIndex720K), 7u);
  EXPECT_EQ(FloppyBlockCount((uint64_t{1} << 32) + 3072 * 5, kKindIndex1440K), 5u);
  EXPECT_EQ(FloppyBlocksThatFit(150 * 3072, kKindIndex1440K), 150u);  // the next button's limit is not capped
}

TEST(BlockLayout, BlockStartsNeverWrapRoundTheSectorNumbers) {
  uint32_t sector = 0;
  ASSERT_TRUE(FloppyBlockStart(63, 4, kKindIndex1440K, &sector));
  EXPECT_EQ(sector, 63u + 4 * 3072);
  ASSERT_TRUE(FloppyBlockStart(0, 99, kKindIndex720K, &sector));
  EXPECT_EQ(sector, 99u * 2048);
  EXPECT_FALSE(FloppyBlockStart(UINT32_MAX - 3071, 1, kKindIndex1440K, &sector));
  EXPECT_FALSE(FloppyBlockStart(uint64_t{1} << 32, 0, kKindIndex1440K, &sector));
}

uint8_t* BootRecord(uint8_t* sector, uint16_t totalSectors, bool signature = true) {
  std::memset(sector, 0, 512);
  sector[19] = static_cast<uint8_t>(totalSectors);
  sector[20] = static_cast<uint8_t>(totalSectors >> 8);
  if (signature) {
    sector[510] = 0x55;
    sector[511] = 0xAA;
  }
  return sector;
}

TEST(BlockLayout, OnlyTheSignatureAndTheTotalSectorsOfTheChosenKindMakeABlockValid) {
  uint8_t sector[512];
  EXPECT_TRUE(IsValidBlockBootRecord(BootRecord(sector, 2880), kKindIndex1440K));
  EXPECT_FALSE(IsValidBlockBootRecord(BootRecord(sector, 2880), kKindIndex720K));
  EXPECT_FALSE(IsValidBlockBootRecord(BootRecord(sector, 2880), kKindIndexNone));
  EXPECT_FALSE(IsValidBlockBootRecord(BootRecord(sector, 2880, false), kKindIndex1440K));
  EXPECT_TRUE(IsValidBlockBootRecord(BootRecord(sector, 2400), kKindIndex1200K));
  EXPECT_TRUE(IsValidBlockBootRecord(BootRecord(sector, 1440), kKindIndex720K));
  EXPECT_FALSE(IsValidBlockBootRecord(BootRecord(sector, 0), kKindIndexNone));

  BootRecord(sector, 2880);
  sector[14] = 1;   // reserved
  sector[16] = 2;   // FATs
  sector[22] = 9;   // sectors per FAT
  EXPECT_EQ(RootDirOffsetOf(sector), 19u);
  sector[14] = 4;
  sector[16] = 1;
  sector[22] = 0x01;
  sector[23] = 0x01;  // 257 sectors per FAT
  EXPECT_EQ(RootDirOffsetOf(sector), 261u);
}

std::string EntryOf(uint32_t block, const char name[11], uint8_t attributes, const char* after = "") {
  uint8_t root[512] = {};
  std::memcpy(root, name, 11);
  root[11] = attributes;
  std::memcpy(root + 12, after, std::strlen(after));
  return ValidBlockEntryText(block, root);
}

TEST(BlockLayout, EntryTextIsTheLabelNameUpToItsFirstZeroByte) {
  EXPECT_EQ(EntryOf(12, "FLPPY12\0\0\0", 0x08), "FLPPY12");
  // A renamed label: the identifier, a zero byte, spaces, then the old bytes 8 to 10.
  EXPECT_EQ(EntryOf(0, "DATA\0   \0\0", 0x08), "DATA");
  // Eight characters leave no zero in bytes 0 to 7: the old bytes 8 to 10 show up to their first zero.
  EXPECT_EQ(EntryOf(0, "ABCDEFGH2\0\0", 0x08), "ABCDEFGH2");
  // An 11-character name with no zero ends with its field; the attribute byte and what follows are not shown,
  // nor are the padding spaces of labels that other tools wrote.
  EXPECT_EQ(EntryOf(0, "ELEVENCHARS", 0x08, "XYZ"), "ELEVENCHARS");
  EXPECT_EQ(EntryOf(0, "MYDISK     ", 0x08), "MYDISK");
  // The first root entry is a file, or the root is empty.
  EXPECT_EQ(EntryOf(3, "COMMAND COM", 0x20), "3.????");
  EXPECT_EQ(EntryOf(0, "\0\0\0\0\0\0\0\0\0\0\0", 0x00), "0.????");
  EXPECT_EQ(UnformattedEntryText(5), "No.5:Unformatted");
  EXPECT_EQ(NotAccessedEntryText(2), "No.2:not accessed");
}

TEST(BlockLayout, IdentifierNameIsTheTextThenAZeroThenSpaces) {
  uint8_t name[8];
  MakeIdentifierName("DATA", name);
  EXPECT_EQ(std::memcmp(name, "DATA\0   ", 8), 0);
  MakeIdentifierName("ABCDEFGH", name);
  EXPECT_EQ(std::memcmp(name, "ABCDEFGH", 8), 0);
  MakeIdentifierName("ABCDEFGHIJ", name);  // never more than 8 bytes
  EXPECT_EQ(std::memcmp(name, "ABCDEFGH", 8), 0);
  MakeIdentifierName("", name);
  EXPECT_EQ(std::memcmp(name, "\0       ", 8), 0);
}

TEST(BlockLayout, BusyIndicatorFramesOneSquareAfterAnotherAndStartsAgain) {
  uint32_t tick = 0;
  std::string order;
  for (int i = 0; i < 10; ++i) order += static_cast<char>('0' + NextBusySquare(&tick));
  EXPECT_EQ(order, "0123456701");
  tick = 1000;  // a counter left beyond the squares starts at the first
  EXPECT_EQ(NextBusySquare(&tick), 0);
  EXPECT_EQ(tick, 1u);
}

TEST(BlockLayout, ConfigurationBoundsTheBlockAreaAndRefusesAnEmptyOne) {
  BlockDisk disk;
  disk.partitionStart = 63;
  disk.partitionLength = 300000;
  BlockConfiguration config{};
  ASSERT_TRUE(MakeBlockConfiguration(disk, kBlockModeHidden, kKindIndex720K, &config));
  EXPECT_EQ(config.mode, 1u);
  EXPECT_EQ(config.sectorsPerBlock, 2048u);
  EXPECT_EQ(config.firstSector, 63u);
  EXPECT_EQ(config.endSector, 300063u);
  disk.partitionLength = 0;
  EXPECT_FALSE(MakeBlockConfiguration(disk, kBlockModeInUse, kKindIndex1440K, &config));
  disk.partitionStart = 0xFFFFFF00u;  // the 32-bit end wraps below the start
  disk.partitionLength = 0x200;
  EXPECT_FALSE(MakeBlockConfiguration(disk, kBlockModeInUse, kKindIndex1440K, &config));
}

class BlockSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    UiLanguage = Language::English;
    disk.serviceActive = true;
    disk.partitionLength = 150 * 3072;
  }
  void TearDown() override { UiLanguage = Language::English; }
  BlockDisk disk;
};

TEST_F(BlockSteps, PreviousStepsBackAndDoesNothingOnBlockZero) {
  BlockStep step = PreviousBlockStep(&disk, 4);
  EXPECT_EQ(step.action, BlockStep::kGoTo);
  EXPECT_EQ(step.block, 3u);
  EXPECT_EQ(PreviousBlockStep(&disk, 0).action, BlockStep::kNothing);
}

TEST_F(BlockSteps, NextStopsAtTheBlocksThatFitAndNamesTheirFullCount) {
  BlockStep step = NextBlockStep(&disk, 98, kKindIndex1440K);
  EXPECT_EQ(step.action, BlockStep::kGoTo);
  EXPECT_EQ(step.block, 99u);
  step = NextBlockStep(&disk, 99, kKindIndex1440K);
  ASSERT_EQ(step.action, BlockStep::kNotice);
  EXPECT_EQ(step.notice.text,
            "The index of block is slopped over.\r\nthere is only 150 blocks floppy disk block in current USB disk");
  EXPECT_EQ(step.notice.caption, "Plover hint");
  EXPECT_FALSE(step.notice.information);
  disk.partitionLength = 3 * 3072;
  EXPECT_EQ(NextBlockStep(&disk, 1, kKindIndex1440K).action, BlockStep::kGoTo);
  EXPECT_EQ(NextBlockStep(&disk, 2, kKindIndex1440K).action, BlockStep::kNotice);
}

TEST_F(BlockSteps, StepsNeedADiskWithTheServiceOnAndSayWhichIsMissing) {
  EXPECT_EQ(PreviousBlockStep(nullptr, 3).notice.text, "Please select a usb disk.");
  EXPECT_EQ(NextBlockStep(nullptr, 3, kKindIndex1440K).notice.text, "Please select a usb disk.");
  disk.serviceActive = false;
  EXPECT_EQ(PreviousBlockStep(&disk, 3).notice.text, "Please first start multi-floppy service.");
  EXPECT_EQ(NextBlockStep(&disk, 3, kKindIndex1440K).notice.text, "Please start multi-floppy service.");
  UiLanguage = Language::Chinese;
  BlockStep step = NextBlockStep(&disk, 3, kKindIndex1440K);
  EXPECT_EQ(step.notice.text, "请先启用U盘软盘块功能.");
  EXPECT_EQ(step.notice.caption, "Plover hint");
}

}  // namespace
