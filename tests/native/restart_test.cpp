// Device restarts: the requests sent, what the simulated system does with them, and restarts that cannot happen.
#include <string>
#include <vector>

#include "disk/queries.h"
#include "disk_fixture.h"
#include "filtersvc/restart.h"

namespace {

std::vector<uint32_t> gEvents;
void RecordEvent(void*, uint32_t event) { gEvents.push_back(event); }

class RestartTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    gEvents.clear();
    SimSetDeviceEventSink(RecordEvent);
    notification = SysRegisterDeviceNotification(this, &kGuidDevinterfaceVolume);
    AddDisk(MemoryStick(8192, 1, 'E'));
    AddDisk(MemoryStick(8192, 2, 'F'));
  }
  void TearDown() override {
    SysUnregisterDeviceNotification(notification);
    SimSetDeviceEventSink(nullptr);
    EXPECT_EQ(SimOpenDevInfoSetCount(), 0) << "a device information set was left open";
    SimTest::TearDown();
  }
  // The disk node of physical drive `number`, found by its interface as the program finds it.
  static bool DiskNode(SysDevInfoSet set, int number, SysDevInfo* device) {
    std::string pdo = SimDiskPdoName(number);
    for (uint32_t i = 0; SysSetupDiEnumDeviceInfo(set, i, device); ++i) {
      char name[100] = {};
      if (SysSetupDiGetDeviceRegistryProperty(set, device, kSpdrpPhysicalDeviceObjectName, nullptr, name,
                                              sizeof name, nullptr) &&
          pdo == name)
        return true;
    }
    return false;
  }
  void* notification = nullptr;
};

TEST_F(RestartTest, StopsThenStartsWithTheExactClassInstallParameters) {
  SysDevInfoSet set = SysSetupDiGetClassDevs(&kGuidDevinterfaceDisk, kDigcfPresent | kDigcfDeviceInterface);
  SysDevInfo device{};
  ASSERT_TRUE(DiskNode(set, 1, &device));
  EXPECT_EQ(RestartDevice(set, &device), 1);
  SysSetupDiDestroyDeviceInfoList(set);

  std::vector<SimClassInstallCall> calls = SimClassInstallCalls();
  ASSERT_EQ(calls.size(), 2u);
  const uint32_t states[] = {kDicsStop, kDicsStart};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(calls[i].disk, 1);
    EXPECT_EQ(calls[i].paramsSize, 20u);
    EXPECT_EQ(calls[i].params.cbSize, 8u);
    EXPECT_EQ(calls[i].params.installFunction, kDifPropertyChange);
    EXPECT_EQ(calls[i].params.stateChange, states[i]);
    EXPECT_EQ(calls[i].params.scope, kDicsFlagConfigSpecific);
    EXPECT_EQ(calls[i].params.hwProfile, 0u);
  }
  EXPECT_EQ(SimStats(1).restarts, 1u);
  EXPECT_EQ(SimStats(2).restarts, 0u);
  EXPECT_EQ(gEvents, (std::vector<uint32_t>{0x8004, 0x8000}));
}

TEST_F(RestartTest, VolumeRestartFindsItsOwnDiskAndMakesTheSystemReadItAnew) {
  // The disk gets a partition table and a FAT volume at sector 63 while the system still sees the old layout.
  EXPECT_EQ(DetectFatType("F:"), kFatUnknown);
  uint64_t start = 0, length = 0;
  uint32_t size = 0, count = 0;
  QueryCapacityAndLayout("physicaldrive2", &size, &count, &start, &length);
  SimWriteRaw(2, 0, MbrWithPartition(63, 8000));
  SimWriteRaw(2, 63, BootRecordWithClusters(3000));
  QueryCapacityAndLayout("physicaldrive2", &size, &count, &start, &length);
  EXPECT_EQ(start, 0u) << "the layout is not read again before the device restarts";

  RestartVolume("F:");
  EXPECT_EQ(SimStats(2).restarts, 1u);
  EXPECT_EQ(SimStats(1).restarts, 0u);
  ASSERT_EQ(SimClassInstallCalls().size(), 2u);
  EXPECT_TRUE(SimClassInstallCalls()[0].volumeNode);
  QueryCapacityAndLayout("physicaldrive2", &size, &count, &start, &length);
  EXPECT_EQ(start, 63u);
  EXPECT_EQ(length, 8000u);
  EXPECT_EQ(DetectFatType("F:"), kFat12);
  uint64_t total = 0;
  ASSERT_TRUE(SysGetDiskFreeSpaceEx("F:\\", nullptr, &total, nullptr));
  EXPECT_EQ(total, 3000u * 512) << "the file system's clusters, not the partition";
}

TEST_F(RestartTest, HeldDiskIsNotRestartedAndReportsTheNeededReboot) {
  SimHoldDisk(1, true);
  RestartVolume("E:");
  EXPECT_EQ(SimStats(1).restarts, 0u);
  EXPECT_TRUE(gEvents.empty());

  SysDevInfoSet set = SysSetupDiGetClassDevs(&kGuidDevinterfaceDisk, kDigcfPresent | kDigcfDeviceInterface);
  SysDevInfo device{};
  ASSERT_TRUE(DiskNode(set, 1, &device));
  EXPECT_EQ(RestartDevice(set, &device), 0);
  SysSetupDiDestroyDeviceInfoList(set);
  EXPECT_EQ(SimStats(1).restarts, 0u);
  EXPECT_TRUE(SimDebugOutput().empty()) << "a vetoed stop is no failure of the call";
}

TEST_F(RestartTest, NothingHappensForALetterWithoutDiskOrASetThatCannotBeHad) {
  SimRemoveDisk(2);
  gEvents.clear();
  RestartVolume("F:");
  RestartVolume("Q:");
  SimFailGetClassDevs(kSysErrorNotReady);
  RestartVolume("E:");
  EXPECT_TRUE(SimClassInstallCalls().empty());
  EXPECT_TRUE(gEvents.empty());
}

TEST_F(RestartTest, FailedClassInstallerGivesZeroAndLeavesTheErrorTrace) {
  SimFailClassInstaller(kSysErrorAccessDenied);
  SysDevInfoSet set = SysSetupDiGetClassDevs(&kGuidDevinterfaceDisk, kDigcfPresent | kDigcfDeviceInterface);
  SysDevInfo device{};
  ASSERT_TRUE(DiskNode(set, 1, &device));
  EXPECT_EQ(RestartDevice(set, &device), 0);
  SysSetupDiDestroyDeviceInfoList(set);
  ASSERT_EQ(SimDebugOutput().size(), 1u);
  EXPECT_EQ(SimDebugOutput()[0], "SetupDiCallClassInstaller:Last Err(5)Access is denied.\r\n");
}

}  // namespace
