#include <thread>

#include "base/selfcheck.h"
#include "disk_fixture.h"
#include "fatfiles/fatfiles.h"
#include "floppy/floppy.h"

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

TEST_F(SectorIoTest, FillsGoOutInChunksThatEndOnMebibyteBoundariesAndWritesInOneTransfer) {
  struct Case { uint32_t start, count, calls; } cases[] = {
      {100, 0, 0}, {100, 1948, 1}, {100, 1949, 2}, {2047, 2, 2}, {0, 4095, 2}};
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
  // The fill buffer is refilled when a shorter fill, or one of another byte, left it holding other bytes.
  for (auto [start, count, byte] : {std::tuple{0u, 1u, 0xF6}, {10u, 40u, 0xF6}, {100u, 2u, 0}, {200u, 45u, 0xF6},
                                    {300u, 45u, 0}}) {
    SimWriteRaw(1, start, std::vector<uint8_t>(count * 512, 0xEE));
    ASSERT_EQ(FillSectors(disk.get(), start, count, static_cast<uint8_t>(byte), nullptr), SectorIo::kOk);
    EXPECT_TRUE(AllBytes(1, start, count, static_cast<uint8_t>(byte))) << start;
  }
  std::vector<uint8_t> data(2879 * 512), back(data.size());
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 512 + 1);
  SimResetStats(1);
  ASSERT_EQ(WriteSectors(disk.get(), 7, 2879, data.data(), nullptr), SectorIo::kOk);
  EXPECT_EQ(SimStats(1).writeCalls, 1u);
  ASSERT_EQ(ReadSectors(disk.get(), 7, 2879, back.data()), SectorIo::kOk);
  EXPECT_EQ(back, data);
  EXPECT_EQ(ReadSectors(disk.get(), 5, 0, back.data()), SectorIo::kOk);
  EXPECT_EQ(back[0], 1) << "a read of no sectors moved bytes";
}

// Each fault gives its code, nothing is written past it, and the run counts only the transfers that went through.
TEST_F(SectorIoTest, EveryFaultGivesItsCodeAndWritesNothingPastIt) {
  std::atomic<bool> stop{false};
  RunControl run;
  run.stop = &stop;
  uint8_t buffer[4 * 512] = {};
  enum Fault { kNone, kFailFrom1000, kFailFrom2100, kShort, kStop, kSelfCheck };
  // call: Read, Write or Fill; counted: the sectors the run counts.
  struct Case { const char* name; Fault fault; char call; uint32_t start, count; SectorIo expected; uint64_t counted; }
  const cases[] = {
      {"a read past the end", kNone, 'R', 4094, 4, SectorIo::kShortTransfer, 0},
      {"a failed write", kFailFrom1000, 'W', 998, 4, SectorIo::kCallFailed, 0},
      {"a fill failing in its first chunk", kFailFrom1000, 'F', 1000, 100, SectorIo::kCallFailed, 0},
      {"a fill failing after its first chunk", kFailFrom2100, 'F', 2000, 1000, SectorIo::kCallFailed, 48},
      {"a short write", kShort, 'W', 10, 4, SectorIo::kShortTransfer, 0},
      {"a short read", kShort, 'R', 10, 4, SectorIo::kShortTransfer, 0},
      {"a stopped run's write", kStop, 'W', 0, 4, SectorIo::kStopped, 0},
      {"a stopped run's fill", kStop, 'F', 0, 9, SectorIo::kStopped, 0},
      {"a refused read", kSelfCheck, 'R', 0, 1, SectorIo::kRefused, 0},
      {"a refused write", kSelfCheck, 'W', 0, 1, SectorIo::kRefused, 0},
      {"a refused fill", kSelfCheck, 'F', 0, 3, SectorIo::kRefused, 0},
      {"a fill of no sectors", kNone, 'F', 5, 0, SectorIo::kOk, 0},
  };
  for (const Case& c : cases) {
    SimResetStats(1);
    run.done = 0;
    SimFailWritesFrom(1, c.fault == kFailFrom1000 ? 1000 : c.fault == kFailFrom2100 ? 2100 : UINT64_MAX);
    SimShortTransfers(1, c.fault == kShort);
    stop = c.fault == kStop;
    SelfCheckForceFailureForTesting(c.fault == kSelfCheck);
    const SectorIo got = c.call == 'R'   ? ReadSectors(disk.get(), c.start, c.count, buffer)
                         : c.call == 'W' ? WriteSectors(disk.get(), c.start, c.count, buffer, &run)
                                         : FillSectors(disk.get(), c.start, c.count, 0x77, &run);
    EXPECT_EQ(got, c.expected) << c.name;
    EXPECT_EQ(run.done, c.counted * 512) << c.name;
    EXPECT_EQ(SimStats(1).sectorsWrittenPastFailure, 0u) << c.name;
  }
  SimFailWritesFrom(1, UINT64_MAX);
  SimShortTransfers(1, false);
  SelfCheckForceFailureForTesting(false);
  EXPECT_TRUE(AllBytes(1, 2000, 48, 0x77) && AllBytes(1, 2048, 952, 0)) << "the chunk before the failure only";
  EXPECT_NE(ReadSectors(disk.get(), 4096, 1, buffer), SectorIo::kOk) << "a read past the disk's end";
}

