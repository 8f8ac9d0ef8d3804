// The block manager: entry texts and sector arithmetic, the scan, the switch of the presented block and the rename
// of a block's identifier, over the simulated disk and filter driver.
#include "blocks_fixture.h"
#include "pages/page_words.h"

namespace {

constexpr FloppyKind k144 = FloppyKind::k1440K;
constexpr SysTime kNow{2026, 12, 6, 5, 14, 37, 59, 0};  // 5 December 2026, 14:37:59
using Entries = std::vector<std::string>;

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
  EXPECT_FALSE(FloppyBlockStart(UINT32_MAX - 3071, 1, k144, &sector));
  EXPECT_EQ(FloppyBlockCount((uint64_t{1} << 32) + 3072 * 5, k144), 5u);  // low 32 bits of the length
  BlockDisk disk;
  disk.partitionStart = 0xFFFFFF00u;
  disk.partitionLength = 0x200;  // the end sector wraps below the start: nothing is sent
  BlockConfiguration config{};
  EXPECT_FALSE(MakeBlockConfiguration(disk, kBlockModeInUse, k144, &config));
}

TEST(BlockLayout, PreviousAndNextStopAtTheEndsOfTheArea) {
  BlockDisk disk;
  disk.serviceActive = true;
  disk.partitionLength = 150 * 3072;
  EXPECT_EQ(PreviousBlockStep(&disk, 0).action, BlockStep::kNothing);
  EXPECT_EQ(PreviousBlockStep(&disk, 4).block, 3u);
  EXPECT_EQ(NextBlockStep(&disk, 98, k144).block, 99u);
  BlockStep step = NextBlockStep(&disk, 99, k144);
  ASSERT_EQ(step.action, BlockStep::kNotice);
  EXPECT_EQ(BlockStepNotice(step).text,
            "The index of block is slopped over.\r\nthere is only 150 blocks floppy disk block in current USB disk");
  disk.serviceActive = false;
  EXPECT_EQ(BlockStepNotice(PreviousBlockStep(&disk, 3)).text, "Please first start multi-floppy service.");
  EXPECT_EQ(BlockStepNotice(NextBlockStep(&disk, 3, k144)).text, "Please start multi-floppy service.");
  EXPECT_EQ(BlockStepNotice(NextBlockStep(nullptr, 3, k144)).text, "Please select a usb disk.");
}

// An exported image's file name: the block number, then of its label letters, digits, "-" and "_".
TEST(BlockLayout, ImageFileNamesKeepTheLabelsLettersDigitsDashesAndUnderscores) {
  std::vector<uint8_t> image(2880 * 512, 0);
  BuildFloppyDbr(k144, "", kDosNone, image.data());
  EXPECT_EQ(BlockImageFileName(7, image), "007.img");
  image[19 * 512 + 11] = 0x08;
  for (auto [label, name] : {std::pair("@AZ[`az{/9:", "012-_AZ__az__9_.img"), {"0-_.\x81 \0\0\0\0\0", "012-0-___.img"},
                             {"A          ", "012-A.img"}}) {
    std::memcpy(&image[19 * 512], label, 11);
    EXPECT_EQ(BlockImageFileName(12, image), name) << label;
  }
}

class BlockTest : public BlockDiskTest {
 protected:
  // A stick of 10 blocks at `start` with the driver attached and `count` blocks laid.
  void Blocks(uint32_t count, uint32_t start = 0, FloppyKind told = k144) {
    MakeStick(start + 10 * 3072, start, 10 * 3072);
    AttachDriver(told);
    LayBlocks(count, k144);
  }
};

