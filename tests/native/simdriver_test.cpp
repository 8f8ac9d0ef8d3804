// The simulated filter driver: when it attaches, what it answers, and how it presents floppy blocks.
#include <cstring>

#include "disk/queries.h"
#include "disk/sectorio.h"
#include "filtersvc/restart.h"
#include "sim_fixture.h"
#include "sys/ioctl.h"

namespace {

constexpr uint32_t kBlock = 2048;  // sectors per 720K block
constexpr uint32_t kStart = 63;    // first partition

std::vector<uint8_t> MultiSz(const std::vector<std::string>& names) {
  std::vector<uint8_t> list;
  for (const std::string& n : names) {
    list.insert(list.end(), n.begin(), n.end());
    list.push_back(0);
  }
  list.push_back(0);
  return list;
}

std::vector<uint8_t> Marked(uint32_t mark) {
  std::vector<uint8_t> s(512, 0);
  std::memcpy(s.data(), &mark, sizeof mark);
  return s;
}

uint32_t MarkAt(SysHandle h, uint32_t sector) {
  uint8_t s[512] = {};
  EXPECT_EQ(ReadSectors(h, sector, 1, s), SectorIo::kOk) << "sector " << sector;
  uint32_t mark;
  std::memcpy(&mark, s, sizeof mark);
  return mark;
}

bool Configure(uint32_t sectorsPerBlock, uint32_t first, uint32_t end) {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  FilterBlockConfig config{0, sectorsPerBlock, first, end};
  uint32_t returned = 0;
  return SysDeviceIoControl(disk.get(), kIoctlFilterConfigureBlocks, &config, sizeof config, &config, sizeof config,
                            &returned);
}

class SimDriverTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    SimDiskSpec setup = MemoryStick(kStart + 4 * kBlock);
    setup.volumes[0].startSector = kStart;
    AddDisk(setup);
    for (uint32_t n = 0; n < 4; ++n)
      for (uint32_t r : {0u, 7u}) SimWriteRaw(1, kStart + n * kBlock + r, Marked(100 * n + r + 1));
  }
  static void RestartDisk() { RestartVolume("E:"); }
};

TEST_F(SimDriverTest, AttachesAtAStartOnlyWhileListedAndAnswersNothingWithout) {
  EXPECT_EQ(QueryFilterPresence("physicaldrive1"), 0);
  EXPECT_EQ(SelectBlock("physicaldrive1", 1), 0);
  EXPECT_EQ(GetCurrentBlock("physicaldrive1"), 0u);
  EXPECT_FALSE(Configure(kBlock, kStart, kStart + 4 * kBlock));

  // Listing alone changes nothing until the device starts again; the name is found in any case.
  SimSetUpperFilters(1, kRegMultiSz, MultiSz({"PartMgr", "dunMARLE"}));
  EXPECT_EQ(QueryFilterPresence("physicaldrive1"), 0);
  RestartDisk();
  EXPECT_EQ(QueryFilterPresence("physicaldrive1"), 1);
  EXPECT_TRUE(SimFilter(1).attached);

  SimSetUpperFilters(1, kRegMultiSz, MultiSz({"PartMgr"}));
  RestartDisk();
  EXPECT_EQ(QueryFilterPresence("physicaldrive1"), 0);
  // A name that only starts like the driver's is another driver.
  SimSetUpperFilters(1, kRegMultiSz, MultiSz({"Dunmarle2"}));
  RestartDisk();
  EXPECT_EQ(QueryFilterPresence("physicaldrive1"), 0);
}

TEST_F(SimDriverTest, PresentsTheSelectedBlockAtTheAddressesTheProgramUses) {
  SimAttachFilter(1, true);
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  // No configuration yet: the identity, whatever block is selected.
  ASSERT_EQ(SelectBlock("physicaldrive1", 2), 1);
  EXPECT_EQ(MarkAt(disk.get(), kStart), 1u);

  ASSERT_TRUE(Configure(kBlock, kStart, kStart + 4 * kBlock));
  ASSERT_EQ(SelectBlock("physicaldrive1", 0), 1);
  // Block 0 presented: physical S + n*B + s is block n's sector s (scan, batch format).
  for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(MarkAt(disk.get(), kStart + n * kBlock + 7), 100 * n + 8);

  ASSERT_EQ(SelectBlock("physicaldrive1", 2), 1);
  EXPECT_EQ(GetCurrentBlock("physicaldrive1"), 2u);
  // Block k presented: sector S + r reaches S + k*B + r (identifier change), and so does the volume's sector r.
  EXPECT_EQ(MarkAt(disk.get(), kStart + 7), 208u);
  DeviceHandle volume(OpenDevice("E:"));
  EXPECT_EQ(MarkAt(volume.get(), 0), 201u);
  // A write at sector S (single format) lands on block k, nowhere else.
  std::vector<uint8_t> mark = Marked(0xABCD);
  ASSERT_EQ(WriteSectors(disk.get(), kStart, 1, mark.data(), nullptr), SectorIo::kOk);
  EXPECT_EQ(SimReadRaw(1, kStart + 2 * kBlock, 1), mark);
  EXPECT_EQ(SimReadRaw(1, kStart, 1), Marked(1));
  EXPECT_EQ(SimStats(1).lowestSectorWritten, kStart + 2 * kBlock);
}

TEST_F(SimDriverTest, RefusesBlocksOutsideTheAreaAndKeepsItsStateAcrossRestarts) {
  SimSetUpperFilters(1, kRegMultiSz, MultiSz({"Dunmarle"}));
  RestartDisk();
  ASSERT_TRUE(Configure(kBlock, kStart, kStart + 4 * kBlock));
  EXPECT_EQ(SelectBlock("physicaldrive1", 4), 0);
  EXPECT_EQ(SelectBlock("physicaldrive1", 3), 1);
  // The switch selects, then restarts the volume: the block must still be presented afterwards.
  RestartDisk();
  EXPECT_EQ(GetCurrentBlock("physicaldrive1"), 3u);
  EXPECT_EQ(SimFilter(1).sectorsPerBlock, kBlock);
  // Detached, it forgets everything; attached again, it starts from block 0 with no configuration.
  SimDeleteUpperFilters(1);
  RestartDisk();
  SimSetUpperFilters(1, kRegMultiSz, MultiSz({"Dunmarle"}));
  RestartDisk();
  EXPECT_EQ(GetCurrentBlock("physicaldrive1"), 0u);
  EXPECT_EQ(SimFilter(1).sectorsPerBlock, 0u);
}

}  // namespace
