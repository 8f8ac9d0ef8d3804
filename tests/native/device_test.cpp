// Devices over the simulated machine: capacity and layout, descriptor, FAT type and filter presence queries; the
// trace lines; device restarts; exclusive volumes; discovery of USB disks, the disk list lines of the three pages,
// the selection after a refill and the service check box.
#include "base/texts.h"
#include "base/trace.h"
#include "disk/discovery.h"
#include "disk/disklist.h"
#include "disk/partition.h"
#include "disk/queries.h"
#include "disk/volumelock.h"
#include "disk_fixture.h"
#include "filtersvc/restart.h"
#include "floppy/floppy.h"
#include "sys/ioctl.h"

namespace {

// Returned count, bytes per sector, sector count, partition start and length; outputs start as sentinels so that
// "left untouched" shows.
using Answer = std::array<uint64_t, 5>;
Answer Query(const char* device = "physicaldrive1") {
  uint32_t bytesPerSector = 777, sectorCount = 0;
  uint64_t start = 999, length = 999;
  uint32_t returned = QueryCapacityAndLayout(device, &bytesPerSector, &sectorCount, &start, &length);
  return {returned, bytesPerSector, sectorCount, start, length};
}

using QueryTest = SimTest;

TEST_F(QueryTest, CapacityAndTheFirstLayoutEntryInSectors) {
  SparseImage image("queries_2g");
  AddDisk(image.Stick(3964928));  // last block address 3,964,927
  EXPECT_EQ(Query(), (Answer{3964928, 512, 3964928, 0, 3964928}));
  EXPECT_EQ(SimDebugOutput().back(), " StartingOffset:0,PartitionLength:3c8000");

  SimReset();
  SimDiskSpec setup = MemoryStick(8192);
  setup.refusesScsiPassThrough = true;
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(63, 8192 - 63));  // starting offset 32,256 bytes
  EXPECT_EQ(Query(), (Answer{0, 777, 0, 63, 8129})) << "without capacity the sector size stays untouched";
  EXPECT_EQ(SimDebugOutput().back(), " StartingOffset:3f,PartitionLength:1fc1");

  SimFailOpen(1, kSysErrorSharingViolation);
  EXPECT_EQ(Query(), (Answer{0, 777, 0, 999, 999})) << "a device that cannot be opened reports nothing";
  EXPECT_EQ(Query("physicaldrive7")[0], 0u);
}

TEST_F(QueryTest, LayoutsLargerThanTheFirstBufferAreReadUpToTheLastSize) {
  SimDiskSpec setup = MemoryStick(8192);
  setup.extraLayoutEntries = 40;  // 8 + 44 x 32 = 1,416 bytes
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(2048, 4096, 1));  // an empty first slot reads as zeros, as on Windows
  EXPECT_EQ(Query(), (Answer{8192, 512, 8192, 0, 0}));

  SimReset();
  setup.extraLayoutEntries = 74;  // 8 + 78 x 32 = 2,504 bytes: beyond the last size tried (2,472)
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(2048, 4096));
  EXPECT_EQ(Query(), (Answer{8192, 512, 8192, 999, 999}));
  EXPECT_TRUE(SimDebugOutput().empty());
}

TEST_F(QueryTest, FatTypeIsReadFromTheVolumesOwnFirstSector) {
  SimDiskSpec setup = MemoryStick(8192);
  setup.volumes[0].startSector = 63;
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(63, 8192 - 63));
  SimWriteRaw(1, 63, BootRecordWithClusters(4085));  // the rule itself: FatTypeRule
  EXPECT_EQ(DetectFatType("E:"), kFat16);
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  EXPECT_EQ(DetectFatType(disk.get()), kFatUnknown) << "sector 0 of the disk is its partition table";
  ASSERT_TRUE(disk.valid()) << "the handle form leaves the handle open";
  SimWriteRaw(1, 63, std::vector<uint8_t>(512, 0));
  EXPECT_EQ(DetectFatType("E:"), kFatUnknown);
  EXPECT_EQ(DetectFatType("Q:"), kFatUnknown);
  SimWriteRaw(1, 63, BootRecordWithClusters(4084));
  SimFailReadsFrom(1, 0);
  EXPECT_EQ(DetectFatType("E:"), kFatUnknown);
}

