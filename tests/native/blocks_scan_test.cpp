// The block scan over the simulated disk and filter driver.
#include "blocks_fixture.h"

namespace {

constexpr FloppyKind k144 = FloppyKind::k1440K;

class BlockScanTest : public BlockDiskTest {};

TEST_F(BlockScanTest, ListsValidBlocksUpToTheFirstUnformattedOneFromTheirPhysicalSectors) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(5, k144);
  LayBlock(3, k144, "COMMAND COM", 0x20);
  LayBlock(6, k144, "FLPPY6");  // after the gap: never found
  ASSERT_EQ(SelectBlock("physicaldrive1", 4), 1);
  SimResetStats(1);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  ASSERT_EQ(scan.outcome, BlockScanOutcome::kScanned);
  EXPECT_EQ(SimStats(1).readCalls, 6u) << "one read per block: its DBR and first root sector together";
  EXPECT_EQ(scan.entries,
            (std::vector<std::string>{"FLPPY0", "FLPPY1", "FLPPY2", "3.????", "FLPPY4", "No.5:Unformatted"}));
  EXPECT_EQ(scan.validBlockCount, 5u);
  EXPECT_EQ(scan.status,
            "there is 5 floppy disk can be used after scanning.\r\n if you need to make floppy disk block again, "
            "please click <Batch format> button;\r\n if you need to formate the current floppy block, please select "
            "<single Disk format> button");
  EXPECT_EQ(scan.blockCountLabel, "Floppy block count:(<10)");
  // The block presented before the scan is presented again and current.
  EXPECT_EQ(SimFilter(1).presentedBlock, 4u);
  EXPECT_EQ(scan.currentEntry, 4);
  EXPECT_EQ(scan.identifier, "FLPPY4");
  // The same blocks scanned as 720K do not match.
  EXPECT_EQ(ScanFloppyBlocks(disk, FloppyKind::k720K).entries, (std::vector<std::string>{"No.0:Unformatted"}));
  // Nor does any block when the user typed into the kind box: no kind is chosen.
  EXPECT_EQ(ScanFloppyBlocks(disk, std::nullopt).entries, (std::vector<std::string>{"No.0:Unformatted"}));
}

TEST_F(BlockScanTest, APresentedBlockNoLongerListedGivesWayToTheLastListedOne) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(3, k144);
  LayBlock(7, k144, "FLPPY7");
  ASSERT_EQ(SelectBlock("physicaldrive1", 7), 1);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  ASSERT_EQ(scan.entries.size(), 4u);
  EXPECT_EQ(scan.currentEntry, 3);
  EXPECT_EQ(scan.blockNumber, 3u);
  EXPECT_EQ(scan.identifier, "No.3:Unformatted");
  EXPECT_EQ(SimFilter(1).presentedBlock, 3u);
}

TEST_F(BlockScanTest, AreaLimits) {
  // Room for 150 blocks: at most 100 are read.
  MakeStick(150 * 3072, 0, 150 * 3072);
  AttachDriver(k144);
  LayBlocks(100, k144);
  SimFailReadsFrom(1, 100 * 3072);  // block 100 would be listed as not accessed
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.entries.size(), 100u);
  EXPECT_EQ(scan.validBlockCount, 100u);
  EXPECT_EQ(scan.blockCountLabel, "Floppy block count:(<100)");

  // An area shorter than one block: an empty list, no current entry, block 0 presented.
  disk.partitionLength = 3071;
  scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.outcome, BlockScanOutcome::kScanned);
  EXPECT_TRUE(scan.entries.empty());
  EXPECT_EQ(scan.currentEntry, -1);
  EXPECT_EQ(scan.blockCount, 0u);
  EXPECT_EQ(scan.blockCountLabel, "Floppy block count:(<0)");
  EXPECT_EQ(scan.status.compare(0, 11, "there is 0 "), 0);
}

TEST_F(BlockScanTest, ReadFailuresEndTheListAtABootRecordButNotAtARootDirectory) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(6, k144);
  SimFailReadsFrom(1, BlockStart(2, k144) + 19);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.entries, (std::vector<std::string>{"FLPPY0", "FLPPY1", "2.????", "No.3:not accessed"}));
  EXPECT_EQ(scan.validBlockCount, 3u);
}

TEST_F(BlockScanTest, WithoutTheServiceOrTheDriverNothingIsRead) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlocks(2, k144);
  UiLanguage = Language::Chinese;
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.outcome, BlockScanOutcome::kServiceOff);
  EXPECT_EQ(scan.status, "提示：可移动盘1 Generic Flash Disk 没有启用软盘块功能,请先启用.");
  UiLanguage = Language::English;
  disk.serviceActive = true;  // the page believes the service is on, but no driver answers
  scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.outcome, BlockScanOutcome::kDriverRefused);
  EXPECT_EQ(scan.status, "Hint: Get disk.1Generic Flash Disk information failure(1).");
  EXPECT_EQ(SimStats(1).readCalls, 0u);
}

}  // namespace
