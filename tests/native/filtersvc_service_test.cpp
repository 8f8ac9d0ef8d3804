#include <string>
#include <vector>

#include "disk/queries.h"
#include "filtersvc/filter.h"
#include "filtersvc/service.h"
#include "filtersvc_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes List(const std::string& bytes) { return Bytes(bytes.begin(), bytes.end()); }
const Bytes kFilterOnly = List(std::string("Dunmarle\0\0", 10));

class ServiceSwitchTest : public FilterServiceTest {
 protected:
  void SetUp() override {
    FilterServiceTest::SetUp();
    AddDisk(MemoryStick(8192));
    disk.deviceName = "physicaldrive1";
    disk.pdoName = SimDiskPdoName(1);
  }
  // One run of the switch as the service thread makes it, counting the block configurations it asks for.
  ServiceRunResult Run(bool start) {
    ServiceRunResult r = RunServiceSwitch(start, &disk, [this] { ++configured; });
    disk.serviceActive = r.serviceActive;
    return r;
  }
  // The disk's upper filter list; "absent" when it has none.
  static Bytes UpperFilters() {
    uint32_t type = 0;
    Bytes data;
    if (!SimGetUpperFilters(1, &type, &data)) return List("absent");
    EXPECT_EQ(type, kRegMultiSz);
    return data;
  }
  void StartWithFilterAttached(const std::string& list) {
    SimSetUpperFilters(1, kRegMultiSz, List(list));
    SimAttachFilter(1, true);
    disk.serviceActive = true;
  }

  ServiceDisk disk;
  int configured = 0;
};

TEST_F(ServiceSwitchTest, AStartPutsTheFilterFirstAndOnlyOnce) {
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::Started);
  EXPECT_TRUE(r.serviceActive && r.switchChecked);
  EXPECT_EQ(UpperFilters(), kFilterOnly);
  EXPECT_TRUE(SimFilter(1).attached);
  EXPECT_EQ(configured, 1);
  EXPECT_TRUE(ServiceInstalled());
  EXPECT_EQ(FileText(InstalledDriver()), "driver v2");

  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Partmgr\0\0", 9)));
  ASSERT_EQ(Run(true).outcome, ServiceOutcome::Started);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0Partmgr\0\0", 18)));
  // A list that names the filter already, in another case and place, gets no second entry.
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Partmgr\0dunmarle\0\0", 18)));
  ASSERT_EQ(Run(true).outcome, ServiceOutcome::Started);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0Partmgr\0\0", 18)));
}

TEST_F(ServiceSwitchTest, AStopTakesOutEveryOccurrenceAndDeletesAnEmptiedList) {
  StartWithFilterAttached(std::string("Dunmarle\0Partmgr\0dunmarle\0\0", 27));
  ServiceRunResult r = Run(false);
  EXPECT_EQ(r.outcome, ServiceOutcome::Stopped);
  EXPECT_FALSE(r.serviceActive || r.switchChecked);
  EXPECT_EQ(UpperFilters(), List(std::string("Partmgr\0\0", 9)));
  EXPECT_FALSE(SimFilter(1).attached);

  StartWithFilterAttached(std::string("Dunmarle\0\0", 10));
  EXPECT_EQ(Run(false).outcome, ServiceOutcome::Stopped);
  EXPECT_EQ(UpperFilters(), List("absent"));
  // Without a list there is nothing to take out: the stop still succeeds.
  EXPECT_EQ(Run(false).outcome, ServiceOutcome::Stopped);
  EXPECT_EQ(configured, 0);
}

TEST_F(ServiceSwitchTest, RestartsThatNeedARebootLeaveTheSwitchOff) {
  SimHoldDisk(1, true);
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::StartNeedsRestart);
  EXPECT_FALSE(r.serviceActive || r.switchChecked) << "the driver does not answer before the reboot";
  EXPECT_EQ(UpperFilters(), kFilterOnly);
  EXPECT_EQ(configured, 0);
  // Once the other program lets go, a second start goes through.
  SimHoldDisk(1, false);
  EXPECT_TRUE(Run(true).switchChecked);
  EXPECT_EQ(UpperFilters(), kFilterOnly);

  SimHoldDisk(1, true);
  r = Run(false);
  EXPECT_EQ(r.outcome, ServiceOutcome::StopNeedsRestart);
  EXPECT_FALSE(r.serviceActive || r.switchChecked);
  EXPECT_EQ(UpperFilters(), List("absent"));
  EXPECT_TRUE(SimFilter(1).attached) << "the driver leaves at the reboot";
}