TEST_F(QueryTest, PresenceNeedsTheDriversMarkNotJustASuccess) {
  SimDiskSpec foreign = MemoryStick(4096);
  foreign.foreignDriverAcceptsAll = true;  // completes the request with the buffer's 15 bytes
  AddDisk(foreign);
  AddDisk(MemoryStick(4096, 2, 'F'));
  SimAttachFilter(2, true);
  EXPECT_EQ(QueryFilterPresence("physicaldrive1"), 0);
  EXPECT_EQ(GetCurrentBlock("physicaldrive1"), 0u);
  EXPECT_EQ(QueryFilterPresence("physicaldrive2"), 1);
  EXPECT_EQ(QueryFilterPresence(""), 0);
  EXPECT_EQ(SelectBlock(nullptr, 1), 0);
  EXPECT_EQ(GetCurrentBlock(nullptr), 0u);
}

TEST_F(QueryTest, DescriptorTextsStayInsideTheBuffer) {
  SimDiskSpec setup = MemoryStick(4096);
  setup.vendor = std::string(600, 'V');  // pushes the product past the 551-byte buffer
  AddDisk(setup);
  DeviceHandle volume(OpenDevice("E:"));
  std::vector<uint8_t> buffer(kDescriptorBufferSize, 0xCC);
  ASSERT_TRUE(QueryStorageDescriptor(volume.get(), buffer.data(), kDescriptorBufferSize));
  StorageDeviceDescriptor d;
  std::memcpy(&d, buffer.data(), sizeof d);
  char text[1000];
  ASSERT_TRUE(DescriptorText(buffer.data(), kDescriptorBufferSize, d.vendorIdOffset, text, sizeof text));
  EXPECT_EQ(std::strlen(text), kDescriptorBufferSize - d.vendorIdOffset) << "cut at the buffer's end";
  EXPECT_FALSE(DescriptorText(buffer.data(), kDescriptorBufferSize, d.productIdOffset, text, sizeof text));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(DescriptorText(buffer.data(), kDescriptorBufferSize, 0, text, sizeof text));
  // A text longer than the caller's field is cut to it.
  ASSERT_TRUE(DescriptorText(buffer.data(), kDescriptorBufferSize, d.vendorIdOffset, text, 5));
  EXPECT_STREQ(text, "VVVV");
  const uint8_t stops[] = {0, 'A', 1, 'B', 0, 'C'};
  ASSERT_TRUE(DescriptorText(stops, sizeof stops, 1, text, sizeof text));
  EXPECT_STREQ(text, "A\x01" "B") << "only a zero byte ends the text";
}

TEST_F(QueryTest, TraceLinesAreCutTo510CharactersAndALineFeedAndLastErrorsCarryTheirText) {
  std::string fits(511, 'a'), tooLong(600, 'b');
  TraceLine("%s", fits.c_str());
  TraceLine("%s", tooLong.c_str());
  TraceLine("StartingOffset:%d", 3072);
  SysSetLastError(kSysErrorSharingViolation);
  TraceLastError("WriteDBR");
  SysSetLastError(0xE0000203);  // no system text: the line ends after the number
  TraceLastError("SetupDiCallClassInstaller");
  EXPECT_EQ(SimDebugOutput(),
            (std::vector<std::string>{fits, std::string(510, 'b') + "\n", "StartingOffset:3072",
                                      "WriteDBR:Last Err(20)The process cannot access the file because it is being "
                                      "used by another process.\r\n",
                                      "SetupDiCallClassInstaller:Last Err(e0000203)"}));
}

TEST(PartitionTable, TheFirstValidSlotOfASignedSectorThatIsNoBootRecord) {
  PartitionTable table = ReadPartitionTable(MbrWithPartition(63, 8129, 1).data(), 8192);
  EXPECT_EQ(table.kind, PartitionTableKind::kTable);
  EXPECT_EQ(table.firstValid, 1);
  EXPECT_EQ(std::make_pair(table.slots[1].start, table.slots[1].sectors), std::make_pair(63u, 8129u));
  EXPECT_EQ(ReadPartitionTable(MbrWithPartition(63, 8130).data(), 8192).kind, PartitionTableKind::kNoValidEntry);
  for (uint16_t bytesPerSector : {512, 1024, 2048, 4096}) {  // a boot record of any sector size holds no table
    std::vector<uint8_t> br = BootRecordWithClusters(100);
    PutLe16(&br[bpb::kBytesPerSector], bytesPerSector);
    EXPECT_EQ(ReadPartitionTable(br.data(), 8192).kind, PartitionTableKind::kNone) << bytesPerSector;
  }
}

