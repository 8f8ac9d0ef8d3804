// The filter service: the upper filter list, the service's installation and the start and stop of the switch, on a
// simulated machine whose current directory and Windows directory are fresh host directories.
#include <algorithm>
#include <iterator>

#include "disk/queries.h"
#include "filtersvc/filter.h"
#include "filtersvc/install.h"
#include "filtersvc/service.h"
#include "sim_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes List(const std::string& bytes) { return Bytes(bytes.begin(), bytes.end()); }
Bytes Text(const std::string& text) { return Bytes(text.c_str(), text.c_str() + text.size() + 1); }
Bytes Dword(uint8_t value) { return {value, 0, 0, 0}; }
const Bytes kFilterOnly = List(std::string("Dunmarle\0\0", 10)), kPartmgr = List(std::string("Partmgr\0\0", 9));
const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Dunmarle";

TEST(UpperFilterList, AListWithoutItsZerosIsReadWithinItsSize) {
  // Device properties come from the system; each buffer is exactly the list's size, so a walk past its end shows
  // under AddressSanitizer.
  auto size = [](std::string bytes) {
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    return MultiSzSize(exact.data(), exact.size());
  };
  EXPECT_EQ(size(std::string("Dunmarle\0Partmgr\0\0", 18)), 18u);
  EXPECT_EQ(size(std::string("A\0\0B\0\0", 6)), 3u);  // an empty name ends the list
  EXPECT_EQ(size(""), 1u);
  EXPECT_EQ(size("Foo"), 5u);
  EXPECT_EQ(size(std::string("Foo\0Barbaz", 10)), 12u);
  std::string cut("Foo\0Barbaz", 10);
  EXPECT_EQ(MultiSzNames(reinterpret_cast<const uint8_t*>(cut.data()), cut.size()),
            (std::vector<std::string>{"Foo", "Barbaz"}));
}

TEST(DeviceMatch, ThePhysicalDeviceObjectNameMatchesExactlyAfterItsDevicePrefix) {
  std::string tail = PdoTail("\\Device\\00000029");
  EXPECT_TRUE(DeviceMatchesDisk("\\Device\\00000029", tail));
  EXPECT_TRUE(DeviceMatchesDisk("\\00000029", tail));           // the prefix is removed only when present
  EXPECT_FALSE(DeviceMatchesDisk("\\device\\00000029", tail));  // and compares with case
  EXPECT_FALSE(DeviceMatchesDisk("\\Device\\0000002", tail));
  EXPECT_FALSE(DeviceMatchesDisk("\\Device\\0000002A", PdoTail("\\Device\\0000002a")));
  // A disk without a name matches no device, not even one named "\Device".
  EXPECT_FALSE(DeviceMatchesDisk("\\Device", PdoTail("\\Device")));
  EXPECT_FALSE(DeviceMatchesDisk("", PdoTail("")));
}

TEST(ServiceRun, AClickWhileARunGoesOnIsRefusedUntilItEnds) {
  ASSERT_TRUE(BeginServiceRun());
  EXPECT_FALSE(BeginServiceRun());
  EndServiceRun();
  EXPECT_TRUE(BeginServiceRun());
  EndServiceRun();
}

class FilterServiceTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_TRUE(std::filesystem::create_directories(programDir));
    std::filesystem::create_directories(windowsDir + "/system32/drivers");
    SimSetCurrentDirectory(programDir);
    SimSetWindowsDirectory(windowsDir);
    std::ofstream(programDir + "/Dunmarle.sys", std::ios::binary) << "driver v2";
    AddDisk(MemoryStick(8192));
    disk.deviceName = "physicaldrive1";
    disk.pdoName = SimDiskPdoName(1);
  }
  std::string InstalledDriver() const { return windowsDir + "/system32/drivers/Dunmarle.sys"; }
  static std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static bool ServiceInstalled() { return SimRegistryKeyExists(kKey); }

  // One run of the switch as the service thread makes it, counting the block configurations it asks for: its
  // outcome, the disk's service state and the switch's afterwards.
  std::tuple<ServiceOutcome, bool, bool> Run(bool start, ServiceRunResult* result = nullptr) {
    ServiceRunResult r = RunServiceSwitch(start, &disk, [this] { ++configured; });
    disk.serviceActive = r.serviceActive;
    if (result) *result = r;
    return {r.outcome, r.serviceActive, r.switchChecked};
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

  HostDirectory host;
  const std::string programDir = host.path + "/prog", windowsDir = host.path + "/WINDOWS";
  ServiceDisk disk;
  int configured = 0;
};

