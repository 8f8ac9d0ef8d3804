// Batch and single block formats as the block format thread runs them.
#include "blocks_fixture.h"

namespace {

constexpr FloppyKind k144 = FloppyKind::k1440K;

// What a run shows the page, in order.
struct PageRecord {
  std::vector<std::string> events, statuses;
  std::vector<BlockNotice> messages;
  bool answer = true;
  BlockScan scan;
  int currentEntry = -2;

  BlockFormatUi Ui() {
    BlockFormatUi ui;
    ui.confirm = [this](const BlockNotice&) { return events.push_back("confirm"), answer; };
    ui.message = [this](const BlockNotice& n) { events.push_back("message"), messages.push_back(n); };
    ui.sheetEnabled = [this](bool on) { events.push_back(on ? "sheet on" : "sheet off"); };
    ui.busyIndicator = [this](bool on) { events.push_back(on ? "busy on" : "busy off"); };
    ui.status = [this](const std::string& s) { statuses.push_back(s); };
    ui.refreshed = [this](const BlockScan& s, int entry, const BlockShow&) {
      events.push_back("refreshed");
      scan = s;
      currentEntry = entry;
    };
    return ui;
  }
};

class BlockFormatTest : public BlockDiskTest {
 protected:
  BlockFormatJob Batch(uint32_t count, FloppyKind kind = k144) {
    BlockFormatJob job;
    job.disk = disk;
    job.batch = true;
    job.batchCount = count;
    job.kind = kind;
    return job;
  }
  BlockFormatJob Single(int entry, const std::string& identifier) {
    BlockFormatJob job;
    job.disk = disk;
    job.currentEntry = entry;
    job.entries = ScanFloppyBlocks(disk, k144).entries;
    job.identifier = identifier;
    return job;
  }
  PageRecord page;
};

TEST_F(BlockFormatTest, BatchWritesEachBlockAtItsPhysicalStartWithItsDefaultIdentifier) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(k144);
  ASSERT_EQ(SelectBlock("physicaldrive1", 2), 1);
  BlockFormatRun run = RunBlockFormat(Batch(5), page.Ui());
  EXPECT_TRUE(run.success);
  EXPECT_EQ(run.result.written, 5u);
  for (uint32_t n = 0; n < 5; ++n) {
    std::string name = "FLPPY" + std::to_string(n);
    EXPECT_EQ(RootName(n, k144), name + std::string(11 - name.size(), '\0'));
  }
  EXPECT_EQ(SimStats(1).lowestSectorWritten, 63u);
  EXPECT_EQ(SimStats(1).highestSectorWritten, BlockStart(4, k144) + 2878);
  ASSERT_EQ(page.statuses.size(), 10u);
  EXPECT_EQ(page.statuses[0], "***Begin formatting floppy block 0,please wait...");
  EXPECT_EQ(page.statuses[9], "Floppy4 format is completed.");
  EXPECT_EQ(page.events, (std::vector<std::string>{"confirm", "sheet off", "busy on", "busy off", "message",
                                                   "refreshed", "sheet on"}));
  EXPECT_EQ(page.messages[0].text, "Format usb disk success");
  EXPECT_EQ(page.scan.validBlockCount, 5u);
  EXPECT_EQ(page.currentEntry, 0);
  EXPECT_EQ(SimFilter(1).presentedBlock, 0u);
}

TEST_F(BlockFormatTest, BatchCountIsCappedByTheAreaAndByOneHundredAndZeroWritesNothing) {
  MakeStick(7 * 3072 + 100, 0, 7 * 3072 + 100);
  AttachDriver(k144);
  EXPECT_EQ(RunBlockFormat(Batch(250), page.Ui()).result.written, 7u);
  SimResetStats(1);
  BlockFormatRun run = RunBlockFormat(Batch(0), page.Ui());
  EXPECT_TRUE(run.success);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);

  SimReset();
  MakeStick(101 * 2048, 0, 101 * 2048);
  AttachDriver(FloppyKind::k720K);
  EXPECT_EQ(RunBlockFormat(Batch(250, FloppyKind::k720K), page.Ui()).result.written, 100u);
  EXPECT_EQ(SimStats(1).highestSectorWritten, 99u * 2048 + 1438);
}

