// Switching the presented block and renaming a block's identifier, over the simulated disk and filter driver.
#include "blocks_fixture.h"
#include "fat/fat.h"
#include "disk/sectorio.h"

namespace {

constexpr FloppyKind k144 = FloppyKind::k1440K;
constexpr SysTime kNow{2026, 12, 6, 5, 14, 37, 59, 0};  // 5 December 2026, 14:37:59

class BlockSwitchTest : public BlockDiskTest {};

TEST_F(BlockSwitchTest, RenamingChangesOnlyTheLabelNameAndTimeInTheKindsRootSector) {
  for (FloppyKind kind : {k144, FloppyKind::k1200K, FloppyKind::k720K}) {
    const uint32_t root = FirstRootSector(kind);  // 19, 15, 7
    SCOPED_TRACE(root);
    SimReset();
    SimSetLocalTime(kNow);
    MakeStick(10 * 3072, 0, 10 * 3072);
    LayBlock(0, kind, "ABCDEFGHXYZ");
    std::vector<uint8_t> before = Sector(1, root);
    SimResetStats(1);
    BlockIdentify done = ModifyFloppyIdentify("physicaldrive1", 0, kind, "DATA", "E:");
    EXPECT_EQ(done.result, 1);
    EXPECT_FALSE(done.status) << "the English status text stays as it was";
    std::vector<uint8_t> after = Sector(1, root);
    EXPECT_EQ(std::string(after.begin(), after.begin() + 11), std::string("DATA\0   XYZ", 11));
    EXPECT_EQ(GetLe16(&after[22]), 29885);
    EXPECT_EQ(GetLe16(&after[24]), 23941);
    after[22] = before[22], after[23] = before[23], after[24] = before[24], after[25] = before[25];
    EXPECT_TRUE(std::equal(after.begin() + 11, after.end(), before.begin() + 11));
    EXPECT_EQ(SimStats(1).sectorsWritten, 1u);
    EXPECT_EQ(SimStats(1).lowestSectorWritten, root);
    EXPECT_EQ(SimStats(1).restarts, 1u);
  }
}

TEST_F(BlockSwitchTest, RenamingReachesThePresentedBlock) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(3, k144);
  ASSERT_EQ(SelectBlock("physicaldrive1", 2), 1);
  ASSERT_EQ(RenameBlockIdentifier(&disk, k144, "NEWNAME8").result, 1);
  EXPECT_EQ(RootName(2, k144), std::string("NEWNAME8\0\0\0", 11));  // physical 63 + 2 x 3072 + 19
  EXPECT_EQ(RootName(0, k144), std::string("FLPPY0\0\0\0\0\0", 11));
  EXPECT_EQ(ScanFloppyBlocks(disk, k144).entries[2], "NEWNAME8");
}

TEST_F(BlockSwitchTest, RenamingWritesNothingWhereThereIsNoLabelToRename) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlock(0, k144, "COMMAND COM", 0x20);
  BlockIdentify failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "DATA", "E:");
  EXPECT_EQ(failed.notice->text,
            "Modify floppy identifier failure.\r\nbecause the usb disk hasn't identifier,need to re-format");
  LayBlock(0, k144, "FLPPY0");
  // An empty identifier would end the root directory at its first entry.
  EXPECT_EQ(ModifyFloppyIdentify("physicaldrive1", 0, k144, "", "E:").notice->text,
            "Please enter the new identifier.");
  SimFailReadsFrom(1, 19);
  failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "DATA", "E:");
  EXPECT_EQ(failed.notice->text, "Modify floppy identifier failure.");
  EXPECT_EQ(failed.status, std::optional<std::string>("Read root dir failure."));
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  EXPECT_EQ(RenameBlockIdentifier(&disk, k144, "DATA").notice->text, "Please start multi-floppy service.");
}