TEST_F(BlockTest, ScanListsValidBlocksUpToTheFirstUnformattedOneFromTheirPhysicalSectors) {
  Blocks(5, 63);
  LayBlock(3, k144, "COMMAND COM", 0x20);
  LayBlock(6, k144, "FLPPY6");  // after the gap: never found
  ASSERT_EQ(SelectBlock("physicaldrive1", 4), 1);
  SimResetStats(1);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  ASSERT_EQ(scan.outcome, BlockScanOutcome::kScanned);
  EXPECT_EQ(SimStats(1).readCalls, 6u) << "one read per block: its DBR and first root sector together";
  EXPECT_EQ(scan.entries, (Entries{"FLPPY0", "FLPPY1", "FLPPY2", "3.????", "FLPPY4", "No.5:Unformatted"}));
  EXPECT_EQ(scan.validBlockCount, 5u);
  EXPECT_EQ(BlockScanStatus(scan, disk),
            "there is 5 floppy disk can be used after scanning.\r\n if you need to make floppy disk block again, "
            "please click <Batch format> button;\r\n if you need to formate the current floppy block, please select "
            "<single Disk format> button");
  EXPECT_EQ(BlockCountLabel(scan), "Floppy block count:(<10)");
  // The block presented before the scan is presented again and current.
  EXPECT_EQ(std::make_tuple(SimFilter(1).presentedBlock, scan.currentEntry, scan.identifier), std::make_tuple(4u, 4, "FLPPY4"));
  // The same blocks scanned as 720K do not match, nor any block when the user typed into the kind box.
  EXPECT_EQ(ScanFloppyBlocks(disk, FloppyKind::k720K).entries, Entries{"No.0:Unformatted"});
  EXPECT_EQ(ScanFloppyBlocks(disk, std::nullopt).entries, Entries{"No.0:Unformatted"});
}

TEST_F(BlockTest, ScanOfAPresentedBlockNoLongerListedGivesWayToTheLastListedOne) {
  Blocks(3);
  LayBlock(7, k144, "FLPPY7");
  ASSERT_EQ(SelectBlock("physicaldrive1", 7), 1);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  ASSERT_EQ(scan.entries.size(), 4u);
  EXPECT_EQ(std::make_tuple(scan.currentEntry, scan.blockNumber, scan.identifier, SimFilter(1).presentedBlock),
            std::make_tuple(3, 3u, "No.3:Unformatted", 3u));
}

TEST_F(BlockTest, ScanAreaLimits) {
  // Room for 150 blocks: at most 100 are read.
  MakeStick(150 * 3072, 0, 150 * 3072);
  AttachDriver(k144);
  LayBlocks(100, k144);
  SimFailReadsFrom(1, 100 * 3072);  // block 100 would be listed as not accessed
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(std::make_tuple(scan.validBlockCount, BlockCountLabel(scan)),
            std::make_tuple(100u, "Floppy block count:(<100)"));
  EXPECT_EQ(scan.entries.size(), 100u);

  // An area shorter than one block: an empty list, no current entry, block 0 presented.
  disk.partitionLength = 3071;
  scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(std::make_tuple(scan.outcome, scan.currentEntry, scan.blockCount, BlockCountLabel(scan)),
            std::make_tuple(BlockScanOutcome::kScanned, -1, 0u, "Floppy block count:(<0)"));
  EXPECT_TRUE(scan.entries.empty());
  EXPECT_EQ(BlockScanStatus(scan, disk).compare(0, 11, "there is 0 "), 0);
}

TEST_F(BlockTest, ScanReadFailuresEndTheListAtABootRecordButNotAtARootDirectory) {
  Blocks(6);
  SimFailReadsFrom(1, BlockStart(2, k144) + 19);
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.entries, (Entries{"FLPPY0", "FLPPY1", "2.????", "No.3:not accessed"}));
  EXPECT_EQ(scan.validBlockCount, 3u);
}

TEST_F(BlockTest, ScanWithoutTheServiceOrTheDriverReadsNothing) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlocks(2, k144);
  UiLanguage = Language::Chinese;
  BlockScan scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.outcome, BlockScanOutcome::kServiceOff);
  EXPECT_EQ(BlockScanStatus(scan, disk), "提示：可移动盘1 Generic Flash Disk 没有启用软盘块功能,请先启用.");
  UiLanguage = Language::English;
  disk.serviceActive = true;  // the page believes the service is on, but no driver answers
  scan = ScanFloppyBlocks(disk, k144);
  EXPECT_EQ(scan.outcome, BlockScanOutcome::kDriverRefused);
  EXPECT_EQ(BlockScanStatus(scan, disk), "Hint: Get disk.1Generic Flash Disk information failure(1).");
  EXPECT_EQ(SimStats(1).readCalls, 0u);
}

