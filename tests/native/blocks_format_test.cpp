// Batch and single block formats as the block format thread runs them: what lands where, what the page is told,
// and the runs that must not write.
#include <algorithm>

#include "blocks_fixture.h"

namespace {

constexpr int k144 = kKindIndex1440K;

// Records what a run shows the page, in order.
struct PageRecord {
  std::vector<std::string> events;
  std::vector<std::string> statuses;
  std::vector<BlockNotice> messages;
  bool answer = true;
  bool refreshed = false;
  BlockScan scan;
  int currentEntry = -2;
  BlockShow show;

  BlockFormatUi Ui() {
    BlockFormatUi ui;
    ui.confirm = [this](const BlockNotice& n) {
      events.push_back("confirm");
      EXPECT_EQ(n.text, "The data in the disk will be losed \r\nafter format,continue");
      EXPECT_EQ(n.caption, "Plover Hint");
      EXPECT_TRUE(n.information);
      return answer;
    };
    ui.message = [this](const BlockNotice& n) {
      events.push_back("message");
      messages.push_back(n);
    };
    ui.sheetEnabled = [this](bool on) { events.push_back(on ? "sheet on" : "sheet off"); };
    ui.busyIndicator = [this](bool on) { events.push_back(on ? "busy on" : "busy off"); };
    ui.status = [this](const std::string& s) { statuses.push_back(s); };
    ui.refreshed = [this](const BlockScan& s, int entry, const BlockShow& sh) {
      events.push_back("refreshed");
      refreshed = true;
      scan = s;
      currentEntry = entry;
      show = sh;
    };
    return ui;
  }
};

class BlockFormatTest : public BlockDiskTest {
 protected:
  BlockFormatJob Batch(uint32_t count, int kindIndex = k144) {
    BlockFormatJob job;
    job.disk = disk;
    job.batch = true;
    job.batchCount = count;
    job.kindIndex = kindIndex;
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
  bool BlockWritten(uint32_t block, int kindIndex = k144) {
    return IsValidBlockBootRecord(Sector(1, BlockStart(block, kindIndex)).data(), kindIndex);
  }
  PageRecord page;
};

TEST_F(BlockFormatTest, BatchWritesEachBlockAtItsPhysicalStartWithItsDefaultIdentifier) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(k144);
  ASSERT_EQ(SelectBlock("physicaldrive1", 2), 1);
  BlockFormatRun run = RunBlockFormat(Batch(5), page.Ui());
  ASSERT_TRUE(run.started);
  EXPECT_TRUE(run.success);
  EXPECT_EQ(run.result.written, 5u);
  for (uint32_t n = 0; n < 5; ++n) {
    EXPECT_TRUE(BlockWritten(n)) << n;
    std::string name = "FLPPY" + std::to_string(n);
    EXPECT_EQ(RootName(n, k144), name + std::string(11 - name.size(), '\0'));
  }
  EXPECT_TRUE(AllBytes(1, BlockStart(5, k144), 1, 0)) << "block 5 is not written";
  EXPECT_EQ(SimStats(1).lowestSectorWritten, 63u);

