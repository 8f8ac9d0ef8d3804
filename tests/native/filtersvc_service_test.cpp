#include <string>
#include <vector>

#include "filtersvc/filter.h"
#include "filtersvc/service.h"
#include "filtersvc/texts.h"
#include "filtersvc_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes List(const std::string& bytes) { return Bytes(bytes.begin(), bytes.end()); }

class ServiceSwitchTest : public FilterServiceTest {
 protected:
  void SetUp() override {
    FilterServiceTest::SetUp();
    AddDisk(MemoryStick(8192));
    disk.deviceName = "physicaldrive1";
    disk.pdoName = SimDiskPdoName(1);
    ASSERT_EQ(disk.pdoName.compare(0, 8, "\\Device\\"), 0);
  }

  // One run of the switch, as the service thread does it; counts the block configurations it asks for.
  ServiceRunResult Run(bool start) {
    ServiceRunResult r = RunServiceSwitch(start, &disk, [this] { ++configured; });
    disk.serviceActive = r.serviceActive;
    return r;
  }
  Bytes UpperFilters() {
    uint32_t type = 0;
    Bytes data;
    if (!SimGetUpperFilters(1, &type, &data)) return Bytes();
    EXPECT_EQ(type, kRegMultiSz);
    return data;
  }
  bool HasUpperFilters() { return SimGetUpperFilters(1, nullptr, nullptr); }
  bool ServiceInstalled() { return SimRegistryKeyExists("SYSTEM\\CurrentControlSet\\Services\\Dunmarle"); }

  ServiceDisk disk;
  int configured = 0;
};

TEST_F(ServiceSwitchTest, AStartOnADeviceWithoutAListAttachesTheDriver) {
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::Started);
  EXPECT_EQ(r.registration, kFilterOk);
  EXPECT_TRUE(r.serviceActive);
  EXPECT_TRUE(r.switchChecked);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0\0", 10)));
  EXPECT_TRUE(SimFilter(1).attached);
  EXPECT_EQ(SimStats(1).restarts, 1u);
  EXPECT_EQ(configured, 1);
  EXPECT_TRUE(ServiceInstalled());
  EXPECT_TRUE(std::filesystem::exists(InstalledDriver()));
}

TEST_F(ServiceSwitchTest, AStartPutsTheFilterFirstAndOnlyOnce) {
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Partmgr\0\0", 9)));
  ASSERT_EQ(Run(true).outcome, ServiceOutcome::Started);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0Partmgr\0\0", 18)));

  // A list that names the filter already, in another case and place, is not given a second entry.
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Partmgr\0dunmarle\0\0", 18)));
  ASSERT_EQ(Run(true).outcome, ServiceOutcome::Started);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0Partmgr\0\0", 18)));
}

TEST_F(ServiceSwitchTest, AStopTakesOutEveryOccurrenceOfTheFilter) {
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Dunmarle\0Partmgr\0dunmarle\0\0", 27)));
  SimAttachFilter(1, true);
  disk.serviceActive = true;
  ServiceRunResult r = Run(false);
  EXPECT_EQ(r.outcome, ServiceOutcome::Stopped);
  EXPECT_FALSE(r.serviceActive);
  EXPECT_FALSE(r.switchChecked);
  EXPECT_EQ(UpperFilters(), List(std::string("Partmgr\0\0", 9)));
  EXPECT_FALSE(SimFilter(1).attached);
  EXPECT_EQ(configured, 0);
}

TEST_F(ServiceSwitchTest, AStopThatEmptiesTheListDeletesIt) {
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Dunmarle\0\0", 10)));
  SimAttachFilter(1, true);
  EXPECT_EQ(Run(false).outcome, ServiceOutcome::Stopped);
  EXPECT_FALSE(HasUpperFilters());
  EXPECT_FALSE(SimFilter(1).attached);
  // A device without a list is already stopped: the stop succeeds and still restarts it.
  EXPECT_EQ(Run(false).outcome, ServiceOutcome::Stopped);
  EXPECT_FALSE(HasUpperFilters());
  EXPECT_EQ(SimStats(1).restarts, 2u);
}

TEST_F(ServiceSwitchTest, ADiskWithoutADeviceNodeChangesNothing) {
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Partmgr\0\0", 9)));
  for (const char* pdo : {"\\Device\\0000ffff", "", "\\Device"}) {
    disk.pdoName = pdo;
    for (bool start : {true, false}) {
      ServiceRunResult r = Run(start);
      EXPECT_EQ(r.outcome, ServiceOutcome::NoDevice) << pdo;
      EXPECT_EQ(r.registration, kFilterNoDevice) << pdo;
      EXPECT_FALSE(r.switchChecked);
    }
  }
  EXPECT_EQ(UpperFilters(), List(std::string("Partmgr\0\0", 9)));
  EXPECT_EQ(SimStats(1).restarts, 0u);
  EXPECT_FALSE(ServiceInstalled());
  // The English text in both languages.
  ServiceMessage message = ServiceOutcomeMessage(ServiceOutcome::NoDevice);
  EXPECT_STREQ(message.text->en, "Please select a usb disk.");
  EXPECT_STREQ(message.text->zh, "Please select a usb disk.");
}

