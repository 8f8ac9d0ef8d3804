// Every run of raw writes the pages start, on a machine that refuses writes into mounted, unlocked volumes as
// Windows Vista and later do: each takes the disk's volumes for the run and gives them back, and a volume that
// another program holds stops the run before anything is written.
#include "blocks_fixture.h"
#include "disk/volumelock.h"
#include "floppy/diskformat.h"
#include "pages/page_words.h"
#include "usbformat/usbformat.h"

namespace {

constexpr FloppyKind k144 = FloppyKind::k1440K;
constexpr uint64_t kStickSectors = 5 * 3072 + 1024;  // five 1.44M blocks, E: over the first half, F: the rest
constexpr uint64_t kHalf = kStickSectors / 2;

enum class Writer { kStandardFormat, kUsbFormat, kBatchBlocks, kSingleBlock, kIdentifier };

// What a run reported: done, refused because a volume is in use, and the message it gave the page, if any.
struct RunReport {
  bool done = false, inUse = false;
  std::string message, status;
};

class VolumeLockRunTest : public BlockDiskTest, public ::testing::WithParamInterface<Writer> {
 protected:
  void SetUp() override {
    BlockDiskTest::SetUp();
    UseSmallSystemFiles("korvane_volumelock");

    SimDiskSpec stick = MemoryStick(kStickSectors);
    stick.volumes[0].sectorCount = kHalf;
    stick.volumes.push_back(SimVolumeSpec{'F', kHalf, kStickSectors - kHalf, ""});
    AddDisk(stick);
    disk.deviceName = "physicaldrive1", disk.volumeName = "E:", disk.driveLetters = "E:F:";
    disk.partitionLength = kStickSectors, disk.description = "E:(4.0M,FAT12) F:(4.0M,FAT12) ";
    if (Blocks()) {
      AttachDriver(k144);
      LayBlocks(5, k144);
    }
    SimSetVistaVolumeRule(true);
    SimResetStats(1);
  }
  void TearDown() override {
    DisableVolumeLockingForTesting(false);
    BlockDiskTest::TearDown();
  }

  static bool Blocks() { return GetParam() != Writer::kStandardFormat && GetParam() != Writer::kUsbFormat; }

  // Runs the writer as its page does, with the disk's volumes.
  RunReport Run() {
    RunReport report;
    switch (GetParam()) {
      case Writer::kStandardFormat:
      case Writer::kUsbFormat: {
        UsbFormatOptions options;  // bootable behind an MBR of 63 sectors, DOS 7.1
        options.dosBoot = true, options.bootMode = 1, options.mbrSectors = 63, options.dos = kDos71;
        DeviceHandle handle(OpenDevice("physicaldrive1"));
        RunOutcome outcome = GetParam() == Writer::kUsbFormat
                                 ? RunUsbFormat(handle.get(), kStickSectors, options, "E:F:")
                                 : FormatDiskAsFloppy(handle.get(), "E:F:", FloppyKind::k1440K, kDos71);
        report.done = outcome.Succeeded(), report.inUse = outcome.failedStep == RunStep::kLockVolumes;
        break;
      }
      case Writer::kBatchBlocks:
      case Writer::kSingleBlock: {
        BlockFormatJob job;
        job.disk = disk, job.batch = GetParam() == Writer::kBatchBlocks, job.batchCount = 5, job.kind = k144;
        job.entries = ScanFloppyBlocks(disk, k144).entries, job.currentEntry = 3, job.identifier = "DATA3";
        EXPECT_EQ(SelectBlock("physicaldrive1", 3), 1);
        SimResetStats(1);
        selectsBeforeRun = SimFilter(1).selectCalls;
        BlockFormatUi ui;
        ui.written = [&report](const RunOutcome& o) { report.message = BlockFormatOutcomeNotice(o).text; };
        RunOutcome run = RunBlockFormat(job, ui);
        report.done = run.Succeeded(), report.inUse = run.failedStep == RunStep::kLockVolumes;
        break;
      }
      case Writer::kIdentifier: {
        EXPECT_EQ(SelectBlock("physicaldrive1", 2), 1);
        BlockIdentify renamed = RenameBlockIdentifier(&disk, k144, "RENAMED");
        report.done = renamed.result == 1;
        if (auto notice = BlockIdentifyNotice(renamed)) report.message = notice->text;
        if (auto status = BlockIdentifyStatus(renamed)) report.status = *status;
        break;
      }
    }
    return report;
  }