TEST_F(BlockTest, RenamingChangesOnlyTheLabelNameAndTimeInTheKindsRootSector) {
  for (FloppyKind kind : {k144, FloppyKind::k1200K, FloppyKind::k720K}) {
    const uint32_t root = FirstRootSector(kind);  // 19, 15, 7
    SCOPED_TRACE(root);
    SimReset();
    SimSetLocalTime(kNow);
    MakeStick(10 * 3072, 0, 10 * 3072);
    LayBlock(0, kind, "ABCDEFGHXYZ");
    std::vector<uint8_t> expected = Sector(1, root);
    std::memcpy(expected.data(), "DATA\0   XYZ", 11);
    PutLe16(&expected[22], 29885);
    PutLe16(&expected[24], 23941);
    SimResetStats(1);
    BlockIdentify done = ModifyFloppyIdentify("physicaldrive1", 0, kind, "DATA", "E:");
    EXPECT_EQ(done.result, 1);
    EXPECT_FALSE(BlockIdentifyStatus(done)) << "the English status text stays as it was";
    EXPECT_EQ(Sector(1, root), expected);
    const SimDiskStats stats = SimStats(1);
    EXPECT_EQ(std::tie(stats.sectorsWritten, stats.lowestSectorWritten, stats.restarts), std::make_tuple(1u, root, 1u));
  }
}

TEST_F(BlockTest, RenamingWritesNothingWhereThereIsNoLabelToRename) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlock(0, k144, "COMMAND COM", 0x20);
  BlockIdentify failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "DATA", "E:");
  EXPECT_EQ(BlockIdentifyNotice(failed)->text,
            "Modify floppy identifier failure.\r\nbecause the usb disk hasn't identifier,need to re-format");
  LayBlock(0, k144, "FLPPY0");
  // An empty identifier would end the root directory at its first entry.
  EXPECT_EQ(BlockIdentifyNotice(ModifyFloppyIdentify("physicaldrive1", 0, k144, "", "E:"))->text,
            "Please enter the new identifier.");
  SimFailReadsFrom(1, 19);
  failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "DATA", "E:");
  EXPECT_EQ(BlockIdentifyNotice(failed)->text, "Modify floppy identifier failure.");
  EXPECT_EQ(BlockIdentifyStatus(failed), std::optional<std::string>("Read root dir failure."));
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  EXPECT_EQ(BlockIdentifyNotice(RenameBlockIdentifier(&disk, k144, "DATA"))->text, "Please start multi-floppy service.");
}

