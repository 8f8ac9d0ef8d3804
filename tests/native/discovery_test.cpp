// Discovery of USB disks over the simulated machine.
#include <cstring>
#include <string>

#include "disk/discovery.h"
#include "disk_fixture.h"
#include "floppy/floppy.h"

namespace {

SimVolumeSpec Volume(char letter, uint64_t start = 0, uint64_t count = 0) {
  SimVolumeSpec v;
  v.letter = letter;
  v.startSector = start;
  v.sectorCount = count;
  return v;
}

SimDiskSpec Disk(int number, uint32_t bus, std::vector<SimVolumeSpec> volumes, uint64_t sectors = 4096) {
  SimDiskSpec setup = MemoryStick(sectors, number);
  setup.busType = bus;
  setup.volumes = volumes;
  return setup;
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
  EXPECT_STREQ(d.deviceName, "physicaldrive1");
  EXPECT_EQ(d.driveNumber, 1);
  EXPECT_STREQ(d.driveLetters, "E:");
  EXPECT_STREQ(d.volumeName, "E:");
  EXPECT_STREQ(d.description, "E:(14.6M,FAT16) ") << "the file system's 30000 clusters, not the partition";
  // Vendor "Generic " and product " Flash Disk" as the device reports them.
  EXPECT_STREQ(d.productName, "Generic Flash Disk");
  EXPECT_STREQ(d.hardwareKey, "VEN_Generic&PROD_Flash_Disk");
  EXPECT_EQ(d.sectorCount, 4000000u);
  EXPECT_EQ(d.bytesPerSector, 512u);
  EXPECT_EQ(d.partitionStart, 63u);
  EXPECT_EQ(d.partitionLength, 3994214u);
  EXPECT_EQ(std::string(d.pdoName), SimDiskPdoName(1));
  EXPECT_EQ(std::string(d.volumeDevice), SimVolumeDevice('E'));
  EXPECT_NE(d.pdoName[0], '\0');
  EXPECT_EQ(d.serviceActive, 0);
  EXPECT_EQ(d.fatKind, 0);
  EXPECT_EQ(table.slots[1].driveNumber, 255);
  EXPECT_EQ(table.slots[5].driveNumber, 255);
  EXPECT_EQ(table.slots[1].deviceName[0], '\0');
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
  EXPECT_EQ(table.slots[0].driveNumber, 1);
  EXPECT_STREQ(table.slots[0].driveLetters, "E:G:");
  EXPECT_STREQ(table.slots[0].volumeName, "E:");
  EXPECT_STREQ(table.slots[0].description, "E:(1.0M,FAT12) G:(0.5M,FAT12) ");
  EXPECT_EQ(table.slots[1].driveNumber, 2);
  EXPECT_STREQ(table.slots[1].description, "F:(4.0M,Unknown) ") << "no boot record signature";
  EXPECT_EQ(table.slots[1].serviceActive, 1);
}

TEST_F(DiscoveryTest, AStickFormattedAsAFloppyShowsTheFloppysSize) {
  // The volume's size is its file system's data area, as Windows reports it, not the 64 MiB partition.
  AddDisk(Disk(1, kSimBusUsb, {Volume('E')}, 131072));
  const std::pair<FloppyKind, const char*> kinds[] = {{FloppyKind::k720K, "E:(0.7M,FAT12) "},
                                                       {FloppyKind::k1200K, "E:(1.2M,FAT12) "},
                                                       {FloppyKind::k1440K, "E:(1.4M,FAT12) "}};
  for (const auto& [kind, description] : kinds) {
    std::vector<uint8_t> dbr(512);
    BuildFloppyDbr(kind, nullptr, kDosNone, dbr.data());
    SimWriteRaw(1, 0, dbr);
    DiscoverDisks(&table);
    EXPECT_STREQ(table.slots[0].description, description);
  }
}

TEST_F(DiscoveryTest, OnlyUsbDisksOtherThanDriveZeroAreListed) {
  AddDisk(Disk(0, kSimBusUsb, {Volume('C')}));        // a USB hard disk the system numbers 0
  AddDisk(Disk(3, kSimBusAta, {Volume('D')}));
  AddDisk(Disk(4, kSimBusScsi, {Volume('H')}));
  SimDiskSpec cd = Disk(5, kSimBusUsb, {Volume('I')});
  cd.deviceType = kSimDeviceTypeCdRom;
  AddDisk(cd);
  AddDisk(Disk(6, kSimBusUsb, {Volume('A')}));        // a USB floppy drive
  DiscoverDisks(&table);
  EXPECT_EQ(DiskCount(table), 0);

  AddDisk(Disk(7, kSimBusUsb, {Volume('K')}));
  DiscoverDisks(&table);
  ASSERT_EQ(DiskCount(table), 1);
  EXPECT_STREQ(table.slots[0].deviceName, "physicaldrive7");
}

TEST_F(DiscoveryTest, NoDriveLettersLeavesTheTableEmpty) {
  AddDisk(Disk(1, kSimBusUsb, {}));
  DiscoverDisks(&table);
  EXPECT_EQ(DiskCount(table), 0);
  for (const RemovableDisk& slot : table.slots) EXPECT_EQ(slot.driveNumber, 255);
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

}  // namespace