TEST_F(FilterServiceTest, InstallReplacesTheDriverAndRewritesTheSevenValuesLeavingOthers) {
  std::ofstream(InstalledDriver(), std::ios::binary) << "driver v1, an older and longer file";
  SimSetRegistryValue(kKey, "Start", kRegDword, Dword(2));
  SimSetRegistryValue(kKey, "Description", kRegSz, Text("kept"));
  ASSERT_EQ(InstallFilterService(), 1);
  ASSERT_EQ(InstallFilterService(), 1);
  EXPECT_EQ(FileText(InstalledDriver()), "driver v2");
  const struct { const char* name; uint32_t type; Bytes data; } expected[] = {
      {"DisplayName", kRegSz, Text("Dunmarle")},   {"Group", kRegSz, Text("Disk Bus Extender")},
      {"ImagePath", kRegExpandSz, Text("system32\\drivers\\Dunmarle.sys")},
      {"Start", kRegDword, Dword(3)},              {"Tag", kRegDword, Dword(4)},
      {"Type", kRegDword, Dword(1)},               {"ErrorControl", kRegDword, Dword(1)},
      {"Description", kRegSz, Text("kept")},
  };
  for (const auto& v : expected) {
    uint32_t type = 0;
    Bytes data;
    // Key and value names compare without case.
    EXPECT_TRUE(SimGetRegistryValue("system\\currentcontrolset\\services\\DUNMARLE", v.name, &type, &data));
    EXPECT_EQ(data, v.data) << v.name;
    EXPECT_EQ(type, v.type) << v.name;
  }
  EXPECT_EQ(SimRegistryValueNames(kKey).size(), 8u);
}

// A failure before the service's key (a driver path too long, no driver, no key) leaves the registry alone.
TEST_F(FilterServiceTest, InstallFailuresBeforeTheKeyLeaveTheRegistryAlone) {
  // The driver's path adds 30 characters and a zero to the Windows directory: 49 characters fit, 50 do not.
  std::string fits = windowsDir + std::string(49 - windowsDir.size(), 'w'), tooLong = fits + "x";
  std::filesystem::create_directories(fits + "/system32/drivers");
  std::filesystem::create_directories(tooLong + "/system32/drivers");
  SimSetWindowsDirectory(tooLong);
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_FALSE(std::filesystem::exists(tooLong + "/system32/drivers/Dunmarle.sys"));
  SimSetWindowsDirectory(fits);
  std::filesystem::remove(programDir + "/Dunmarle.sys");
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_FALSE(SimRegistryKeyExists("SYSTEM\\CurrentControlSet\\Services"));
  EXPECT_FALSE(std::filesystem::exists(fits + "/system32/drivers/Dunmarle.sys"));

  std::ofstream(programDir + "/Dunmarle.sys", std::ios::binary) << "driver v2";
  SimFailRegistryCreate(kSysErrorAccessDenied);
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_EQ(FileText(fits + "/system32/drivers/Dunmarle.sys"), "driver v2");  // the copy came first
  EXPECT_FALSE(ServiceInstalled());
  SimFailRegistryCreate(0);
  EXPECT_EQ(InstalledDriverPath(), fits + "\\system32\\drivers\\Dunmarle.sys");
  EXPECT_EQ(InstallFilterService(), 1);
}

TEST_F(FilterServiceTest, AStartPutsTheFilterFirstAndOnlyOnce) {
  EXPECT_EQ(Run(true), std::make_tuple(ServiceOutcome::Started, true, true));
  EXPECT_EQ(UpperFilters(), kFilterOnly);
  EXPECT_EQ(std::make_tuple(SimFilter(1).attached, configured, ServiceInstalled()), std::make_tuple(true, 1, true));
  EXPECT_EQ(FileText(InstalledDriver()), "driver v2");

  // A list that names the filter already, in another case and place, gets no second entry.
  for (const char* list : {"Partmgr\0\0", "Partmgr\0dunmarle\0\0"}) {
    SimSetUpperFilters(1, kRegMultiSz, List(std::string(list, list[8] ? 18 : 9)));
    EXPECT_EQ(std::get<0>(Run(true)), ServiceOutcome::Started);
    EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0Partmgr\0\0", 18))) << list;
  }
  SimSetUpperFilters(1, kRegMultiSz, List(std::string("Fltrdisk\0\0", 10)));
  EXPECT_EQ(std::get<0>(Run(true)), ServiceOutcome::Started);
  EXPECT_EQ(UpperFilters(), List(std::string("Dunmarle\0Fltrdisk\0\0", 19))) << "another name of the same length";
}

TEST_F(FilterServiceTest, AStopTakesOutEveryOccurrenceAndDeletesAnEmptiedList) {
  StartWithFilterAttached(std::string("Dunmarle\0Partmgr\0dunmarle\0\0", 27));
  EXPECT_EQ(Run(false), std::make_tuple(ServiceOutcome::Stopped, false, false));
  EXPECT_EQ(UpperFilters(), kPartmgr);
  EXPECT_FALSE(SimFilter(1).attached);

  StartWithFilterAttached(std::string("Dunmarle\0\0", 10));
  EXPECT_EQ(std::get<0>(Run(false)), ServiceOutcome::Stopped);
  EXPECT_EQ(UpperFilters(), List("absent"));
  // Without a list there is nothing to take out: the stop still succeeds.
  EXPECT_EQ(std::get<0>(Run(false)), ServiceOutcome::Stopped);
  EXPECT_EQ(configured, 0);
}