// Identifiers go to the disk in the machine's OEM code page and come back from it: what DOS and Explorer show.
TEST_F(BlockSwitchTest, IdentifiersAreKeptInTheOemCodePageAndRefusedWhenItCannotHoldThem) {
  struct Case {
    uint32_t codePage;
    const char* identifier;
    const char* stored;  // 11 bytes; nullptr: refused, nothing written
    const char* refusal;
  } cases[] = {
      {936, "\u4e2d\u6587", "\xd6\xd0\xce\xc4\0   XYZ", nullptr},  // GBK
      {437, "\u00c9T\u00c9", "\x90T\x90\0    XYZ", nullptr},
      {850, "\u00c9T\u00c9", "\x90T\x90\0    XYZ", nullptr},
      {437, "\u4e2d\u6587", nullptr, "The character \"\u4e2d\" cannot be stored on the disk: it is not in code page 437"},
      {936, "\u4e2d\u6587\u4e2d\u6587\u4e2d", nullptr, "The text takes 10 bytes on the disk (code page 936), but the field holds 8"},
      {437, "\u20ac", nullptr, "The character \"\u20ac\" cannot be stored"},  // no best-fit "E" or "?"
      {850, "ABCDEFGHIJ", "ABCDEFGHXYZ", nullptr},  // a list entry longer than the edit holds: its first 8
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.codePage) + " " + c.identifier);
    SimReset();
    SimSetOemCodePage(c.codePage);
    MakeStick(10 * 3072, 0, 10 * 3072);
    LayBlock(0, k144, "ABCDEFGHXYZ");
    BlockIdentify done = ModifyFloppyIdentify("physicaldrive1", 0, k144, c.identifier, "E:");
    if (!c.stored) {
      ASSERT_TRUE(done.notice);
      EXPECT_EQ(done.notice->text.rfind(c.refusal, 0), 0u) << done.notice->text;
      EXPECT_EQ(SimStats(1).writeCalls, 0u);
      continue;
    }
    EXPECT_EQ(done.result, 1);
    EXPECT_EQ(RootName(0, k144), std::string(c.stored, 11));
    if (std::strlen(c.identifier) <= 8) {
      EXPECT_EQ(ValidBlockEntryText(0, Sector(1, 19).data()), c.identifier);
    }
  }
  // A label whose bytes do not decode keeps them, so the command line can show them as \xNN.
  SimSetOemCodePage(936);
  LayBlock(0, k144, "A\x81");
  EXPECT_EQ(ValidBlockEntryText(0, Sector(1, 19).data()), "A\x81");
}

TEST_F(BlockSwitchTest, ShowingABlockPresentsItTellsTheLayoutAndRestartsTheVolume) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(FloppyKind::k720K);
  LayBlocks(4, k144);
  std::vector<std::string> entries = ScanFloppyBlocks(disk, k144).entries;
  BlockShow show = ShowFloppyBlock(&disk, 3, entries, k144);
  ASSERT_TRUE(show.shown);
  EXPECT_EQ(show.identifier, "FLPPY3");
  SimFilterState filter = SimFilter(1);
  EXPECT_EQ(filter.presentedBlock, 3u);
  EXPECT_EQ(filter.sectorsPerBlock, 3072u);
  EXPECT_EQ(filter.endSector, 63u + 10 * 3072);
  EXPECT_EQ(SimStats(1).restarts, 1u);
  // E: now shows block 3.
  DeviceHandle volume(OpenDevice("E:"));
  uint8_t sector[512];
  ASSERT_EQ(ReadSectors(volume.get(), 0, 1, sector), SectorIo::kOk);
  EXPECT_EQ(std::vector<uint8_t>(sector, sector + 512), Sector(1, BlockStart(3, k144)));
}

TEST_F(BlockSwitchTest, GoToReportsBlocksPastTheListAndPastTheArea) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(4, k144);
  std::vector<std::string> entries = ScanFloppyBlocks(disk, k144).entries;  // blocks 0 to 3, No.4:Unformatted
  EXPECT_TRUE(GoToFloppyBlock(&disk, 2, k144, 2, entries).show.shown);
  // Next from the last entry: block 5 fits, but the list has no entry 5 to make current.
  BlockStep step = NextBlockStep(&disk, 4, k144);
  ASSERT_EQ(step.action, BlockStep::kGoTo);
  BlockGoTo go = GoToFloppyBlock(&disk, step.block, k144, -1, entries);
  EXPECT_EQ(go.notice->text, "Goto NO.5 floppy failure!");
  EXPECT_EQ(SimFilter(1).presentedBlock, 2u) << "the previous block stays presented";
  EXPECT_EQ(GoToFloppyBlock(&disk, 10, k144, -1, entries).notice->text, "The index of floppy is slopped over.\r\n");
  UiLanguage = Language::Chinese;
  go = GoToFloppyBlock(nullptr, 0, k144, 0, entries);
  EXPECT_EQ(go.notice->text, "请先选择U盘.");
  EXPECT_EQ(go.notice->caption, "Error");
}

}  // namespace