TEST(Language, OnlyChinesePrcGivesChinese) {
  for (auto [id, language] : {std::pair{2052, Language::Chinese}, {1033, Language::English}, {1028, Language::English}})
    EXPECT_EQ(LanguageFromLangId(id), language) << id;
}

class RestartTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AddDisk(MemoryStick(8192, 1, 'E'));
    AddDisk(MemoryStick(8192, 2, 'F'));
  }
  static std::pair<unsigned, unsigned> Restarts() { return {unsigned(SimStats(1).restarts), unsigned(SimStats(2).restarts)}; }
  using Fields = std::vector<uint32_t>;
};

// (What a restart returns, the service's runs show: FilterServiceTest.)
TEST_F(RestartTest, StopsThenStartsWithTheExactClassInstallParameters) {
  RestartVolume("E:");
  std::vector<SimClassInstallCall> calls = SimClassInstallCalls();
  ASSERT_EQ(calls.size(), 2u);
  const uint32_t states[] = {kDicsStop, kDicsStart};
  for (size_t i = 0; i < 2; ++i) {
    const auto& p = calls[i].params;
    EXPECT_EQ((Fields{uint32_t(calls[i].disk), calls[i].paramsSize, p.cbSize, p.installFunction, p.stateChange,
                      p.scope, p.hwProfile}),
              (Fields{1, 20, 8, kDifPropertyChange, states[i], kDicsFlagConfigSpecific, 0}));
  }
  EXPECT_EQ(Restarts(), std::make_pair(1u, 0u));
}

TEST_F(RestartTest, VolumeRestartFindsItsOwnDiskAndMakesTheSystemReadItAnew) {
  // The disk gets a partition table and a FAT volume at sector 63 while the system still sees the old layout.
  EXPECT_EQ(DetectFatType("F:"), kFatUnknown);
  Query("physicaldrive2");
  SimWriteRaw(2, 0, MbrWithPartition(63, 8000));
  SimWriteRaw(2, 63, BootRecordWithClusters(3000));
  EXPECT_EQ(Query("physicaldrive2")[3], 0u) << "the layout is not read again before the device restarts";

  RestartVolume("F:");
  EXPECT_EQ(Restarts(), std::make_pair(0u, 1u));
  ASSERT_EQ(SimClassInstallCalls().size(), 2u);
  EXPECT_TRUE(SimClassInstallCalls()[0].volumeNode);
  EXPECT_EQ(Query("physicaldrive2"), (Answer{8192, 512, 8192, 63, 8000}));
  EXPECT_EQ(DetectFatType("F:"), kFat12);
}

// A held disk is not restarted, and a vetoed stop is no failure of the call; a letter without a disk or a set that
// cannot be had restarts nothing; a failing class installer leaves its error trace.
TEST_F(RestartTest, RestartsThatCannotHappen) {
  SimHoldDisk(1, true);
  RestartVolume("E:");
  EXPECT_EQ(SimStats(1).restarts, 0u);
  EXPECT_TRUE(SimDebugOutput().empty());
  SimHoldDisk(1, false);
  SimFailClassInstaller(kSysErrorAccessDenied);
  RestartVolume("E:");
  EXPECT_EQ(SimDebugOutput(), std::vector<std::string>{"SetupDiCallClassInstaller:Last Err(5)Access is denied.\r\n"});
  SimFailClassInstaller(0);
  const size_t calls = SimClassInstallCalls().size();
  SimRemoveDisk(2);
  RestartVolume("F:");
  RestartVolume("Q:");
  SimFailGetClassDevs(kSysErrorNotReady);
  RestartVolume("E:");
  EXPECT_EQ(SimClassInstallCalls().size(), calls);
}

// Exclusive volumes: a volume that is gone is skipped, and every volume is given back dismounted, so the system
// mounts the new file system when it is next opened. (Runs under the rule and volumes held by another program:
// the volume lock runs test.)
TEST_F(QueryTest, ExclusiveVolumesSkipVolumesThatAreGoneAndAreGivenBackDismounted) {
  AddDisk(MemoryStick(2000));
  ExclusiveVolumes volumes;
  ASSERT_TRUE(TakeExclusiveVolumes("E:Q:", &volumes));
  EXPECT_EQ(volumes.handles.size(), 1u);
  EXPECT_TRUE(SimVolumeLocked('E'));
  ReleaseExclusiveVolumes(&volumes);
  EXPECT_FALSE(SimVolumeLocked('E') || SimVolumeMounted('E'));
}

