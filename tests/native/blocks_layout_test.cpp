// What of the block manager needs no disk: entry texts, sector arithmetic at its limits and the step decisions.
#include <gtest/gtest.h>

#include <cstring>

#include "blocks/blocks.h"

namespace {

std::string EntryOf(uint32_t block, const char name[11], uint8_t attributes) {
  uint8_t root[512] = {};
  std::memcpy(root, name, 11);
  root[11] = attributes;
  std::memcpy(root + 12, "XYZ", 3);  // whatever follows the attribute byte is no part of the name
  return ValidBlockEntryText(block, root);
}

TEST(BlockLayout, EntryTextIsTheLabelNameUpToItsFirstZeroByte) {
  EXPECT_EQ(EntryOf(12, "FLPPY12\0\0\0", 0x08), "FLPPY12");
  EXPECT_EQ(EntryOf(0, "ABCDEFGH2\0\0", 0x08), "ABCDEFGH2");  // an 8-character rename runs into the old bytes
  EXPECT_EQ(EntryOf(0, "ELEVENCHARS", 0x08), "ELEVENCHARS");
  EXPECT_EQ(EntryOf(0, "MYDISK     ", 0x08), "MYDISK");  // space-padded labels of other tools
  EXPECT_EQ(EntryOf(3, "COMMAND COM", 0x20), "3.????");
}

TEST(BlockLayout, SectorNumbersNeverWrapRoundToTheStartOfTheDisk) {
  uint32_t sector = 0;
  ASSERT_TRUE(FloppyBlockStart(63, 99, FloppyKind::k720K, &sector));
  EXPECT_EQ(sector, 63u + 99 * 2048);
  EXPECT_FALSE(FloppyBlockStart(UINT32_MAX - 3071, 1, FloppyKind::k1440K, &sector));
  EXPECT_EQ(FloppyBlockCount((uint64_t{1} << 32) + 3072 * 5, FloppyKind::k1440K), 5u);  // low 32 bits of the length
  BlockDisk disk;
  disk.partitionStart = 0xFFFFFF00u;
  disk.partitionLength = 0x200;  // the end sector wraps below the start: nothing is sent
  BlockConfiguration config{};
  EXPECT_FALSE(MakeBlockConfiguration(disk, kBlockModeInUse, FloppyKind::k1440K, &config));
}

TEST(BlockLayout, PreviousAndNextStopAtTheEndsOfTheArea) {
  BlockDisk disk;
  disk.serviceActive = true;
  disk.partitionLength = 150 * 3072;
  EXPECT_EQ(PreviousBlockStep(&disk, 0).action, BlockStep::kNothing);
  EXPECT_EQ(PreviousBlockStep(&disk, 4).block, 3u);
  EXPECT_EQ(NextBlockStep(&disk, 98, FloppyKind::k1440K).block, 99u);
  BlockStep step = NextBlockStep(&disk, 99, FloppyKind::k1440K);
  ASSERT_EQ(step.action, BlockStep::kNotice);
  EXPECT_EQ(step.notice.text,
            "The index of block is slopped over.\r\nthere is only 150 blocks floppy disk block in current USB disk");
  disk.serviceActive = false;
  EXPECT_EQ(PreviousBlockStep(&disk, 3).notice.text, "Please first start multi-floppy service.");
  EXPECT_EQ(NextBlockStep(&disk, 3, FloppyKind::k1440K).notice.text, "Please start multi-floppy service.");
  EXPECT_EQ(NextBlockStep(nullptr, 3, FloppyKind::k1440K).notice.text, "Please select a usb disk.");
}

}  // namespace
