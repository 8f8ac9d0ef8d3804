#include <cstdio>
#include <string>
#include <thread>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include "base/selfcheck.h"
#include "disk/sectorio.h"
#include "sim_fixture.h"

namespace {

class SectorIoTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AddDisk(MemoryStick(4096));
    disk = DeviceHandle(OpenDevice("physicaldrive1"));
    ASSERT_TRUE(disk.valid());
    SimResetStats(1);
  }
  void TearDown() override {
    disk.reset();
    SimTest::TearDown();
  }
  DeviceHandle disk;
};

TEST_F(SectorIoTest, FillGoesOutInChunksThatEndOnMebibyteBoundaries) {
  struct Case {
    uint32_t start, count, calls;
  } cases[] = {{100, 0, 0}, {100, 1948, 1}, {100, 1949, 2}, {2047, 2, 2}, {0, 4095, 2}};
  for (const Case& c : cases) {
    SimWriteRaw(1, 0, std::vector<uint8_t>(4096 * 512, 0));
    SimResetStats(1);
    ASSERT_EQ(FillSectors(disk.get(), c.start, c.count, 0x5A, nullptr), SectorIo::kOk);
    EXPECT_EQ(SimStats(1).writeCalls, c.calls) << c.start << "+" << c.count;
    for (const SimTransfer& t : SimTransfers(1)) {
      const uint64_t end = t.firstSector + t.sectorCount;
      EXPECT_TRUE(end == c.start + c.count || end % 2048 == 0) << "a chunk before the last ends inside a MiB";
    }
    EXPECT_TRUE(AllBytes(1, c.start, c.count, 0x5A));
    EXPECT_TRUE(AllBytes(1, c.start + c.count, 1, 0)) << "wrote past the fill";
  }
}

TEST_F(SectorIoTest, FillBufferIsRefilledWhenAShorterFillLeftItPartlyOtherBytes) {
  ASSERT_EQ(FillSectors(disk.get(), 0, 1, 0xF6, nullptr), SectorIo::kOk);
  ASSERT_EQ(FillSectors(disk.get(), 10, 40, 0xF6, nullptr), SectorIo::kOk);
  EXPECT_TRUE(AllBytes(1, 10, 40, 0xF6));
  // Back and forth between bytes, with a short fill in between.
  ASSERT_EQ(FillSectors(disk.get(), 100, 2, 0x00, nullptr), SectorIo::kOk);
  ASSERT_EQ(FillSectors(disk.get(), 200, 45, 0xF6, nullptr), SectorIo::kOk);
  ASSERT_EQ(FillSectors(disk.get(), 300, 45, 0x00, nullptr), SectorIo::kOk);
  EXPECT_TRUE(AllBytes(1, 200, 45, 0xF6));
  SimWriteRaw(1, 300, std::vector<uint8_t>(45 * 512, 0xEE));
  ASSERT_EQ(FillSectors(disk.get(), 300, 45, 0x00, nullptr), SectorIo::kOk);
  EXPECT_TRUE(AllBytes(1, 300, 45, 0x00));
}

TEST_F(SectorIoTest, AWriteGoesOutInOneTransfer) {
  std::vector<uint8_t> data(2879 * 512);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 512 + 1);
  ASSERT_EQ(WriteSectors(disk.get(), 7, 2879, data.data(), nullptr), SectorIo::kOk);
  EXPECT_EQ(SimStats(1).writeCalls, 1u);
  EXPECT_EQ(SimReadRaw(1, 7, 2879), data);
  std::vector<uint8_t> back(data.size());
  ASSERT_EQ(ReadSectors(disk.get(), 7, 2879, back.data()), SectorIo::kOk);
  EXPECT_EQ(back, data);
}

TEST_F(SectorIoTest, ZeroSectorTransfersSucceedAndMoveNothing) {
  uint8_t buffer[512] = {1};
  EXPECT_EQ(ReadSectors(disk.get(), 5, 0, buffer), SectorIo::kOk);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(FillSectors(disk.get(), 5, 0, 0xAA, nullptr), SectorIo::kOk);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
}