  ASSERT_EQ(page.statuses.size(), 10u);
  EXPECT_EQ(page.statuses[0], "***Begin formatting floppy block 0,please wait...");
  EXPECT_EQ(page.statuses[1], "Floppy0 format is completed.");
  EXPECT_EQ(page.statuses[9], "Floppy4 format is completed.");
  EXPECT_EQ(page.events, (std::vector<std::string>{"confirm", "sheet off", "busy on", "busy off", "message",
                                                   "refreshed", "sheet on"}));
  EXPECT_EQ(page.messages[0].text, "Format usb disk success");
  EXPECT_TRUE(page.messages[0].information);
  // The rescan lists the new blocks; block 0 is then shown.
  EXPECT_EQ(page.scan.validBlockCount, 5u);
  EXPECT_EQ(page.scan.entries.back(), "No.5:Unformatted");
  EXPECT_EQ(page.currentEntry, 0);
  EXPECT_TRUE(page.show.shown);
  EXPECT_EQ(SimFilter(1).presentedBlock, 0u);
}

TEST_F(BlockFormatTest, BatchCountIsCappedByTheAreaAndByOneHundredAndZeroWritesNothing) {
  MakeStick(7 * 3072 + 100, 0, 7 * 3072 + 100);
  AttachDriver(k144);
  BlockFormatRun run = RunBlockFormat(Batch(250), page.Ui());
  EXPECT_EQ(run.result.written, 7u);
  EXPECT_EQ(SimStats(1).highestSectorWritten, 6u * 3072 + 2878) << "nothing beyond the last block's image";

  SimResetStats(1);
  run = RunBlockFormat(Batch(0), page.Ui());
  EXPECT_TRUE(run.success);
  EXPECT_EQ(run.result.written, 0u);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
  EXPECT_TRUE(page.refreshed);

  // Room for 101 blocks: never more than 100.
  SimReset();
  MakeStick(101 * 2048, 0, 101 * 2048);
  AttachDriver(kKindIndex720K);
  run = RunBlockFormat(Batch(250, kKindIndex720K), page.Ui());
  EXPECT_EQ(run.result.written, 100u);
  EXPECT_TRUE(BlockWritten(99, kKindIndex720K));
  EXPECT_FALSE(BlockWritten(100, kKindIndex720K));
  EXPECT_EQ(page.scan.validBlockCount, 100u);
}

TEST_F(BlockFormatTest, SingleFormatLandsInThePresentedBlock) {
  // With S = 0 and S = 63 alike, the image written at the partition start of the presented block is that block.
  for (uint32_t start : {0u, 63u}) {
    SCOPED_TRACE(start);
    SimReset();
    page = PageRecord();
    MakeStick(start + 10 * 3072, start, 10 * 3072);
    AttachDriver(k144);
    LayBlocks(9, k144);
    BlockFormatJob job = Single(7, "DATA1");
    BlockFormatRun run = RunBlockFormat(job, page.Ui());
    ASSERT_TRUE(run.success);
    EXPECT_EQ(run.result.written, 1u);
    EXPECT_EQ(RootName(7, k144), std::string("DATA1\0\0\0\0\0\0", 11));
    EXPECT_EQ(SimStats(1).lowestSectorWritten, BlockStart(7, k144));
    EXPECT_EQ(SimStats(1).highestSectorWritten, BlockStart(7, k144) + 2878);
    EXPECT_EQ(page.statuses, (std::vector<std::string>{"***Begin formatting floppy block 7,please wait...",
                                                       "Floppy7 format is completed."}));
    // Afterwards block 0 is the current entry and the presented block.
    EXPECT_EQ(page.currentEntry, 0);
    EXPECT_EQ(SimFilter(1).presentedBlock, 0u);
  }
  // The identifier edit may hold an entry text: the label is its first 10 characters.
  SimWriteRaw(1, BlockStart(5, k144), std::vector<uint8_t>(512, 0));
  BlockFormatJob job = Single(5, "");
  ASSERT_EQ(job.entries[5], "No.5:Unformatted");
  job.identifier = job.entries[5];
  ASSERT_TRUE(RunBlockFormat(job, page.Ui()).success);
  EXPECT_EQ(RootName(5, k144), std::string("No.5:Unfor\0", 11));
}

TEST_F(BlockFormatTest, ABlockThatCannotBeWrittenEndsTheRunAsAFailureNamingIt) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  SimFailWritesFrom(1, 3 * 3072);
  BlockFormatRun run = RunBlockFormat(Batch(6), page.Ui());
  EXPECT_FALSE(run.success);
  EXPECT_TRUE(run.result.failed);
  EXPECT_EQ(run.result.failedBlock, 3u);
  EXPECT_EQ(run.result.written, 3u);
  ASSERT_EQ(page.messages.size(), 1u);
  EXPECT_EQ(page.messages[0].text, "Format usb disk failure\r\nfloppy block 3 could not be written.");
  EXPECT_FALSE(page.messages[0].information);
  EXPECT_EQ(page.statuses.back(), "Format usb disk failure\r\nfloppy block 3 could not be written.");
  EXPECT_EQ(std::count(page.statuses.begin(), page.statuses.end(), "***Begin formatting floppy block 4,please wait..."),
            0);
  // The page still learns what the disk now holds, and gets its sheet back.
  EXPECT_TRUE(page.refreshed);
  EXPECT_EQ(page.scan.validBlockCount, 3u);
  EXPECT_EQ(page.events.back(), "sheet on");
}