SimDiskSpec Disk(int number, uint32_t bus, std::vector<SimVolumeSpec> volumes, uint64_t sectors = 4096) {
  SimDiskSpec setup = MemoryStick(sectors, number);
  setup.busType = bus, setup.volumes = volumes;
  return setup;
}
SimVolumeSpec Volume(char letter, uint64_t start = 0, uint64_t count = 0) { return SimVolumeSpec{letter, start, count, ""}; }

// Drive number, letters, volume, description and service state of a slot.
std::string Slot(const RemovableDisk& d) {
  return std::to_string(d.driveNumber) + "|" + d.driveLetters + "|" + d.volumeName + "|" + d.description + "|" +
         std::to_string(d.serviceActive);
}

class DiscoveryTest : public SimTest {
 protected:
  DiskTable table;
};

TEST_F(DiscoveryTest, OneStickFillsOneSlotWithEverythingThePagesUse) {
  SparseImage image("discovery_stick");
  SimDiskSpec setup = image.Stick(4000000);
  setup.volumes[0].startSector = 63;
  setup.volumes[0].sectorCount = 3994214;  // 1950.3 MiB
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(63, 3994214));
  SimWriteRaw(1, 63, BootRecordWithClusters(30000));
  table.slots[5].driveNumber = 9;  // whatever the table held before goes
  DiscoverDisks(&table);

  ASSERT_EQ(DiskCount(table), 1);
  const RemovableDisk& d = table.slots[0];
  // The description holds the file system's 30000 clusters, not the partition; vendor "Generic " and product
  // " Flash Disk" as the device reports them.
  EXPECT_EQ(Slot(d) + "|" + d.deviceName + "|" + d.productName + "|" + d.hardwareKey,
            "1|E:|E:|E:(14.6M,FAT16) |0|physicaldrive1|Generic Flash Disk|VEN_Generic&PROD_Flash_Disk");
  EXPECT_EQ((std::vector<uint64_t>{d.sectorCount, d.bytesPerSector, d.partitionStart, d.partitionLength, d.fatKind}),
            (std::vector<uint64_t>{4000000, 512, 63, 3994214, 0}));
  EXPECT_EQ(std::string(d.pdoName), SimDiskPdoName(1));
  EXPECT_EQ(std::string(d.volumeDevice), SimVolumeDevice('E'));
  EXPECT_NE(d.pdoName[0], '\0');
  EXPECT_TRUE(table.slots[1].driveNumber == 255 && table.slots[5].driveNumber == 255 && !table.slots[1].deviceName[0]);
}

TEST_F(DiscoveryTest, VolumesAreGroupedByDiskInDriveLetterOrder) {
  // E: and G: on disk 1, F: on disk 2; G: lies on a second partition.
  AddDisk(Disk(1, kSimBusUsb, {Volume('G', 2048, 2048), Volume('E', 0, 2048)}));
  AddDisk(Disk(2, kSimBusUsb, {Volume('F')}, 8192));
  SimWriteRaw(1, 0, BootRecordWithClusters(2000));
  SimWriteRaw(1, 2048, BootRecordWithClusters(1000));
  SimAttachFilter(2, true);
  DiscoverDisks(&table);

  ASSERT_EQ(DiskCount(table), 2);
  EXPECT_EQ(Slot(table.slots[0]), "1|E:G:|E:|E:(1.0M,FAT12) G:(0.5M,FAT12) |0");
  EXPECT_EQ(Slot(table.slots[1]), "2|F:|F:|F:(4.0M,Unknown) |1") << "no boot record signature";
  // A volume formatted as a floppy: its size is its file system's data area, as Windows reports it, not the disk.
  for (auto [kind, size] : {std::pair(FloppyKind::k720K, "0.7"), {FloppyKind::k1200K, "1.2"}, {FloppyKind::k1440K, "1.4"}}) {
    std::vector<uint8_t> dbr(512);
    BuildFloppyDbr(kind, nullptr, kDosNone, dbr.data());
    SimWriteRaw(2, 0, dbr);
    DiscoverDisks(&table);
    EXPECT_STREQ(table.slots[1].description, ("F:(" + std::string(size) + "M,FAT12) ").c_str());
  }
}