TEST_F(ServiceSwitchTest, AStartThatNeedsARebootLeavesTheSwitchOffUntilTheDriverAnswers) {
  SimHoldDisk(1, true);
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::StartNeedsRestart);
  EXPECT_EQ(r.registration, kFilterNeedsReboot);
  EXPECT_FALSE(r.serviceActive);
  EXPECT_FALSE(r.switchChecked);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0\0", 10)));
  EXPECT_FALSE(SimFilter(1).attached);
  EXPECT_EQ(configured, 0);

  // Once the other program lets go, a second start goes through without a second entry.
  SimHoldDisk(1, false);
  r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::Started);
  EXPECT_TRUE(r.switchChecked);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0\0", 10)));
  EXPECT_TRUE(SimFilter(1).attached);
}

TEST_F(ServiceSwitchTest, AStopThatNeedsARebootCountsTheServiceOff) {
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Dunmarle\0\0", 10)));
  SimAttachFilter(1, true);
  disk.serviceActive = true;
  SimHoldDisk(1, true);
  ServiceRunResult r = Run(false);
  EXPECT_EQ(r.outcome, ServiceOutcome::StopNeedsRestart);
  EXPECT_FALSE(r.serviceActive);
  EXPECT_FALSE(r.switchChecked);
  EXPECT_FALSE(HasUpperFilters());
  EXPECT_TRUE(SimFilter(1).attached) << "the driver leaves at the reboot";
}

TEST_F(ServiceSwitchTest, WithoutTheDriverFileAStartChangesNothing) {
  std::filesystem::remove(programDir + "/Dunmarle.sys");
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::DriverMissing);
  EXPECT_EQ(r.registration, -1);
  EXPECT_FALSE(r.switchChecked);
  EXPECT_FALSE(HasUpperFilters());
  EXPECT_EQ(SimStats(1).restarts, 0u);
  EXPECT_FALSE(ServiceInstalled());
  ServiceMessage message = ServiceOutcomeMessage(r.outcome);
  EXPECT_NE(std::string(message.text->en).find("\"Dunmarle.sys\""), std::string::npos);
  EXPECT_NE(std::string(message.text->zh).find("\"Dunmarle.sys\""), std::string::npos);
  EXPECT_STREQ(message.caption->en, "Plover hint");
  EXPECT_FALSE(message.errorIcon);
}

TEST_F(ServiceSwitchTest, AFailedInstallationDoesNotStopTheAttach) {
  SimSetWindowsDirectory("");
  EXPECT_EQ(Run(true).outcome, ServiceOutcome::Started);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0\0", 10)));
  EXPECT_FALSE(ServiceInstalled());
}

TEST_F(ServiceSwitchTest, DeviceSetsThatCannotBeObtainedFailTheRunAndLeaveTheDiskAsItWas) {
  SimFailGetClassDevs(kSysErrorAccessDenied);
  disk.serviceActive = true;  // not refreshed after this failure
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::StartFailed);
  EXPECT_EQ(r.registration, kFilterNoDeviceSet);
  EXPECT_TRUE(r.serviceActive);
  EXPECT_EQ(Run(false).outcome, ServiceOutcome::StopFailed);
  EXPECT_FALSE(HasUpperFilters());
  EXPECT_EQ(SimStats(1).restarts, 0u);
}

TEST_F(ServiceSwitchTest, AClassThatCannotBeListedDoesNotHideTheChangeMadeInAnother) {
  // The disk's node is in the first class searched; the volumes' class cannot be listed afterwards.
  SimFailGetClassDevsFor(kGuidDevinterfaceVolume, kSysErrorAccessDenied);
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::Started);
  EXPECT_TRUE(r.switchChecked);
  EXPECT_TRUE(SimFilter(1).attached);
  // Without a node in the classes that could be listed, the failure to list one is what is reported.
  SimFailGetClassDevsFor(kGuidDevinterfaceDisk, kSysErrorAccessDenied);
  r = Run(false);
  EXPECT_EQ(r.outcome, ServiceOutcome::StopFailed);
  EXPECT_EQ(r.registration, kFilterNoDeviceSet);
  EXPECT_TRUE(SimFilter(1).attached);
}

TEST_F(ServiceSwitchTest, AListThatCannotBeWrittenIsReportedAsAFailure) {
  // The node of the disk's volume takes no upper filter list: the write is refused, as it is without rights.
  disk.pdoName = SimVolumeDevice('E');
  ServiceRunResult r = Run(true);
  EXPECT_EQ(r.outcome, ServiceOutcome::StartFailed);
  EXPECT_EQ(r.registration, kFilterNotWritten);
  EXPECT_FALSE(r.switchChecked);
  EXPECT_EQ(configured, 0);
  EXPECT_EQ(SimStats(1).restarts, 0u);
}

TEST_F(ServiceSwitchTest, NoSelectedDiskIsAnErrorBeforeAnythingHappens) {
  ServiceRunResult r = RunServiceSwitch(true, nullptr, [this] { ++configured; });
  EXPECT_EQ(r.outcome, ServiceOutcome::NoDisk);
  EXPECT_FALSE(r.switchChecked);
  ServiceMessage message = ServiceOutcomeMessage(r.outcome);
  EXPECT_STREQ(message.caption->en, "Plover Hint");
  EXPECT_TRUE(message.errorIcon);
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
