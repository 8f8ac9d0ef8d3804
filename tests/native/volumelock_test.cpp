#include <vector>

#include "disk/sectorio.h"
#include "disk/volumelock.h"
#include "sim_fixture.h"

namespace {

// A stick with two volumes, E: over sectors 0..999 and F: over 1000..1999, on a machine that refuses writes into
// mounted, unlocked volumes as Windows Vista and later do.
class VolumeLockTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    SimDiskSpec setup = MemoryStick(2000);
    setup.volumes[0].sectorCount = 1000;
    SimVolumeSpec f;
    f.letter = 'F';
    f.startSector = 1000;
    f.sectorCount = 1000;
    setup.volumes.push_back(f);
    AddDisk(setup);
    SimSetVistaVolumeRule(true);
  }
  static SectorIo WriteAt(uint32_t sector) {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    std::vector<uint8_t> data(512, 0xA5);
    return WriteSectors(disk.get(), sector, 1, data.data(), nullptr);
  }
};

TEST_F(VolumeLockTest, WritesIntoMountedVolumesNeedTheLockAndItIsGivenBackAfterwards) {
  EXPECT_EQ(WriteAt(10), SectorIo::kCallFailed) << "the rule has no teeth";
  {
    ExclusiveVolumes volumes;
    ASSERT_TRUE(TakeExclusiveVolumes("E:F:", &volumes));
    EXPECT_EQ(volumes.handles.size(), 2u);
    EXPECT_TRUE(SimVolumeLocked('E'));
    EXPECT_FALSE(SimVolumeMounted('F'));
    EXPECT_EQ(WriteAt(10), SectorIo::kOk);
    EXPECT_EQ(WriteAt(1500), SectorIo::kOk);
  }
  EXPECT_FALSE(SimVolumeLocked('E'));
  EXPECT_FALSE(SimVolumeLocked('F'));
  // Given back dismounted: the system mounts the new file system when the volume is next opened.
  EXPECT_FALSE(SimVolumeMounted('E'));
  DeviceHandle reopened(OpenDevice("E:"));
  EXPECT_TRUE(SimVolumeMounted('E'));
}

TEST_F(VolumeLockTest, AVolumeHeldByAnotherProgramIsNotWrittenAndNothingStaysLocked) {
  SimHoldVolume('F', true);
  ExclusiveVolumes volumes;
  EXPECT_FALSE(TakeExclusiveVolumes("E:F:", &volumes));
  EXPECT_TRUE(volumes.handles.empty());
  EXPECT_FALSE(SimVolumeLocked('E'));
  EXPECT_FALSE(SimVolumeLocked('F'));
  EXPECT_TRUE(SimVolumeMounted('E'));
  EXPECT_TRUE(SimVolumeMounted('F'));
}

TEST_F(VolumeLockTest, VolumesThatAreGoneAreSkipped) {
  ExclusiveVolumes volumes;
  EXPECT_TRUE(TakeExclusiveVolumes("E:Q:", &volumes));
  EXPECT_EQ(volumes.handles.size(), 1u);
  ReleaseExclusiveVolumes(&volumes);
  EXPECT_FALSE(SimVolumeLocked('E'));
}

}  // namespace