  // The first root entry's name of the volume whose boot record lies at physical sector dbrSector.
  static std::string FirstRootName(uint64_t dbrSector) {
    std::vector<uint8_t> dbr = Sector(1, dbrSector);
    uint64_t root = dbrSector + GetLe16(&dbr[14]) + uint64_t{dbr[16]} * GetLe16(&dbr[22]);
    std::vector<uint8_t> entry = Sector(1, root);
    return std::string(reinterpret_cast<const char*>(entry.data()), 11);
  }

  static void ExpectVolumesGivenBack() {
    EXPECT_FALSE(SimVolumeLocked('E') || SimVolumeLocked('F'));
    EXPECT_EQ(SimOpenHandleCount(), 0);
  }

  uint32_t selectsBeforeRun = 0;
};

TEST_P(VolumeLockRunTest, FailsUnderTheRuleWithoutTheLocksAndWritesWithThemGivingEveryVolumeBack) {
  DisableVolumeLockingForTesting(true);
  RunReport report = Run();
  EXPECT_FALSE(report.done);
  EXPECT_FALSE(report.inUse);
  ExpectVolumesGivenBack();
  DisableVolumeLockingForTesting(false);
  SimResetStats(1);
  report = Run();
  EXPECT_TRUE(report.done) << report.message;
  EXPECT_FALSE(report.inUse);
  EXPECT_GT(SimStats(1).writeCalls, 0u);
  ExpectVolumesGivenBack();
  // What each run writes last has landed; a refused system file transfer, for one, does not fail its format.
  const std::string landed[] = {FirstRootName(0), FirstRootName(63), RootName(4, k144), RootName(3, k144),
                                RootName(2, k144).substr(0, 8)};
  const std::string expected[] = {"IO      SYS", "IO      SYS", std::string("FLPPY4\0\0\0\0\0", 11),
                                  std::string("DATA3\0\0\0\0\0\0", 11), std::string("RENAMED\0", 8)};
  EXPECT_EQ(landed[int(GetParam())], expected[int(GetParam())]);  // the last block of the batch lies in F:
}

TEST_P(VolumeLockRunTest, AVolumeHeldByAnotherProgramStopsTheRunBeforeAnyWrite) {
  SimHoldVolume('F', true);
  RunReport report = Run();
  EXPECT_FALSE(report.done);
  EXPECT_EQ(SimStats(1).writeCalls + SimStats(1).restarts, 0u);
  ExpectVolumesGivenBack();
  // E: was locked before F: refused: it is handed back still mounted, as the user had it.
  EXPECT_TRUE(SimVolumeMounted('E') && SimVolumeMounted('F'));
  if (GetParam() == Writer::kIdentifier) {
    EXPECT_EQ(report.message, "Modify disk identifier faiure.");
    EXPECT_EQ(report.status, "The usb disk maybe used by another application.");
    return;
  }
  EXPECT_TRUE(report.inUse);
  if (!Blocks()) return;
  EXPECT_EQ(report.message, "Format usb disk failure");
  // The driver goes on presenting the block it presented: the run ended before it asked for another.
  EXPECT_EQ(SimFilter(1).selectCalls, selectsBeforeRun);
  EXPECT_EQ(SimFilter(1).presentedBlock, 3u);
}

std::string WriterName(const ::testing::TestParamInfo<Writer>& info) {
  const char* names[] = {"StandardFormat", "UsbFormat", "BatchBlocks", "SingleBlock", "Identifier"};
  return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Writers, VolumeLockRunTest,
                         ::testing::Values(Writer::kStandardFormat, Writer::kUsbFormat, Writer::kBatchBlocks,
                                           Writer::kSingleBlock, Writer::kIdentifier),
                         WriterName);

}  // namespace