TEST_F(BlockFormatTest, RunsThatCannotFormatWhatThePageShowsWriteNothing) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  LayBlocks(3, k144);
  struct Case {
    const char* name;
    BlockFormatJob job;
    const char* message;  // nullptr: no message at all
  };
  BlockFormatJob noDisk = Batch(3);
  noDisk.disk.reset();
  BlockFormatJob dosWithoutVersion = Batch(3);
  dosWithoutVersion.dosBoxChecked = true;
  BlockFormatJob serviceOff = Single(1, "DATA");
  BlockFormatJob bigSectors = Batch(3);
  bigSectors.disk->bytesPerSector = 2048;
  std::vector<Case> cases = {
      {"no disk", noDisk, "Please first select a usb disk"},
      {"DOS box without a version", dosWithoutVersion, "Please choose DOS 6.22 or DOS 7.1 for the DOS bootable disk."},
      {"single with the service off", serviceOff, "Please start multi-floppy service."},
      {"2048-byte sectors", bigSectors, "The disk sector is greater than 512 bytes((2048B))\r\nthe soft is not support!"},
  };
  AttachDriver(k144);
  BlockFormatJob noEntry = Single(-1, "DATA");
  cases.push_back({"single without a current entry", noEntry, "Please select a floppy block."});
  BlockFormatJob past = Single(7, "DATA");  // next went past the list: entry 7 does not exist
  cases.push_back({"single past the list", past, "Please select a floppy block."});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    page = PageRecord();
    SimResetStats(1);
    BlockFormatRun run = RunBlockFormat(c.job, page.Ui());
    EXPECT_FALSE(run.started);
    EXPECT_EQ(page.events, (std::vector<std::string>{"message"}));
    EXPECT_EQ(page.messages[0].text, c.message);
    EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
  }
  // Cancelling the confirmation: nothing written, the sheet never disabled.
  page = PageRecord();
  page.answer = false;
  SimResetStats(1);
  EXPECT_FALSE(RunBlockFormat(Batch(3), page.Ui()).started);
  EXPECT_EQ(page.events, (std::vector<std::string>{"confirm"}));
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
}

TEST_F(BlockFormatTest, ADriverThatWillNotPresentTheBlockStopsTheRunBeforeItWrites) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(3, k144);
  BlockFormatJob job = Single(1, "DATA");
  SimAttachFilter(1, false);  // the page still believes the service is on
  SimResetStats(1);
  BlockFormatRun run = RunBlockFormat(job, page.Ui());
  EXPECT_TRUE(run.started);
  EXPECT_FALSE(run.success);
  EXPECT_TRUE(run.result.driverRefused);
  EXPECT_EQ(page.messages[0].text, "Format usb disk failure");
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);

  job = Batch(2);
  run = RunBlockFormat(job, page.Ui());
  EXPECT_TRUE(run.result.driverRefused);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
}

TEST_F(BlockFormatTest, DosEntriesChooseTheBootProgram) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  for (int entry : {0, 1}) {
    BlockFormatJob job = Batch(1);
    job.dosBoxChecked = true;
    job.dosEntry = entry;
    ASSERT_TRUE(RunBlockFormat(job, page.Ui()).success);
    std::vector<uint8_t> dbr = Sector(1, 0);
    std::string text(dbr.begin(), dbr.end());
    EXPECT_EQ(text.find("Non-System disk") != std::string::npos, entry == 0) << entry;
  }
}

}  // namespace
