// Switching the presented block and renaming a block's identifier, over the simulated disk and filter driver.
#include "app/trace.h"
#include "blocks_fixture.h"
#include "disk/bpb.h"
#include "disk/sectorio.h"

namespace {

constexpr int k144 = kKindIndex1440K;
constexpr SysTime kNow{2026, 12, 6, 5, 14, 37, 59, 0};  // Saturday 5 December 2026, 14:37:59

class BlockSwitchTest : public BlockDiskTest {
 protected:
  void SetUp() override {
    BlockDiskTest::SetUp();
    SimSetLocalTime(kNow);
  }
  bool Traced(const std::string& line) {
    for (const std::string& l : SimDebugOutput())
      if (l == line) return true;
    return false;
  }
};

TEST_F(BlockSwitchTest, RenamingChangesOnlyTheLabelNameAndTimeInTheKindsRootSector) {
  struct Case {
    int kindIndex;
    uint32_t rootSector;
    const char* trace;
  } cases[] = {{k144, 19, "ModifyFloppyIdentify...DirOffset:13"},
               {kKindIndex1200K, 15, "ModifyFloppyIdentify...DirOffset:f"},
               {kKindIndex720K, 7, "ModifyFloppyIdentify...DirOffset:7"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rootSector);
    SimReset();
    SimSetLocalTime(kNow);
    MakeStick(10 * 3072, 0, 10 * 3072);
    LayBlock(0, c.kindIndex, "ABCDEFGHXYZ");
    std::vector<uint8_t> before = Sector(1, c.rootSector);
    before[32] = 'F';  // a second entry, which must stay as it is
    SimWriteRaw(1, c.rootSector, before);
    std::vector<uint8_t> dbr = Sector(1, 0);
    SimResetStats(1);

    BlockIdentify done = ModifyFloppyIdentify("physicaldrive1", 0, c.kindIndex, "DATA", "E:");
    EXPECT_EQ(done.result, 1);
    EXPECT_FALSE(done.notice);
    EXPECT_FALSE(done.status) << "the English status text stays as it was";
    std::vector<uint8_t> after = Sector(1, c.rootSector);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(after.data()), 11), std::string("DATA\0   XYZ", 11));
    EXPECT_EQ(GetLe16(&after[22]), 29885);  // 14:37:59
    EXPECT_EQ(GetLe16(&after[24]), 23941);  // 5 December 2026
    for (size_t i = 11; i < after.size(); ++i) {
      if (i < 22 || i > 25) {
        ASSERT_EQ(after[i], before[i]) << "byte " << i;
      }
    }
    EXPECT_EQ(Sector(1, 0), dbr) << "the boot record's label field is not touched";
    SimDiskStats stats = SimStats(1);
    EXPECT_EQ(stats.sectorsWritten, 1u);
    EXPECT_EQ(stats.lowestSectorWritten, c.rootSector);
    EXPECT_EQ(stats.restarts, 1u);
    EXPECT_TRUE(Traced(c.trace));
  }
  UiLanguage = Language::Chinese;
  BlockIdentify done = ModifyFloppyIdentify("physicaldrive1", 0, kKindIndex720K, "DATA", "E:");
  EXPECT_EQ(done.status, std::optional<std::string>("磁盘已启用新标识."));
}

TEST_F(BlockSwitchTest, RenamingReachesThePresentedBlockAndAnEightCharacterNameRunsIntoTheOldBytes) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(3, k144);
  LayBlock(2, k144, "ABCDEFGHXYZ");
  ASSERT_EQ(SelectBlock("physicaldrive1", 2), 1);
  BlockIdentify done = RenameBlockIdentifier(&disk, k144, "NEWNAME8");
  ASSERT_EQ(done.result, 1);
  EXPECT_TRUE(Traced("**ModifyFloppyIdentify"));
  EXPECT_EQ(RootName(2, k144), "NEWNAME8XYZ");  // physical 63 + 2 x 3072 + 19
  EXPECT_EQ(RootName(0, k144), std::string("FLPPY0\0\0\0\0\0", 11));
  EXPECT_EQ(ScanFloppyBlocks(disk, k144).entries[2], "NEWNAME8XYZ");
}

TEST_F(BlockSwitchTest, RenamingRefusesABlockWithoutLabelAndReportsEveryFailure) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlock(0, k144, "COMMAND COM", 0x20);
  SimResetStats(1);
  BlockIdentify failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "DATA", "E:");
  EXPECT_EQ(failed.result, 0);
  ASSERT_TRUE(failed.notice);
  EXPECT_EQ(failed.notice->text,
            "Modify floppy identifier failure.\r\nbecause the usb disk hasn't identifier,need to re-format");
  EXPECT_EQ(failed.notice->caption, "Plover hint");
  EXPECT_FALSE(failed.status);
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  EXPECT_EQ(SimStats(1).restarts, 0u);

  LayBlock(0, k144, "FLPPY0");
  SimFailWritesFrom(1, 19);
  failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "DATA", "E:");
  EXPECT_EQ(failed.notice->text, "Modify floppy indentifier faiure.");
  EXPECT_EQ(failed.status, std::optional<std::string>("Write Volume lable failure."));
  SimFailReadsFrom(1, 19);
  failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "DATA", "E:");
  EXPECT_EQ(failed.notice->text, "Modify floppy identifier failure.");
  EXPECT_EQ(failed.status, std::optional<std::string>("Read root dir failure."));
  SimFailOpen(1, kSysErrorSharingViolation);
  failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "DATA", "E:");
  EXPECT_EQ(failed.notice->text, "Modify disk identifier faiure.");
  EXPECT_EQ(failed.status, std::optional<std::string>("The usb disk maybe used by another application."));
  EXPECT_EQ(RootName(0, k144), std::string("FLPPY0\0\0\0\0\0", 11));

  SimFailOpen(1, 0);
  SimFailReadsFrom(1, UINT64_MAX);
  SimFailWritesFrom(1, UINT64_MAX);
  failed = ModifyFloppyIdentify("physicaldrive1", 0, k144, "", "E:");
  EXPECT_EQ(failed.notice->text, "Please enter the new identifier.");
  EXPECT_EQ(RootName(0, k144), std::string("FLPPY0\0\0\0\0\0", 11));

  EXPECT_EQ(RenameBlockIdentifier(nullptr, k144, "DATA").notice->text, "Please select a usb disk.");
  EXPECT_EQ(RenameBlockIdentifier(&disk, k144, "DATA").notice->text, "Please start multi-floppy service.");
}