TEST_F(SectorIoTest, AFailedReadLeavesATraceLineAndBadDeviceNamesAreRefused) {
  SimFailReadsFrom(1, 0, kSysErrorDeviceNotConnected);
  SimClearDebugOutput();
  uint8_t buffer[512];
  EXPECT_EQ(ReadSectors(disk.get(), 3, 1, buffer), SectorIo::kCallFailed);
  EXPECT_EQ(SimDebugOutput(), std::vector<std::string>{"ReadFile:Last Err(48f)The device is not connected.\r\n"});
  EXPECT_FALSE(DeviceHandle(OpenDevice("physicaldrive1000000000000000")).valid());
  EXPECT_FALSE(DeviceHandle(OpenDevice("physicaldrive7")).valid());
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

// A simulated stick on a sparse image file of the host, removed again at the end.
class ImageStickTest : public SimTest {
 protected:
  void Stick(uint64_t sectors) {
    AddDisk(image.Stick(sectors));
    disk = DeviceHandle(OpenDevice("physicaldrive1"));
  }
  void TearDown() override {
    disk.reset();
    SimTest::TearDown();
    SimReset();
  }
  SparseImage image{"sectorio"};
  DeviceHandle disk;
};

// A stick of 3.5 GiB: the seek carries the byte offset's high part, so sectors across and past the 2 GiB line are
// reached where they lie, and a run that would go on past the last 32-bit sector number is refused whole instead of
// wrapping round to sector 0.
TEST_F(ImageStickTest, SectorsPastTwoGibibytesAreReachedAndNoRunWrapsRound) {
  Stick(7340032);
  std::vector<uint8_t> data(4 * 512), back(data.size());
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 512 + 0x31);
  for (uint32_t start : {4194302u, 4194304u, 7340028u}) {
    ASSERT_EQ(WriteSectors(disk.get(), start, 4, data.data(), nullptr), SectorIo::kOk) << "sector " << start;
    ASSERT_EQ(ReadSectors(disk.get(), start, 4, back.data()), SectorIo::kOk) << "sector " << start;
    EXPECT_TRUE(back == data && SimReadRaw(1, start, 4) == data) << "sector " << start;
  }
  ASSERT_EQ(FillSectors(disk.get(), 4193000, 3000, 0xC3, nullptr), SectorIo::kOk);
  EXPECT_EQ(SimReadRaw(1, 4193000, 3000), std::vector<uint8_t>(3000 * 512, 0xC3));
  EXPECT_EQ(SimReadRaw(1, 0, 8), std::vector<uint8_t>(8 * 512, 0)) << "a transfer landed at the disk's start";
  SimResetStats(1);
  EXPECT_EQ(WriteSectors(disk.get(), 0xFFFFFFFFu, 2, data.data(), nullptr), SectorIo::kSeekFailed);
  EXPECT_EQ(FillSectors(disk.get(), 0xFFFFFFFEu, 3, 0, nullptr), SectorIo::kSeekFailed);
  EXPECT_EQ(ReadSectors(disk.get(), 0xFFFFFFFFu, 2, data.data()), SectorIo::kSeekFailed);
  EXPECT_EQ(SimStats(1).writeCalls + SimStats(1).readCalls, 0u);
}

// A run longer than one transfer takes each part from its own place; the last 32-bit sector is reached, and a
// FAT volume that ends on it opens.
TEST_F(ImageStickTest, LongRunsAndTheLastThirtyTwoBitSector) {
  Stick(uint64_t{1} << 32);
  std::vector<uint8_t> data((kMaxSectorsPerWrite + 1) * 512);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 512 % 251);
  ASSERT_EQ(WriteSectors(disk.get(), 100, kMaxSectorsPerWrite + 1, data.data(), nullptr), SectorIo::kOk);
  EXPECT_TRUE(SimReadRaw(1, 100, kMaxSectorsPerWrite + 1) == data);
  EXPECT_EQ(ReadSectors(disk.get(), 0xFFFFFFFFu, 1, data.data()), SectorIo::kOk);
  const uint32_t start = 0xFFFFFFFFu - 2879;
  ASSERT_TRUE(WriteFloppyImage(disk.get(), start, FloppyKind::k1440K, "EDGE", kDosNone).Succeeded());
  std::vector<FatFileEntry> entries;
  EXPECT_TRUE(ListFatDirectory(disk.get(), start, "", &entries).ok());
}

}  // namespace