TEST_F(SectorIoTest, FailedAndShortTransfersGiveTheirCodes) {
  uint8_t buffer[4 * 512] = {};
  // Past the end of the disk: the system reports a failure or a short read, never success.
  SectorIo pastEnd = ReadSectors(disk.get(), 4096, 1, buffer);
  EXPECT_TRUE(pastEnd == SectorIo::kCallFailed || pastEnd == SectorIo::kShortTransfer)
      << static_cast<uint32_t>(pastEnd);
  EXPECT_EQ(ReadSectors(disk.get(), 4094, 4, buffer), SectorIo::kShortTransfer);

  SimFailWritesFrom(1, 1000);
  EXPECT_EQ(WriteSectors(disk.get(), 998, 4, buffer, nullptr), SectorIo::kCallFailed);
  SimFailWritesFrom(1, UINT64_MAX);
  // A fill stops at the failing chunk: the chunks before it are written, none after it.
  SimFailWritesFrom(1, 2100);
  EXPECT_EQ(FillSectors(disk.get(), 2000, 1000, 0x77, nullptr), SectorIo::kCallFailed);
  EXPECT_TRUE(AllBytes(1, 2000, 48, 0x77));
  EXPECT_TRUE(AllBytes(1, 2048, 952, 0x00));
  SimFailWritesFrom(1, UINT64_MAX);

  SimShortTransfers(1, true);
  EXPECT_EQ(WriteSectors(disk.get(), 10, 4, buffer, nullptr), SectorIo::kShortTransfer);
  EXPECT_EQ(ReadSectors(disk.get(), 10, 4, buffer), SectorIo::kShortTransfer);
}

TEST_F(SectorIoTest, AFailedReadLeavesAReadFileTraceLineWithTheSystemText) {
  SimFailReadsFrom(1, 0, kSysErrorDeviceNotConnected);
  SimClearDebugOutput();
  uint8_t buffer[512];
  EXPECT_EQ(ReadSectors(disk.get(), 3, 1, buffer), SectorIo::kCallFailed);
  std::vector<std::string> out = SimDebugOutput();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], "ReadFile:Last Err(48f)The device is not connected.\r\n");
}

TEST_F(SectorIoTest, TheSelfCheckRefusesEveryTransfer) {
  SelfCheckForceFailureForTesting(true);
  uint8_t buffer[512] = {};
  EXPECT_EQ(ReadSectors(disk.get(), 0, 1, buffer), SectorIo::kRefused);
  EXPECT_EQ(WriteSectors(disk.get(), 0, 1, buffer, nullptr), SectorIo::kRefused);
  EXPECT_EQ(FillSectors(disk.get(), 0, 3, 0x11, nullptr), SectorIo::kRefused);
  SelfCheckForceFailureForTesting(false);
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  EXPECT_TRUE(SelfCheckPasses());
}

TEST_F(SectorIoTest, DeviceNamesThatDoNotFitThePathAreRefused) {
  DeviceHandle tooLong(OpenDevice("physicaldrive1000000000000000"));
  EXPECT_FALSE(tooLong.valid());
  DeviceHandle missing(OpenDevice("physicaldrive7"));
  EXPECT_FALSE(missing.valid());
  EXPECT_EQ(SysGetLastError(), kSysErrorFileNotFound);
}

TEST_F(SectorIoTest, ConcurrentFillsWriteOnlyTheirOwnByte) {
  auto fill = [this](uint32_t start, uint8_t byte) {
    for (int round = 0; round < 20; ++round)
      ASSERT_EQ(FillSectors(disk.get(), start, 95, byte, nullptr), SectorIo::kOk);
  };
  std::thread a(fill, 1000, 0xAA), b(fill, 2000, 0x55);
  a.join();
  b.join();
  EXPECT_TRUE(AllBytes(1, 1000, 95, 0xAA));
  EXPECT_TRUE(AllBytes(1, 2000, 95, 0x55));
}

