// The block scan over the simulated disk and filter driver: which entries, how many valid blocks, which block stays
// presented, and the texts the page shows.
#include "blocks_fixture.h"

namespace {

constexpr int k144 = kKindIndex1440K;

class BlockScanTest : public BlockDiskTest {};

TEST_F(BlockScanTest, ValidBlocksUpToTheFirstUnformattedOneAreListedAndCounted) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(5, k144);
  LayBlock(3, k144, "COMMAND COM", 0x20);  // a file first in block 3's root
  LayBlock(6, k144, "FLPPY6");             // valid, but after the gap: never found
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  ASSERT_EQ(scan.outcome, BlockScanOutcome::kScanned);
  EXPECT_EQ(scan.entries,
            (std::vector<std::string>{"FLPPY0", "FLPPY1", "FLPPY2", "3.????", "FLPPY4", "No.5:Unformatted"}));
  EXPECT_EQ(scan.validBlockCount, 5u);
  EXPECT_EQ(scan.status,
            "there is 5 floppy disk can be used after scanning.\r\n if you need to make floppy disk block again, "
            "please click <Batch format> button;\r\n if you need to formate the current floppy block, please select "
            "<single Disk format> button");
  EXPECT_EQ(scan.blockCount, 10u);
  EXPECT_EQ(scan.blockCountLabel, "Floppy block count:(<10)");
  EXPECT_EQ(scan.currentEntry, 0);
  EXPECT_EQ(scan.identifier, "FLPPY0");
}

TEST_F(BlockScanTest, BlocksAreReadAtTheirPhysicalSectorsWhateverBlockIsPresented) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(6, k144);
  ASSERT_EQ(SelectBlock("physicaldrive1", 4), 1);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.validBlockCount, 6u);
  EXPECT_EQ(scan.entries.back(), "No.6:Unformatted");
  // The block presented before the scan is presented again, and is the current entry.
  EXPECT_EQ(SimFilter(1).presentedBlock, 4u);
  EXPECT_EQ(scan.currentEntry, 4);
  EXPECT_EQ(scan.blockNumber, 4u);
  EXPECT_EQ(scan.identifier, "FLPPY4");
}

TEST_F(BlockScanTest, APresentedBlockNoLongerListedGivesWayToTheLastListedOne) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(8, k144);
  ASSERT_EQ(SelectBlock("physicaldrive1", 7), 1);
  LayBlock(3, k144, nullptr);  // block 3 keeps its DBR with an empty root...
  SimWriteRaw(1, BlockStart(3, k144), std::vector<uint8_t>(512, 0));  // ...then loses it: list ends at block 3
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  ASSERT_EQ(scan.entries.size(), 4u);
  EXPECT_EQ(scan.entries[3], "No.3:Unformatted");
  EXPECT_EQ(scan.currentEntry, 3);
  EXPECT_EQ(scan.blockNumber, 3u);
  EXPECT_EQ(scan.identifier, "No.3:Unformatted");
  EXPECT_EQ(SimFilter(1).presentedBlock, 3u);
}

TEST_F(BlockScanTest, AtMostOneHundredBlocksAreRead) {
  MakeStick(150 * 3072, 0, 150 * 3072);
  AttachDriver(k144);
  LayBlocks(100, k144);
  SimFailReadsFrom(1, 100 * 3072);  // block 100 would show up as not accessed if it were read
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.entries.size(), 100u);
  EXPECT_EQ(scan.entries[99], "FLPPY99");
  EXPECT_EQ(scan.validBlockCount, 100u);
  EXPECT_EQ(scan.blockCount, 100u);
  EXPECT_EQ(scan.blockCountLabel, "Floppy block count:(<100)");
}

TEST_F(BlockScanTest, ABlockAreaShorterThanOneBlockGivesAnEmptyListWithBlockZeroPresented) {
  MakeStick(63 + 4000, 63, 3071);
  AttachDriver(k144);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  ASSERT_EQ(scan.outcome, BlockScanOutcome::kScanned);
  EXPECT_TRUE(scan.entries.empty());
  EXPECT_EQ(scan.currentEntry, -1);
  EXPECT_EQ(scan.blockNumber, 0u);
  EXPECT_EQ(scan.identifier, "");
  EXPECT_EQ(scan.blockCount, 0u);
  EXPECT_EQ(scan.blockCountLabel, "Floppy block count:(<0)");
  EXPECT_EQ(scan.status.substr(0, 9), "there is ");
  EXPECT_EQ(scan.status[9], '0');
  EXPECT_EQ(SimFilter(1).presentedBlock, 0u);
}

TEST_F(BlockScanTest, BlocksOfAnotherKindAreUnformatted) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(3, k144);
  BlockScan scan = ScanFloppyBlocks(disk, kKindIndex720K);
  EXPECT_EQ(scan.entries, (std::vector<std::string>{"No.0:Unformatted"}));
  EXPECT_EQ(scan.validBlockCount, 0u);
  EXPECT_EQ(ScanFloppyBlocks(disk, kKindIndexNone).entries, (std::vector<std::string>{"No.0:Unformatted"}));
}

TEST_F(BlockScanTest, ReadFailuresEndTheListAtABootRecordButNotAtARootDirectory) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(6, k144);
  // Reads fail from block 2's root directory on: block 2 is valid with an unknown identifier, block 3 unreadable.
  SimFailReadsFrom(1, BlockStart(2, k144) + 19);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.entries, (std::vector<std::string>{"FLPPY0", "FLPPY1", "2.????", "No.3:not accessed"}));
  EXPECT_EQ(scan.validBlockCount, 3u);
}

TEST_F(BlockScanTest, WithoutTheServiceOrTheDriverNothingIsReadAndTheHintSaysWhy) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlocks(2, k144);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.outcome, BlockScanOutcome::kServiceOff);
  EXPECT_EQ(scan.status, "Hint：Please first start Disk1 Generic Flash Disk  block service.");
  EXPECT_TRUE(scan.entries.empty());
  EXPECT_EQ(SimStats(1).readCalls, 0u);
  UiLanguage = Language::Chinese;
  EXPECT_EQ(ScanFloppyBlocks(disk, k144).status, "提示：可移动盘1 Generic Flash Disk 没有启用软盘块功能,请先启用.");

  // The page believes the service is on, but the driver is gone: it cannot present block 0.
  UiLanguage = Language::English;
  disk.serviceActive = true;
  scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.outcome, BlockScanOutcome::kDriverRefused);
  EXPECT_EQ(scan.status, "Hint：Get disk.1Generic Flash Disk information failure(1).");
  EXPECT_EQ(SimStats(1).readCalls, 0u);
}

TEST_F(BlockScanTest, ADiskThatCannotBeOpenedListsNothing) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlocks(2, k144);
  EXPECT_EQ(ReadBlockList("physicaldrive1", 0, 10 * 3072, k144).entries.size(), 3u);
  SimFailOpen(1, kSysErrorSharingViolation);
  BlockList list = ReadBlockList("physicaldrive1", 0, 10 * 3072, k144);
  EXPECT_TRUE(list.entries.empty());
  EXPECT_EQ(list.validBlockCount, 0u);
}

}  // namespace