TEST_F(ServiceSwitchTest, RunsThatCannotReachTheDeviceChangeNothing) {
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Partmgr\0\0", 9)));
  for (const char* pdo : {"\\Device\\0000ffff", ""}) {
    disk.pdoName = pdo;
    EXPECT_EQ(Run(true).outcome, ServiceOutcome::NoDevice) << pdo;
    EXPECT_EQ(Run(false).outcome, ServiceOutcome::NoDevice) << pdo;
  }
  EXPECT_EQ(RunServiceSwitch(true, nullptr, nullptr).outcome, ServiceOutcome::NoDisk);

  disk.pdoName = SimDiskPdoName(1);
  std::filesystem::remove(programDir + "/Dunmarle.sys");
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::DriverMissing);
  EXPECT_FALSE(r.switchChecked);

  EXPECT_EQ(UpperFilters(), List(std::string("Partmgr\0\0", 9)));
  EXPECT_EQ(SimStats(1).restarts, 0u);
  EXPECT_FALSE(ServiceInstalled());
}

TEST_F(ServiceSwitchTest, ADriverTheSystemDoesNotLoadIsAFailureAndLeavesTheDiskAsItWas) {
  // 64-bit Windows refuses an unsigned driver: the disk that lists it cannot start.
  SimSetFilterDriverLoads(false);
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Partmgr\0\0", 9)));
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::DriverNotLoaded);
  EXPECT_FALSE(r.serviceActive || r.switchChecked);
  EXPECT_EQ(configured, 0);
  EXPECT_EQ(UpperFilters(), List(std::string("Partmgr\0\0", 9)));
  EXPECT_EQ(QueryFilterPresence("physicaldrive1"), 0);
  EXPECT_TRUE(SimVolumeMounted('E')) << "the disk starts again without the filter";
}

TEST_F(ServiceSwitchTest, AFailedInstallationDoesNotStopTheAttach) {
  SimSetWindowsDirectory("");
  EXPECT_EQ(Run(true).outcome, ServiceOutcome::Started);
  EXPECT_EQ(UpperFilters(), kFilterOnly);
  EXPECT_FALSE(ServiceInstalled());
}

TEST_F(ServiceSwitchTest, DeviceSetsThatCannotBeObtained) {
  // The disk's node is in the first class searched: a later class that cannot be listed does not undo its change.
  SimFailGetClassDevsFor(kGuidDevinterfaceVolume, kSysErrorAccessDenied);
  EXPECT_EQ(Run(true).outcome, ServiceOutcome::Started);
  // Without any node found, a class that could not be listed is the failure.
  SimFailGetClassDevs(kSysErrorAccessDenied);
  ServiceRunResult r = Run(false);
  EXPECT_EQ(r.outcome, ServiceOutcome::StopFailed);
  EXPECT_EQ(r.registration, FilterResult::kNoDeviceSet);
  EXPECT_EQ(UpperFilters(), kFilterOnly);
}

TEST_F(ServiceSwitchTest, AListThatCannotBeWrittenIsAFailureNotAStart) {
  // The node of the disk's volume takes no upper filter list: the write is refused, as it is without rights.
  disk.pdoName = SimVolumeDevice('E');
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::StartFailed);
  EXPECT_EQ(r.registration, FilterResult::kNotWritten);
  EXPECT_FALSE(r.switchChecked);
  EXPECT_EQ(configured, 0);
  EXPECT_EQ(SimStats(1).restarts, 0u);
}

TEST(ServiceRun, AClickWhileARunGoesOnIsRefusedUntilItEnds) {
  ASSERT_TRUE(BeginServiceRun());
  EXPECT_FALSE(BeginServiceRun());
  EndServiceRun();
  EXPECT_TRUE(BeginServiceRun());
  EndServiceRun();
}

}  // namespace
