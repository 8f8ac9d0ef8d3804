// Discovery of USB disks over the simulated machine, the disk list lines of the three pages, the selection after a
// refill and the service check box.
#include <cstring>
#include <string>

#include "disk/discovery.h"
#include "disk/disklist.h"
#include "disk_fixture.h"
#include "floppy/floppy.h"

namespace {

SimDiskSpec Disk(int number, uint32_t bus, std::vector<SimVolumeSpec> volumes, uint64_t sectors = 4096) {
  SimDiskSpec setup = MemoryStick(sectors, number);
  setup.busType = bus;
  setup.volumes = volumes;
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
  void TearDown() override {
    EXPECT_EQ(SimOpenDevInfoSetCount(), 0);
    SimTest::TearDown();
  }
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

  AddDisk(Disk(7, kSimBusUsb, {Volume('K')}));
  DiscoverDisks(&table);
  ASSERT_EQ(DiskCount(table), 1);
  EXPECT_STREQ(table.slots[0].deviceName, "physicaldrive7");
}

TEST_F(DiscoveryTest, IdentificationTextsAreTrimmedAndAbsentOnesNamed) {
  SimDiskSpec setup = Disk(1, kSimBusUsb, {Volume('E')});
  setup.vendor = "\t A/B ";
  setup.hasProduct = false;
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
    d.driveNumber = 1;
    d.sectorCount = c.sectors;
    d.bytesPerSector = c.bytesPerSector;
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
  d.driveNumber = 2147483647;
  d.sectorCount = 3964928;
  d.bytesPerSector = 512;
  std::strcpy(d.productName, product.c_str());
  std::strcpy(d.description, description.c_str());
  std::string full = "2147483647." + product + "(1.9GB\\512B): " + description;
  EXPECT_EQ(DiskListLine(kStandard, d), full.substr(0, 149));
  EXPECT_EQ(DiskListLine(kUsbFormat, d), full.substr(0, 149));
  EXPECT_EQ(DiskListLine(kEnhanced, d), "! " + full) << "fits in 299";
}

TEST(DiskListSelection, RememberedIndexOnlyWhenItHasALine) {
  EXPECT_EQ(DiskListSelection(1, 2), 1);
  EXPECT_EQ(DiskListSelection(2, 2), kNoSelection);
  EXPECT_EQ(DiskListSelection(0, 0), kNoSelection);
  EXPECT_EQ(DiskListSelection(-1, 3), kNoSelection);
}

TEST_F(DiscoveryTest, RefillShowsTheDisksAndSetsTheServiceSwitchFromTheSelection) {
  DiskListView view = RefreshDiskTable(kEnhanced, &table, 0);
  EXPECT_TRUE(view.lines.empty());
  EXPECT_EQ(view.selection, kNoSelection);
  EXPECT_FALSE(view.serviceChecked);

  AddDisk(MemoryStick(4096, 1, 'E'));
  SimAddVolume(1, SimVolumeSpec{'F', 2048, 2048, ""});
  AddDisk(MemoryStick(4096, 2, 'G'));
  SimAttachFilter(2, true);
  view = RefreshDiskTable(kEnhanced, &table, 1);
  ASSERT_EQ(view.lines.size(), 2u);
  EXPECT_EQ(view.lines[0], "! 1.Generic Flash Disk(2.0MB\\512B): E:(2.0M,Unknown) F:(1.0M,Unknown) ");
  EXPECT_EQ(view.lines[1].substr(0, 4), "+ 2.");
  EXPECT_EQ(view.selection, 1);
  EXPECT_TRUE(view.serviceChecked);
  EXPECT_FALSE(RefreshDiskTable(kStandard, &table, 1).serviceChecked) << "only the enhanced page has the switch";
  view = RefreshDiskTable(kEnhanced, &table, 2);
  EXPECT_EQ(view.selection, kNoSelection);
  EXPECT_FALSE(view.serviceChecked);
}

}  // namespace
