// Batch and single block formats as the block format thread runs them, and the enhanced page's words for them.
#include "blocks/texts.h"
#include "blocks_fixture.h"
#include "pages/page_words.h"

namespace {

constexpr FloppyKind k144 = FloppyKind::k1440K;

class BlockFormatTest : public BlockDiskTest {
 protected:
  // Runs the job as the page's thread does, recording what the run shows the page, in order.
  RunOutcome Run(const BlockFormatJob& job) {
    events.clear(), statuses.clear(), messages.clear();
    BlockFormatUi ui;
    ui.written = [this](const RunOutcome& o) { events.push_back("written"), messages.push_back(BlockFormatOutcomeNotice(o)); };
    ui.sheetEnabled = [this](bool on) { events.push_back(on ? "sheet on" : "sheet off"); };
    ui.busyIndicator = [this](bool on) { events.push_back(on ? "busy on" : "busy off"); };
    ui.status = [this](uint32_t block, BlockStage stage) { statuses.push_back(BlockFormatStatus(block, stage)); };
    ui.refreshed = [this](const BlockScan& s, int entry, const BlockShow&) {
      events.push_back("refreshed"), scan = s, currentEntry = entry;
    };
    return RunBlockFormat(job, ui);
  }
  BlockFormatJob Batch(uint32_t count, FloppyKind kind = k144) {
    BlockFormatJob job;
    job.disk = disk, job.batch = true, job.batchCount = count, job.kind = kind;
    return job;
  }
  BlockFormatJob Single(int entry, const std::string& identifier) {
    BlockFormatJob job;
    job.disk = disk, job.currentEntry = entry, job.identifier = identifier;
    job.entries = ScanFloppyBlocks(disk, k144).entries;
    return job;
  }
  std::vector<std::string> events, statuses;
  std::vector<BlockNotice> messages;
  BlockScan scan;
  int currentEntry = -2;
};

TEST_F(BlockFormatTest, BatchWritesEachBlockAtItsPhysicalStartWithItsDefaultIdentifier) {
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(k144);
  ASSERT_EQ(SelectBlock("physicaldrive1", 2), 1);
  RunOutcome run = Run(Batch(5));
  EXPECT_TRUE(run.Succeeded());
  EXPECT_EQ(run.completed, 5u);
  ASSERT_EQ(run.written.size(), 5u);  // blocks 3072 apart, 2879 sectors each
  EXPECT_EQ(run.written[4].first, BlockStart(4, k144));
  EXPECT_EQ(run.written[4].count, 2879u);
  for (uint32_t n = 0; n < 5; ++n) {
    std::string name = "FLPPY" + std::to_string(n);
    EXPECT_EQ(RootName(n, k144), name + std::string(11 - name.size(), '\0'));
  }
  EXPECT_EQ(std::make_pair(SimStats(1).lowestSectorWritten, SimStats(1).highestSectorWritten),
            std::make_pair(uint64_t{63}, BlockStart(4, k144) + 2878));
  ASSERT_EQ(statuses.size(), 10u);
  EXPECT_EQ(statuses[0], "***Begin formatting floppy block 0,please wait...");
  EXPECT_EQ(statuses[9], "Floppy4 format is completed.");
  EXPECT_EQ(events, (std::vector<std::string>{"sheet off", "busy on", "busy off", "written", "refreshed", "sheet on"}));
  EXPECT_EQ(messages[0].text, "Format usb disk success");
  // The page rescans and shows block 0.
  EXPECT_EQ(std::make_tuple(scan.validBlockCount, currentEntry, SimFilter(1).presentedBlock),
            std::make_tuple(5u, 0, 0u));
}

TEST_F(BlockFormatTest, BatchCountIsCappedByTheAreaAndByOneHundredAndZeroWritesNothing) {
  MakeStick(7 * 3072 + 100, 0, 7 * 3072 + 100);
  AttachDriver(k144);
  EXPECT_EQ(Run(Batch(250)).completed, 7u);
  SimResetStats(1);
  EXPECT_TRUE(Run(Batch(0)).Succeeded());
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
  SimReset();
  MakeStick(101 * 2048, 0, 101 * 2048);
  AttachDriver(FloppyKind::k720K);
  EXPECT_EQ(Run(Batch(250, FloppyKind::k720K)).completed, 100u);
  EXPECT_EQ(SimStats(1).highestSectorWritten, 99u * 2048 + 1438);
}

TEST_F(BlockFormatTest, SingleFormatLandsInThePresentedBlock) {
  // Blocks from sector 63 (from sector 0: VolumeLockRunTest's single block run).
  MakeStick(63 + 10 * 3072, 63, 10 * 3072);
  AttachDriver(k144);
  LayBlocks(9, k144);
  ASSERT_TRUE(Run(Single(7, "DATA1")).Succeeded());
  EXPECT_EQ(RootName(7, k144), std::string("DATA1\0\0\0\0\0\0", 11));
  EXPECT_EQ(std::make_pair(SimStats(1).lowestSectorWritten, SimStats(1).highestSectorWritten),
            std::make_pair(BlockStart(7, k144), BlockStart(7, k144) + 2878));
  EXPECT_EQ(statuses, (std::vector<std::string>{"***Begin formatting floppy block 7,please wait...",
                                                "Floppy7 format is completed."}));
  EXPECT_EQ(currentEntry, 0);
  EXPECT_EQ(SimFilter(1).presentedBlock, 0u);
  // An entry text in the identifier edit: the label is its first 10 characters; in the OEM code page it is cut after
  // a whole character: 5 GBK characters, not 5 and a half.
  SimWriteRaw(1, BlockStart(5, k144), std::vector<uint8_t>(512, 0));
  const struct { int codePage; const char *identifier, *label; } labels[] = {{437, "No.5:Unformatted", "No.5:Unfor\0"},
                {936, "\u4e2d\u6587\u4e2d\u6587A\u6587", "\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4" "A\0\0"}};
  for (const auto& l : labels) {
    SimSetOemCodePage(l.codePage);
    ASSERT_TRUE(Run(Single(5, l.identifier)).Succeeded()) << l.identifier;
    EXPECT_EQ(RootName(5, k144), std::string(l.label, 11));
  }
}

TEST_F(BlockFormatTest, ABlockThatCannotBeWrittenEndsTheRunAsAFailureNamingIt) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  AttachDriver(k144);
  SimFailWritesFrom(1, 3 * 3072);
  RunOutcome run = Run(Batch(6));
  EXPECT_EQ(std::make_tuple(run.failedStep, run.failedUnit, run.completed), std::make_tuple(RunStep::kImage, 3u, 3u));
  EXPECT_EQ(messages[0].text, "Format usb disk failure\r\nfloppy block 3 could not be written.");
  EXPECT_FALSE(messages[0].information);
  EXPECT_EQ(statuses.back(), messages[0].text);
  EXPECT_EQ(scan.validBlockCount, 3u) << "the page still learns what the disk now holds";
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
  const struct { BlockFormatJob job; Refusal refusal; std::string text; } cases[] = {
      {noDisk, Refusal::kNoDisk, "Please first select a usb disk"},
      {dosWithoutVersion, Refusal::kNoDosChosen, "Please choose DOS 6.22 or DOS 7.1 for the DOS bootable disk."},
      {bigSectors, Refusal::kSectorSizeUnsupported,
       "The disk sector is greater than 512 bytes((2048B))\r\nthe soft is not support!"},
      {serviceOff, Refusal::kServiceOff, "Please start multi-floppy service."},
      {Single(7, "DATA"), Refusal::kNoBlockChosen, "Please select a floppy block."},
      {Single(1, "\u4e2d"), Refusal::kLabelNotStorable, "The character \"\u4e2d\" cannot be stored on the disk"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.job).refusal, c.refusal) << c.text;
    EXPECT_TRUE(events.empty()) << c.text;
    EXPECT_EQ(BlockFormatRefusalNotice(c.job, c.refusal).text.substr(0, c.text.size()), c.text);
  }
  EXPECT_EQ(BlockFormatQuestion(Batch(3)).text.rfind("The data in the disk will be losed", 0), 0u);
  // A driver that no longer answers cannot present the block: nothing goes to whatever it presents.
  BlockFormatJob single = Single(1, "DATA");
  SimAttachFilter(1, false);
  EXPECT_EQ(Run(single).failedStep, RunStep::kPresentBlock);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
}

TEST_F(BlockFormatTest, DosEntriesChooseTheBootProgram) {
  MakeStick(10 * 3072, 0, 10 * 3072);
  UseSmallSystemFiles("korvane_blocks_dos");
  BlockFormatJob job = Batch(1);
  job.dosBoxChecked = true;
  for (int entry : {0, 1}) {
    job.dosEntry = entry;
    ASSERT_TRUE(Run(job).Succeeded());
    std::vector<uint8_t> dbr = Sector(1, 0);
    EXPECT_EQ(std::string(dbr.begin(), dbr.end()).find("Non-System disk") != std::string::npos, entry == 0);
  }
  // Without system files the batch is refused before its first block.
  SimSetCurrentDirectory(::testing::TempDir() + "korvane_blocks_no_sysfile");
  SimResetStats(1);
  job.batchCount = 3;
  EXPECT_EQ(Run(job).refusal, Refusal::kSystemFilesUnusable);
  EXPECT_EQ(messages[0].text, Tr(kBlockSystemFilesUnusable));
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
}

}  // namespace
