// Long runs under a run control: the stop asked for by the user, the capacity check and the read-back that catch a
// stick claiming more than it holds.
#include "blocks/blocks.h"
#include "disk/verify.h"
#include "floppy/floppy.h"
#include "sim_fixture.h"
#include "usbformat/usbformat.h"

namespace {

constexpr uint32_t kStick = 16 * 2048;  // 16 MiB, room for 10 blocks of 1.44M

class RunControlTest : public SimTest {
 protected:
  // A stick of kStick sectors holding 0xAB everywhere; with real > 0 it wraps round after `real` sectors.
  static void Stick(uint64_t real) {
    SimReset();
    SimSetLocalTime(SysTime{2026, 12, 1, 7, 12, 0, 0, 0});
    SimDiskSpec setup = MemoryStick(kStick);
    setup.realSectors = real;
    AddFilledDisk(setup, 0xAB);
    SimResetStats(1);
  }
  static RunOutcome Batch(uint32_t count, bool verify) {
    RunControl control;
    control.verify = verify;
    return FormatFloppyBlocks("physicaldrive1", 0, 0, count, true, BlockFormatOptions(), nullptr, &control);
  }
};

// The total is reported as soon as a run announces it: the page's progress starts at 0 % of the right size.
TEST(RunProgress, AnAnnouncedTotalIsReportedBeforeAnyWrite) {
  RunControl run;
  std::vector<std::pair<uint64_t, uint64_t>> reports;
  run.progress = [&](uint64_t done, uint64_t total) { reports.emplace_back(done, total); };
  RunExpect(&run, 4096);
  EXPECT_EQ(reports, (std::vector<std::pair<uint64_t, uint64_t>>{{0, 4096}}));
}

TEST_F(RunControlTest, AStickThatWrapsAtHalfItsSizeIsCaughtBeforeAnyBlockIsWrittenAndASoundAreaChangesNothing) {
  Stick(kStick / 2);
  const std::vector<uint8_t> before = SimReadRaw(1, 0, kStick / 2);
  RunOutcome checked = Batch(10, true);
  // Sector 0, the block area's start, shows the marker written half the disk further on.
  EXPECT_EQ(std::make_tuple(checked.failedStep, checked.completed, checked.sector, checked.failedUnit),
            std::make_tuple(RunStep::kCapacity, 0u, 0u, 0u));
  EXPECT_EQ(SimReadRaw(1, 0, kStick / 2), before) << "the check put back what it overwrote";
  // Without the check the same batch reports success over blocks the later ones overwrote.
  RunOutcome unchecked = Batch(10, false);
  EXPECT_EQ(unchecked.completed, 10u);
  EXPECT_TRUE(unchecked.Succeeded());
  EXPECT_NE(Sector(1, 0 + 19)[0], 'F') << "block 0's identifier is no longer FLPPY0";
  // A batch that fits what the stick holds writes the same bytes with the check and the read-back as without.
  std::vector<uint8_t> written[2];
  for (bool verify : {false, true}) {
    Stick(kStick / 2);
    RunOutcome r = Batch(5, verify);
    EXPECT_TRUE(r.completed == 5 && r.Succeeded()) << "verify " << verify;
    EXPECT_EQ(r.verify, verify ? Verify::kPassed : Verify::kNotRun) << "verify " << verify;
    written[verify] = SimReadRaw(1, 0, kStick);
  }
  EXPECT_EQ(written[0], written[1]) << "the check and the read-back change no byte";
}

TEST_F(RunControlTest, TheReadBackComparesWhatWasWrittenLastAndNamesTheFirstSectorThatDiffers) {
  Stick(kStick / 2);
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  RunControl control;
  control.verify = true;
  // A fill and a sector written over it later: the later bytes count.
  ASSERT_EQ(FillSectors(disk.get(), 1000, 5000, 0xF6, &control), SectorIo::kOk);
  std::vector<uint8_t> sector(512, 0x11);
  ASSERT_EQ(WriteSectors(disk.get(), 3000, 1, sector.data(), &control), SectorIo::kOk);
  EXPECT_TRUE(VerifyRunWrites(disk.get(), &control).ok);
  // What lands on sector x + half wraps onto sector x, which then no longer holds what the run wrote there.
  ASSERT_EQ(WriteSectors(disk.get(), kStick / 2 + 2000, 1, sector.data(), &control), SectorIo::kOk);
  const VerifyResult result = VerifyRunWrites(disk.get(), &control);
  EXPECT_TRUE(!result.ok && !result.readFailed);
  EXPECT_EQ(result.badSector, 2000u);
}

TEST_F(RunControlTest, AStopEndsAUsbFormatBeforeItsNextWriteWithTheVolumeStructureWritten) {
  Stick(0);
  std::atomic<bool> stop{false};
  RunControl control;
  control.stop = &stop;
  // Asked for once the fill has written its first chunk.
  control.progress = [&stop](uint64_t done, uint64_t) { stop = stop || done > 2 * 1024 * 1024; };
  UsbFormatOptions options;
  options.fillDataArea = true, options.fillByte = 0xE5, options.clusterBytes = 2048;
  const RunOutcome outcome =
      RunUsbFormat(DeviceHandle(OpenDevice("physicaldrive1")).get(), kStick, options, nullptr, nullptr, &control);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.failedStep, RunStep::kFill) << "the DBR, FATs and root directory were written";
  EXPECT_EQ(Sector(1, 0)[510], 0x55);
  EXPECT_LT(SimStats(1).highestSectorWritten, 3u * 2048) << "the fill went on after the stop";
  EXPECT_EQ(control.done, SimStats(1).sectorsWritten * 512);
  EXPECT_GT(control.total, 15u * 1024 * 1024) << "the total counts the whole fill";
}

TEST_F(RunControlTest, TheCapacityCheckTellsTheRunWhichSectorsItCouldNotPutBack) {
  Stick(0);
  std::vector<std::vector<uint32_t>> reports;
  RunControl control;
  control.capacityChecked = [&reports](const std::vector<uint32_t>& notPutBack) { reports.push_back(notPutBack); };
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  ASSERT_TRUE(CheckDiskCapacity(disk.get(), 0, kStick, &control).ok);
  // A marker goes to each place, then the old bytes go back, the first place's last: that write fails.
  SimFailWriteCall(1, SimStats(1).writeCalls - 1);
  EXPECT_TRUE(CheckDiskCapacity(disk.get(), 0, kStick, &control).ok);
  EXPECT_EQ(control.done, 0u) << "the check's markers and put-back bytes counted as the run's writes";
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_TRUE(reports[0].empty()) << "a sound disk holds all its old bytes again";
  EXPECT_EQ(reports[1], std::vector<uint32_t>{0});
  EXPECT_FALSE(AllBytes(1, 0, 1, 0xAB)) << "sector 0 still holds its marker";
  EXPECT_EQ(SimReadRaw(1, 0, 1)[480 + 28], 480 % 256) << "the marker names its sector and each record its offset";
  EXPECT_TRUE(AllBytes(1, 1, kStick - 1, 0xAB));
}

}  // namespace