TEST_F(BlockSwitchTest, ShowingABlockPresentsItTellsTheLayoutAndRestartsTheVolume) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(kKindIndex720K);
  LayBlocks(4, k144);
  std::vector<std::string> entries = ScanFloppyBlocks(disk, k144).entries;
  SimResetStats(1);
  SimClearDebugOutput();
  BlockShow show = ShowFloppyBlock(&disk, 3, entries, k144);
  ASSERT_TRUE(show.shown);
  EXPECT_EQ(show.blockNumber, 3u);
  EXPECT_EQ(show.identifier, "FLPPY3");
  SimFilterState filter = SimFilter(1);
  EXPECT_EQ(filter.presentedBlock, 3u);
  EXPECT_EQ(filter.mode, kBlockModeInUse);
  EXPECT_EQ(filter.sectorsPerBlock, 3072u);
  EXPECT_EQ(filter.firstSector, 63u);
  EXPECT_EQ(filter.endSector, 63u + 10 * 3072);
  EXPECT_EQ(SimStats(1).restarts, 1u);
  EXPECT_TRUE(Traced("OpenDevice physicaldrive1 succ;"));
  // The volume now shows block 3: its boot record is what E: reads at its first sector.
  DeviceHandle volume(OpenDevice("E:"));
  uint8_t sector[512];
  ASSERT_EQ(ReadSectors(volume.get(), 1, 0, sector), kSectorIoOk);
  EXPECT_EQ(std::vector<uint8_t>(sector, sector + 512), Sector(1, BlockStart(3, k144)));
}

TEST_F(BlockSwitchTest, ShowingNeedsTheServiceAndAListedCurrentEntry) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlocks(4, k144);
  std::vector<std::string> entries = ReadBlockList("physicaldrive1", 0, 10 * 3072, k144).entries;
  EXPECT_FALSE(ShowFloppyBlock(nullptr, 1, entries, k144).shown);
  EXPECT_FALSE(ShowFloppyBlock(&disk, 1, entries, k144).shown);  // service off
  AttachDriver(k144);
  EXPECT_FALSE(ShowFloppyBlock(&disk, -1, entries, k144).shown);
  EXPECT_FALSE(ShowFloppyBlock(&disk, 5, entries, k144).shown);
  EXPECT_EQ(SimFilter(1).presentedBlock, 0u);
  EXPECT_EQ(SimStats(1).restarts, 0u);
}

TEST_F(BlockSwitchTest, GoToReportsBlocksPastTheListAndPastTheArea) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(4, k144);
  std::vector<std::string> entries = ScanFloppyBlocks(disk, k144).entries;  // 4 blocks and No.4:Unformatted
  ASSERT_EQ(entries.size(), 5u);
  BlockGoTo go = GoToFloppyBlock(&disk, 2, k144, 2, entries);
  EXPECT_TRUE(go.show.shown);
  EXPECT_FALSE(go.notice);
  EXPECT_EQ(SimFilter(1).presentedBlock, 2u);

  // Next from the last entry: block 5 fits, but the list has no entry 5 to make current.
  BlockStep step = NextBlockStep(&disk, 4, k144);
  ASSERT_EQ(step.action, BlockStep::kGoTo);
  go = GoToFloppyBlock(&disk, step.block, k144, -1, entries);
  EXPECT_FALSE(go.show.shown);
  ASSERT_TRUE(go.notice);
  EXPECT_EQ(go.notice->text, "Goto NO.5 floppy failure!");
  EXPECT_EQ(SimFilter(1).presentedBlock, 2u) << "the previous block stays presented";

  go = GoToFloppyBlock(&disk, 10, k144, -1, entries);
  EXPECT_EQ(go.notice->text, "The index of floppy is slopped over.\r\n");
  disk.partitionLength = 100;
  EXPECT_EQ(GoToFloppyBlock(&disk, 0, k144, 0, entries).notice->text, "The index of floppy is slopped over.\r\n");

  UiLanguage = Language::Chinese;
  go = GoToFloppyBlock(nullptr, 0, k144, 0, entries);
  EXPECT_EQ(go.notice->text, "请先选择U盘.");
  EXPECT_EQ(go.notice->caption, "Error");
}

TEST_F(BlockSwitchTest, ConfigurationIsSentOnlyForADiskWithABlockArea) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(kKindIndex720K);
  EXPECT_EQ(SimFilter(1).sectorsPerBlock, 2048u);
  EXPECT_EQ(ConfigureBlocks(&disk, kBlockModeHidden, k144), 1);
  EXPECT_EQ(SimFilter(1).mode, kBlockModeHidden);
  uint32_t calls = SimFilter(1).configureCalls;
  EXPECT_EQ(ConfigureBlocks(nullptr, kBlockModeInUse, k144), 0);
  disk.partitionLength = 0;
  EXPECT_EQ(ConfigureBlocks(&disk, kBlockModeInUse, k144), 0);
  EXPECT_EQ(SimFilter(1).configureCalls, calls);
}

}  // namespace