// A stick of 3.5 GiB on a sparse image file: the seek carries the byte offset's high part, so sectors across and
// past the 2 GiB line are reached where they lie, and a run that would go on past the last 32-bit sector number is
// refused whole instead of wrapping round to sector 0.
TEST(SectorIoLimits, SectorsPastTwoGibibytesAreReachedAndNoRunWrapsRound) {
  SimReset();
  std::string path = ::testing::TempDir() + "korvane-large-" + std::to_string(getpid()) + ".img";
  SimDiskSpec setup = MemoryStick(7340032);
  setup.imagePath = path;
  setup.createImage = true;
  ASSERT_TRUE(SimAddDisk(setup));
  {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    ASSERT_TRUE(disk.valid());
    std::vector<uint8_t> data(4 * 512);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 512 + 0x31);
    for (uint32_t start : {4194302u, 4194304u, 7340028u}) {
      ASSERT_EQ(WriteSectors(disk.get(), start, 4, data.data(), nullptr), SectorIo::kOk) << "sector " << start;
      EXPECT_EQ(SimReadRaw(1, start, 4), data) << "sector " << start;
      std::vector<uint8_t> back(data.size());
      ASSERT_EQ(ReadSectors(disk.get(), start, 4, back.data()), SectorIo::kOk) << "sector " << start;
      EXPECT_EQ(back, data) << "sector " << start;
    }
    ASSERT_EQ(FillSectors(disk.get(), 4193000, 3000, 0xC3, nullptr), SectorIo::kOk);
    for (uint8_t b : SimReadRaw(1, 4193000, 3000)) ASSERT_EQ(b, 0xC3);
    for (uint8_t b : SimReadRaw(1, 0, 8)) ASSERT_EQ(b, 0) << "a transfer past 2 GiB landed at the disk's start";

    SimResetStats(1);
    EXPECT_EQ(WriteSectors(disk.get(), 0xFFFFFFFFu, 2, data.data(), nullptr), SectorIo::kSeekFailed);
    EXPECT_EQ(FillSectors(disk.get(), 0xFFFFFFFEu, 3, 0, nullptr), SectorIo::kSeekFailed);
    EXPECT_EQ(ReadSectors(disk.get(), 0xFFFFFFFFu, 2, data.data()), SectorIo::kSeekFailed);
    EXPECT_EQ(SimStats(1).writeCalls + SimStats(1).readCalls, 0u);
  }
  SimReset();
  std::remove(path.c_str());
}

// A write the host takes only in part (a full file system; here the file size limit, which cuts a write the same
// way) fails, and every sector it reached counts as written, the one it reached in part included; so do the
// sectors a short transfer moved.
TEST(SimWriteAccounting, TheSectorsOfAWriteThatLandedInPartCountAsWritten) {
  SimReset();
  std::string path = ::testing::TempDir() + "korvane-partial-" + std::to_string(getpid()) + ".img";
  SimDiskSpec setup = MemoryStick(4096);
  setup.imagePath = path;
  setup.createImage = true;
  ASSERT_TRUE(SimAddDisk(setup));
  {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    ASSERT_TRUE(disk.valid());
    std::vector<uint8_t> data(16 * 512, 0xAB);
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 100 * 512 + 300;  // the host keeps the bytes before this offset only
    setrlimit(RLIMIT_FSIZE, &limit);
    const SectorIo code = WriteSectors(disk.get(), 90, 16, data.data(), nullptr);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(code, SectorIo::kCallFailed);
    SimDiskStats stats = SimStats(1);
    EXPECT_EQ(stats.sectorsWritten, 11u) << "sectors 90 to 100, the last in part";
    EXPECT_EQ(stats.lowestSectorWritten, 90u);
    EXPECT_EQ(stats.highestSectorWritten, 100u);
    EXPECT_EQ(stats.firstFailedSector, 100u);
    for (uint8_t b : SimReadRaw(1, 90, 10)) ASSERT_EQ(b, 0xAB);

    SimResetStats(1);
    SimShortTransfers(1, true);
    EXPECT_EQ(WriteSectors(disk.get(), 10, 4, data.data(), nullptr), SectorIo::kShortTransfer);
    EXPECT_EQ(SimStats(1).sectorsWritten, 3u);
  }
  SimReset();
  std::remove(path.c_str());
}

}  // namespace