TEST_F(BlockFormatTest, SingleFormatLandsInThePresentedBlock) {
  for (uint32_t start : {0u, 63u}) {
    SCOPED_TRACE(start);
    SimReset();
    page = PageRecord();
    MakeStick(start + 10 * 3072, start, 10 * 3072);
    AttachDriver(k144);
    LayBlocks(9, k144);
    ASSERT_TRUE(RunBlockFormat(Single(7, "DATA1"), page.Ui()).success);
    EXPECT_EQ(RootName(7, k144), std::string("DATA1\0\0\0\0\0\0", 11));
    EXPECT_EQ(SimStats(1).lowestSectorWritten, BlockStart(7, k144));
    EXPECT_EQ(SimStats(1).highestSectorWritten, BlockStart(7, k144) + 2878);
    EXPECT_EQ(page.statuses, (std::vector<std::string>{"***Begin formatting floppy block 7,please wait...",
                                                       "Floppy7 format is completed."}));
    EXPECT_EQ(page.currentEntry, 0);
    EXPECT_EQ(SimFilter(1).presentedBlock, 0u);
  }
  // An entry text in the identifier edit: the label is its first 10 characters.
  SimWriteRaw(1, BlockStart(5, k144), std::vector<uint8_t>(512, 0));
  ASSERT_TRUE(RunBlockFormat(Single(5, "No.5:Unformatted"), page.Ui()).success);
  EXPECT_EQ(RootName(5, k144), std::string("No.5:Unfor\0", 11));
  // The label is kept in the OEM code page and cut after a whole character: 5 GBK characters, not 5 and a half.
  SimSetOemCodePage(936);
  ASSERT_TRUE(RunBlockFormat(Single(5, "\u4e2d\u6587\u4e2d\u6587A\u6587"), page.Ui()).success);
  EXPECT_EQ(RootName(5, k144), std::string("\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4" "A\0\0", 11));
  page = PageRecord();
  SimSetOemCodePage(437);
  EXPECT_FALSE(RunBlockFormat(Single(5, "\u4e2d"), page.Ui()).started);
  ASSERT_EQ(page.messages.size(), 1u);
  EXPECT_EQ(page.messages[0].text.rfind("The character \"\u4e2d\" cannot be stored on the disk", 0), 0u);
}

TEST_F(BlockFormatTest, ABlockThatCannotBeWrittenEndsTheRunAsAFailureNamingIt) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  SimFailWritesFrom(1, 3 * 3072);
  BlockFormatRun run = RunBlockFormat(Batch(6), page.Ui());
  EXPECT_FALSE(run.success);
  EXPECT_EQ(run.result.failedBlock, 3u);
  EXPECT_EQ(run.result.written, 3u);
  EXPECT_EQ(page.messages[0].text, "Format usb disk failure\r\nfloppy block 3 could not be written.");
  EXPECT_FALSE(page.messages[0].information);
  EXPECT_EQ(page.statuses.back(), page.messages[0].text);
  // The page still learns what the disk now holds.
  EXPECT_EQ(page.scan.validBlockCount, 3u);
}

TEST_F(BlockFormatTest, RunsThatCannotFormatWhatThePageShowsWriteNothing) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlocks(3, k144);
  BlockFormatJob noDisk = Batch(3), dosWithoutVersion = Batch(3), bigSectors = Batch(3);
  noDisk.disk.reset();
  dosWithoutVersion.dosBoxChecked = true;
  bigSectors.disk->bytesPerSector = 2048;
  BlockFormatJob serviceOff = Single(1, "DATA");
  AttachDriver(k144);
  BlockFormatJob pastTheList = Single(7, "DATA");
  std::vector<std::pair<BlockFormatJob, std::string>> cases = {
      {noDisk, "Please first select a usb disk"},
      {dosWithoutVersion, "Please choose DOS 6.22 or DOS 7.1 for the DOS bootable disk."},
      {bigSectors, "The disk sector is greater than 512 bytes((2048B))\r\nthe soft is not support!"},
      {serviceOff, "Please start multi-floppy service."},
      {pastTheList, "Please select a floppy block."},
  };
  for (const auto& c : cases) {
    page = PageRecord();
    EXPECT_FALSE(RunBlockFormat(c.first, page.Ui()).started) << c.second;
    ASSERT_EQ(page.messages.size(), 1u);
    EXPECT_EQ(page.messages[0].text, c.second);
  }
  page = PageRecord();
  page.answer = false;
  EXPECT_FALSE(RunBlockFormat(Batch(3), page.Ui()).started);
  EXPECT_EQ(page.events, (std::vector<std::string>{"confirm"}));
  // A driver that no longer answers cannot present the block: nothing goes to whatever it presents.
  BlockFormatJob single = Single(1, "DATA");
  SimAttachFilter(1, false);
  page = PageRecord();
  EXPECT_TRUE(RunBlockFormat(single, page.Ui()).result.driverRefused);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
}

TEST_F(BlockFormatTest, DosEntriesChooseTheBootProgram) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  UseSmallSystemFiles("korvane_blocks_dos");
  for (int entry : {0, 1}) {
    BlockFormatJob job = Batch(1);
    job.dosBoxChecked = true;
    job.dosEntry = entry;
    ASSERT_TRUE(RunBlockFormat(job, page.Ui()).success);
    std::vector<uint8_t> dbr = Sector(1, 0);
    EXPECT_EQ(std::string(dbr.begin(), dbr.end()).find("Non-System disk") != std::string::npos, entry == 0);
  }
  // Without system files the batch is refused before its first block.
  SimSetCurrentDirectory(::testing::TempDir() + "korvane_blocks_no_sysfile");
  SimResetStats(1);
  page = PageRecord();
  BlockFormatJob job = Batch(3);
  job.dosBoxChecked = true;
  job.dosEntry = 1;
  BlockFormatRun run = RunBlockFormat(job, page.Ui());
  EXPECT_FALSE(run.success);
  EXPECT_TRUE(run.result.systemFilesUnusable);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
}

}  // namespace