TEST_F(FilterServiceTest, RestartsThatNeedARebootLeaveTheSwitchOff) {
  SimHoldDisk(1, true);
  EXPECT_EQ(Run(true), std::make_tuple(ServiceOutcome::StartNeedsRestart, false, false)) << "no driver before the reboot";
  EXPECT_EQ(UpperFilters(), kFilterOnly);
  EXPECT_EQ(configured, 0);
  // Once the other program lets go, a second start goes through.
  SimHoldDisk(1, false);
  EXPECT_TRUE(std::get<2>(Run(true)));
  EXPECT_EQ(UpperFilters(), kFilterOnly);
  SimFailClassInstaller(kSysErrorAccessDenied);  // a restart that fails needs the reboot just the same
  EXPECT_EQ(std::get<0>(Run(true)), ServiceOutcome::StartNeedsRestart);
  SimFailClassInstaller(0);

  SimHoldDisk(1, true);
  EXPECT_EQ(Run(false), std::make_tuple(ServiceOutcome::StopNeedsRestart, false, false));
  EXPECT_EQ(UpperFilters(), List("absent"));
  EXPECT_TRUE(SimFilter(1).attached) << "the driver leaves at the reboot";
}

// Runs that fail: the outcome, what the result says, and a disk left as it was.
TEST_F(FilterServiceTest, RunsThatFailLeaveTheDiskAsItWas) {
  SimSetUpperFilters(1, kRegMultiSz, kPartmgr);
  for (const char* pdo : {"\\Device\\0000ffff", ""}) {
    disk.pdoName = pdo;
    EXPECT_EQ(std::get<0>(Run(true)), ServiceOutcome::NoDevice) << pdo;
    EXPECT_EQ(std::get<0>(Run(false)), ServiceOutcome::NoDevice) << pdo;
  }
  EXPECT_EQ(RunServiceSwitch(true, nullptr, nullptr).outcome, ServiceOutcome::NoDisk);
  disk.pdoName = SimDiskPdoName(1);
  std::filesystem::remove(programDir + "/Dunmarle.sys");
  EXPECT_EQ(Run(true), std::make_tuple(ServiceOutcome::DriverMissing, false, false));
  EXPECT_FALSE(ServiceInstalled());
  EXPECT_EQ(SimStats(1).restarts, 0u);
  std::ofstream(programDir + "/Dunmarle.sys", std::ios::binary) << "driver v2";

  // The node of the disk's volume takes no upper filter list: the write is refused, as it is without rights.
  disk.pdoName = SimVolumeDevice('E');
  ServiceRunResult r;
  EXPECT_EQ(Run(true, &r), std::make_tuple(ServiceOutcome::StartFailed, false, false));
  EXPECT_EQ(r.registration, FilterResult::kNotWritten);
  EXPECT_EQ(SimStats(1).restarts, 0u);

  // 64-bit Windows refuses an unsigned driver: the disk that lists it cannot start.
  disk.pdoName = SimDiskPdoName(1);
  SimSetFilterDriverLoads(false);
  EXPECT_EQ(Run(true), std::make_tuple(ServiceOutcome::DriverNotLoaded, false, false));
  EXPECT_EQ(QueryFilterPresence("physicaldrive1"), 0);
  EXPECT_TRUE(SimVolumeMounted('E')) << "the disk starts again without the filter";
  EXPECT_EQ(configured, 0);
  EXPECT_EQ(UpperFilters(), kPartmgr);
}

TEST_F(FilterServiceTest, AFailedInstallationDoesNotStopTheAttach) {
  SimSetWindowsDirectory("");
  EXPECT_EQ(InstalledDriverPath(), "");
  EXPECT_EQ(std::get<0>(Run(true)), ServiceOutcome::Started);
  EXPECT_EQ(UpperFilters(), kFilterOnly);
  EXPECT_FALSE(ServiceInstalled());
}

TEST_F(FilterServiceTest, DeviceSetsThatCannotBeObtained) {
  // The disk's node is in the first class searched: a later class that cannot be listed does not undo its change.
  SimFailGetClassDevsFor(kGuidDevinterfaceVolume, kSysErrorAccessDenied);
  EXPECT_EQ(std::get<0>(Run(true)), ServiceOutcome::Started);
  // Without any node found, a class that could not be listed is the failure.
  SimFailGetClassDevs(kSysErrorAccessDenied);
  ServiceRunResult r;
  EXPECT_EQ(std::get<0>(Run(false, &r)), ServiceOutcome::StopFailed);
  EXPECT_EQ(r.registration, FilterResult::kNoDeviceSet);
  const std::vector<std::string> trace = SimDebugOutput();
  EXPECT_TRUE(std::any_of(trace.begin(), trace.end(), [](const std::string& line) {
    return line.rfind("SetupDiGetClassDevs:Last Err(5)", 0) == 0;
  }));
  EXPECT_EQ(UpperFilters(), kFilterOnly);
}

}  // namespace
