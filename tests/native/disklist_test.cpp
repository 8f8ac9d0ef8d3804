// The disk list lines of the three pages, the selection after a refill and the service check box.
#include <cstring>

#include "disk/disklist.h"
#include "disk_fixture.h"

namespace {

RemovableDisk Disk(uint32_t sectors, uint32_t bytesPerSector = 512, const char* product = "Generic Flash Disk",
                   const char* description = "E:(1936.0M,FAT16) ") {
  RemovableDisk d;
  std::strcpy(d.deviceName, "physicaldrive1");
  d.driveNumber = 1;
  d.sectorCount = sectors;
  d.bytesPerSector = bytesPerSector;
  std::strcpy(d.productName, product);
  std::strcpy(d.description, description);
  return d;
}

constexpr DiskListPage kStandard = DiskListPage::Standard, kEnhanced = DiskListPage::Enhanced,
                       kUsbFormat = DiskListPage::UsbFormat;

TEST(DiskListLine, TwoGigabyteStickInTheGigabyteFormOnEveryPage) {
  RemovableDisk d = Disk(3964928);
  const std::string line = "1.Generic Flash Disk(1.9GB\\512B): E:(1936.0M,FAT16) ";
  EXPECT_EQ(DiskListLine(kStandard, d), line);
  EXPECT_EQ(DiskListLine(kUsbFormat, d), line);
  EXPECT_EQ(DiskListLine(kEnhanced, d), "! " + line);
  d.serviceActive = 1;
  EXPECT_EQ(DiskListLine(kEnhanced, d), "+ " + line);
}

TEST(DiskListLine, UnitThresholdsDifferByPage) {
  RemovableDisk d = Disk(3000, 512, "X", "E: ");
  EXPECT_EQ(DiskListLine(kEnhanced, d), "! 1.X( 1500.0KB\\512B): E: ");
  EXPECT_EQ(DiskListLine(kStandard, d), "1.X(1.5MB\\512B): E: ");
  EXPECT_EQ(DiskListLine(kUsbFormat, d), "1.X(1.5MB\\512B): E: ");
  d.sectorCount = 1;
  EXPECT_EQ(DiskListLine(kStandard, d), "1.X(512B\\512B):E: ");
  d.sectorCount = 2;
  EXPECT_EQ(DiskListLine(kStandard, d), "1.X( 1.0KB\\512B): E: ");
  EXPECT_EQ(DiskListLine(kUsbFormat, d), "1.X(1024B\\512B):E: ");
  d.sectorCount = 2047;
  EXPECT_EQ(DiskListLine(kStandard, d), "1.X( 1023.5KB\\512B): E: ");
  d.sectorCount = 2048;
  EXPECT_EQ(DiskListLine(kStandard, d), "1.X(1.0MB\\512B): E: ");
  EXPECT_EQ(DiskListLine(kEnhanced, d), "! 1.X( 1024.0KB\\512B): E: ");
  d.sectorCount = 2097152;
  EXPECT_EQ(DiskListLine(kUsbFormat, d), "1.X(1.0GB\\512B): E: ");
}

TEST(DiskListLine, DiskWithoutCapacityUsesEachPagesOwnLine) {
  RemovableDisk d = Disk(0, 512, "X", "E: ");
  EXPECT_EQ(DiskListLine(kStandard, d), "1.X(0.000000B,E: )");
  EXPECT_EQ(DiskListLine(kEnhanced, d), "! 1.X(0.000000B\\512B): E: ");
  EXPECT_EQ(DiskListLine(kUsbFormat, d), "1.X(0.000000B\\512B):E: ");
  d = Disk(4096, 0, "X", "E: ");
  EXPECT_EQ(DiskListLine(kUsbFormat, d), "1.X(0.000000B\\0B):E: ");
}

TEST(DiskListLine, LongLinesAreCutAtThePageLimit) {
  std::string product(99, 'P'), description(99, 'D');
  RemovableDisk d = Disk(3964928, 512, product.c_str(), description.c_str());
  d.driveNumber = 2147483647;
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

using RefreshTest = SimTest;

TEST_F(RefreshTest, RefillShowsTheDisksAndSetsTheServiceSwitchFromTheSelection) {
  DiskTable table;
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