// Identifiers go to the disk in the machine's OEM code page and come back from it: what DOS and Explorer show.
TEST_F(BlockTest, IdentifiersAreKeptInTheOemCodePageAndRefusedWhenItCannotHoldThem) {
  struct { uint32_t codePage; const char *identifier, *stored, *refusal; } const cases[] = {  // stored: 11 bytes
      {936, "\u4e2d\u6587", "\xd6\xd0\xce\xc4\0   XYZ", nullptr},  // GBK
      {437, "\u00c9T\u00c9", "\x90T\x90\0    XYZ", nullptr},
      {850, "\u00c9T\u00c9", "\x90T\x90\0    XYZ", nullptr},
      {437, "\u4e2d\u6587", nullptr, "The character \"\u4e2d\" cannot be stored on the disk: it is not in code page 437"},
      {936, "\u4e2d\u6587\u4e2d\u6587\u4e2d", nullptr, "The text takes 10 bytes on the disk (code page 936), but the field holds 8"},
      {437, "\u20ac", nullptr, "The character \"\u20ac\" cannot be stored"},  // no best-fit "E" or "?"
      {850, "ABCDEFGHIJ", "ABCDEFGHXYZ", nullptr},  // a list entry longer than the edit holds: its first 8
      {437, "Z", "Z\0      XYZ", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.codePage) + " " + c.identifier);
    SimReset();
    SimSetOemCodePage(c.codePage);
    MakeStick(10 * 3072, 0, 10 * 3072);
    LayBlock(0, k144, "ABCDEFGHXYZ");
    BlockIdentify done = ModifyFloppyIdentify("physicaldrive1", 0, k144, c.identifier, "E:");
    if (!c.stored) {
      const std::optional<BlockNotice> notice = BlockIdentifyNotice(done);
      ASSERT_TRUE(notice);
      EXPECT_EQ(notice->text.rfind(c.refusal, 0), 0u) << notice->text;
      EXPECT_EQ(SimStats(1).writeCalls, 0u);
      continue;
    }
    EXPECT_EQ(done.result, 1);
    EXPECT_EQ(RootName(0, k144), std::string(c.stored, 11));
    if (std::strlen(c.identifier) <= 8) { EXPECT_EQ(ValidBlockEntryText(0, Sector(1, 19).data()), c.identifier); }
  }
  // A label whose bytes do not decode keeps them, so the command line can show them as \xNN.
  SimSetOemCodePage(936);
  LayBlock(0, k144, "A\x81");
  EXPECT_EQ(ValidBlockEntryText(0, Sector(1, 19).data()), "A\x81");
}

TEST_F(BlockTest, ShowingABlockPresentsItTellsTheLayoutAndRestartsTheVolume) {
  Blocks(4, 63, FloppyKind::k720K);
  BlockShow show = ShowFloppyBlock(&disk, 3, ScanFloppyBlocks(disk, k144).entries, k144);
  ASSERT_TRUE(show.shown);
  EXPECT_EQ(show.identifier, "FLPPY3");
  const SimFilterState filter = SimFilter(1);
  EXPECT_EQ(std::make_tuple(filter.presentedBlock, filter.sectorsPerBlock, filter.endSector, SimStats(1).restarts),
            std::make_tuple(3u, 3072u, 63u + 10 * 3072, 1u));
  // E: now shows block 3.
  DeviceHandle volume(OpenDevice("E:"));
  uint8_t sector[512];
  ASSERT_EQ(ReadSectors(volume.get(), 0, 1, sector), SectorIo::kOk);
  EXPECT_EQ(std::vector<uint8_t>(sector, sector + 512), Sector(1, BlockStart(3, k144)));
}

TEST_F(BlockTest, GoToReportsBlocksPastTheListAndPastTheArea) {
  Blocks(4);
  Entries entries = ScanFloppyBlocks(disk, k144).entries;  // blocks 0 to 3, No.4:Unformatted
  EXPECT_TRUE(GoToFloppyBlock(&disk, 2, k144, 2, entries).show.shown);
  // Next from the last entry: block 5 fits, but the list has no entry 5 to make current.
  BlockStep step = NextBlockStep(&disk, 4, k144);
  ASSERT_EQ(step.action, BlockStep::kGoTo);
  EXPECT_EQ(BlockGoToNotice(GoToFloppyBlock(&disk, step.block, k144, -1, entries))->text,
            "Goto NO.5 floppy failure!");
  EXPECT_EQ(SimFilter(1).presentedBlock, 2u) << "the previous block stays presented";
  EXPECT_EQ(BlockGoToNotice(GoToFloppyBlock(&disk, 10, k144, -1, entries))->text, "The index of floppy is slopped over.\r\n");
  UiLanguage = Language::Chinese;
  std::optional<BlockNotice> go = BlockGoToNotice(GoToFloppyBlock(nullptr, 0, k144, 0, entries));
  EXPECT_EQ(go->text, "请先选择U盘.");
  EXPECT_EQ(go->caption, "Error");
}

}  // namespace