TEST_F(DiscoveryTest, OnlyUsbDisksOtherThanDriveZeroWithDriveLettersAreListed) {
  AddDisk(Disk(0, kSimBusUsb, {Volume('C')}));        // a USB hard disk the system numbers 0
  AddDisk(Disk(3, kSimBusAta, {Volume('D')}));
  AddDisk(Disk(4, kSimBusScsi, {Volume('H')}));
  SimDiskSpec cd = Disk(5, kSimBusUsb, {Volume('I')});
  cd.deviceType = kSimDeviceTypeCdRom;
  AddDisk(cd);
  AddDisk(Disk(6, kSimBusUsb, {Volume('A')}));        // a USB floppy drive
  AddDisk(Disk(8, kSimBusUsb, {}));                   // no drive letters
  DiscoverDisks(&table);
  EXPECT_EQ(DiskCount(table), 0);
  for (const RemovableDisk& slot : table.slots) EXPECT_EQ(slot.driveNumber, 255);

  AddDisk(Disk(999999, kSimBusUsb, {Volume('K')}));  // the largest number whose name fits
  DiscoverDisks(&table);
  ASSERT_EQ(DiskCount(table), 1);
  EXPECT_STREQ(table.slots[0].deviceName, "physicaldrive999999");
}

TEST_F(DiscoveryTest, IdentificationTextsAreTrimmedAndAbsentOnesNamed) {
  SimDiskSpec setup = Disk(1, kSimBusUsb, {Volume('E')});
  setup.vendor = "\t A/B ", setup.hasProduct = false;
  // The key's "/" is looked for as "#", and case does not matter.
  setup.interfacePath = "\\\\?\\USBSTOR#DISK&VEN_A#B&PROD_(NULL)&REV_1.00#1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  AddDisk(setup);
  SimDiskSpec other = Disk(2, kSimBusUsb, {Volume('F')});
  other.interfacePath = "\\\\?\\usbstor#disk&ven_other&prod_thing#2#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  AddDisk(other);
  DiscoverDisks(&table);
  ASSERT_EQ(DiskCount(table), 2);
  EXPECT_STREQ(table.slots[0].productName, "A/B (NULL)");
  EXPECT_STREQ(table.slots[0].hardwareKey, "VEN_A/B&PROD_(NULL)");
  EXPECT_EQ(std::string(table.slots[0].pdoName), SimDiskPdoName(1));
  // A disk whose interface does not carry its key keeps both names empty.
  EXPECT_STREQ(table.slots[1].pdoName, "");
  EXPECT_STREQ(table.slots[1].volumeDevice, "");

  EXPECT_EQ(TrimBlanks(" \t Flash Disk\t  "), "Flash Disk");
  EXPECT_EQ(TrimBlanks(" \t "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks(std::string(1500, 'x').c_str()).size(), 999u);
}

TEST_F(DiscoveryTest, ManyVolumesAreCutToWholeTextsWithinTheirFields) {
  std::vector<SimVolumeSpec> volumes;
  for (char letter = 'E'; letter <= 'Z'; ++letter) volumes.push_back(Volume(letter, 0, 2048));
  SimDiskSpec setup = Disk(1, kSimBusUsb, volumes);
  setup.vendor = std::string(300, 'V');  // longer than any text field
  AddDisk(setup);
  DiscoverDisks(&table);
  ASSERT_EQ(DiskCount(table), 1);
  const RemovableDisk& d = table.slots[0];
  EXPECT_EQ(std::strlen(d.driveLetters), 44u);
  std::string description = d.description;
  EXPECT_LE(description.size(), 99u);
  EXPECT_EQ(description.size() % std::strlen("E:(1.0M,Unknown) "), 0u) << description;
  EXPECT_EQ(std::strlen(d.productName), 99u);
  EXPECT_EQ(std::strlen(d.hardwareKey), 204u);
  EXPECT_EQ(std::string(d.pdoName), SimDiskPdoName(1)) << "the cut key still finds its interface";
}

constexpr DiskListPage kStandard = DiskListPage::Standard, kEnhanced = DiskListPage::Enhanced,
                       kUsbFormat = DiskListPage::UsbFormat;

TEST(DiskListLine, UnitsAndFormsDifferByPage) {
  struct { DiskListPage page; uint32_t sectors, bytesPerSector; const char* line; } const cases[] = {
      {kEnhanced, 3000, 512, "! 1.X( 1500.0KB\\512B): E: "}, {kStandard, 3000, 512, "1.X(1.5MB\\512B): E: "},
      {kUsbFormat, 3000, 512, "1.X(1.5MB\\512B): E: "},      {kStandard, 1, 512, "1.X(512B\\512B):E: "},
      {kStandard, 2, 512, "1.X( 1.0KB\\512B): E: "},         {kUsbFormat, 2, 512, "1.X(1024B\\512B):E: "},
      {kStandard, 2047, 512, "1.X( 1023.5KB\\512B): E: "},   {kStandard, 2048, 512, "1.X(1.0MB\\512B): E: "},
      {kEnhanced, 2048, 512, "! 1.X( 1024.0KB\\512B): E: "}, {kUsbFormat, 2097152, 512, "1.X(1.0GB\\512B): E: "},
      {kStandard, 3964928, 512, "1.X(1.9GB\\512B): E: "},    {kEnhanced, 3964928, 512, "! 1.X(1.9GB\\512B): E: "},
      {kUsbFormat, 3964928, 512, "1.X(1.9GB\\512B): E: "},
      // A disk without capacity: each page's own line.
      {kStandard, 0, 512, "1.X(0.000000B,E: )"},             {kEnhanced, 0, 512, "! 1.X(0.000000B\\512B): E: "},
      {kUsbFormat, 0, 512, "1.X(0.000000B\\512B):E: "},      {kUsbFormat, 4096, 0, "1.X(0.000000B\\0B):E: "},
  };
  for (const auto& c : cases) {
    RemovableDisk d;
    d.driveNumber = 1, d.sectorCount = c.sectors, d.bytesPerSector = c.bytesPerSector;
    std::strcpy(d.productName, "X");
    std::strcpy(d.description, "E: ");
    EXPECT_EQ(DiskListLine(c.page, d), c.line);
    d.serviceActive = 1;
    if (c.page == kEnhanced) { EXPECT_EQ(DiskListLine(c.page, d), "+" + std::string(c.line).substr(1)); }
  }
}

TEST(DiskListLine, LongLinesAreCutAtThePageLimit) {
  std::string product(99, 'P'), description(99, 'D');
  RemovableDisk d;
  d.driveNumber = 2147483647, d.sectorCount = 3964928, d.bytesPerSector = 512;
  std::strcpy(d.productName, product.c_str());
  std::strcpy(d.description, description.c_str());
  std::string full = "2147483647." + product + "(1.9GB\\512B): " + description;
  EXPECT_EQ(DiskListLine(kStandard, d), full.substr(0, 149));
  EXPECT_EQ(DiskListLine(kUsbFormat, d), full.substr(0, 149));
  EXPECT_EQ(DiskListLine(kEnhanced, d), "! " + full) << "fits in 299";
}

TEST(DiskListSelection, RememberedIndexOnlyWhenItHasALine) {
  for (auto [index, count, selection] : {std::tuple{1, 2, 1}, {2, 2, kNoSelection}, {0, 0, kNoSelection}, {-1, 3, kNoSelection}})
    EXPECT_EQ(DiskListSelection(index, count), selection) << index << " of " << count;
}

TEST_F(DiscoveryTest, RefillShowsTheDisksAndSetsTheServiceSwitchFromTheSelection) {
  DiskListView view = RefreshDiskTable(kEnhanced, &table, 0);
  EXPECT_TRUE(view.lines.empty());
  EXPECT_EQ(std::make_pair(view.selection, view.serviceChecked), std::make_pair(kNoSelection, false));

  AddDisk(MemoryStick(4096, 1, 'E'));
  SimAddVolume(1, SimVolumeSpec{'F', 2048, 2048, ""});
  AddDisk(MemoryStick(4096, 2, 'G'));
  SimAttachFilter(2, true);
  view = RefreshDiskTable(kEnhanced, &table, 1);
  ASSERT_EQ(view.lines.size(), 2u);
  EXPECT_EQ(view.lines[0], "! 1.Generic Flash Disk(2.0MB\\512B): E:(2.0M,Unknown) F:(1.0M,Unknown) ");
  EXPECT_EQ(view.lines[1].substr(0, 4), "+ 2.");
  EXPECT_EQ(std::make_pair(view.selection, view.serviceChecked), std::make_pair(1, true));
  EXPECT_FALSE(RefreshDiskTable(kStandard, &table, 1).serviceChecked) << "only the enhanced page has the switch";
  view = RefreshDiskTable(kEnhanced, &table, 2);
  EXPECT_EQ(std::make_pair(view.selection, view.serviceChecked), std::make_pair(kNoSelection, false));
  table.slots[2].serviceActive = 1;
  EXPECT_FALSE(ServiceSwitchChecked(table, 2)) << "a selection past the list";
}

}  // namespace
