// Device queries over the simulated machine: capacity and layout, descriptor, FAT type, filter presence.
#include <cstring>

#include "disk/queries.h"
#include "disk/sectorio.h"
#include "disk_fixture.h"
#include "sys/ioctl.h"

namespace {

struct Answer {
  uint32_t returned = 0, bytesPerSector = 0, sectorCount = 0;
  uint64_t start = 0, length = 0;
};

// Outputs start as sentinels so that "left untouched" shows.
Answer Query(const char* device = "physicaldrive1") {
  Answer a;
  a.bytesPerSector = 777;
  a.start = a.length = 999;
  a.returned = QueryCapacityAndLayout(device, &a.bytesPerSector, &a.sectorCount, &a.start, &a.length);
  return a;
}

using QueryTest = SimTest;

TEST_F(QueryTest, TwoGigabyteStickReportsItsCapacityAndWholeDiskLayout) {
  SparseImage image("queries_2g");
  AddDisk(image.Stick(3964928));  // last block address 3,964,927
  Answer a = Query();
  EXPECT_EQ(a.returned, 3964928u);
  EXPECT_EQ(a.sectorCount, 3964928u);
  EXPECT_EQ(a.bytesPerSector, 512u);
  EXPECT_EQ(a.start, 0u);
  EXPECT_EQ(a.length, 3964928u);
  EXPECT_EQ(SimDebugOutput().back(), " StartingOffset:0,PartitionLength:3c8000");
}

TEST_F(QueryTest, FirstLayoutEntryGivesThePartitionInSectorsEvenWithoutCapacity) {
  SimDiskSpec setup = MemoryStick(8192);
  setup.refusesScsiPassThrough = true;
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(63, 8192 - 63));  // starting offset 32,256 bytes
  Answer a = Query();
  EXPECT_EQ(a.returned, 0u);
  EXPECT_EQ(a.sectorCount, 0u);
  EXPECT_EQ(a.bytesPerSector, 777u) << "sector size must stay untouched";
  EXPECT_EQ(a.start, 63u);
  EXPECT_EQ(a.length, 8129u);
  EXPECT_EQ(SimDebugOutput().back(), " StartingOffset:3f,PartitionLength:1fc1");
}

TEST_F(QueryTest, LayoutsLargerThanTheFirstBufferAreReadUpToTheLastSize) {
  SimDiskSpec setup = MemoryStick(8192);
  setup.extraLayoutEntries = 40;  // 8 + 44 x 32 = 1,416 bytes
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(2048, 4096, 1));  // an empty first slot reads as zeros, as on Windows
  Answer a = Query();
  EXPECT_EQ(a.start, 0u);
  EXPECT_EQ(a.length, 0u);
  EXPECT_EQ(a.sectorCount, 8192u);

  SimReset();
  setup.extraLayoutEntries = 74;  // 8 + 78 x 32 = 2,504 bytes: beyond the last size tried (2,472)
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(2048, 4096));
  a = Query();
  EXPECT_EQ(a.sectorCount, 8192u);
  EXPECT_EQ(a.start, 999u);
  EXPECT_EQ(a.length, 999u);
  EXPECT_TRUE(SimDebugOutput().empty());
}

TEST_F(QueryTest, DeviceThatCannotBeOpenedReportsNothing) {
  AddDisk(MemoryStick(8192));
  SimFailOpen(1, kSysErrorSharingViolation);
  Answer a = Query();
  EXPECT_EQ(a.returned, 0u);
  EXPECT_EQ(a.bytesPerSector, 777u);
  EXPECT_EQ(a.start, 999u);
  EXPECT_EQ(Query("physicaldrive7").returned, 0u);
}

TEST_F(QueryTest, FatTypeIsReadFromTheVolumesOwnFirstSector) {
  SimDiskSpec setup = MemoryStick(8192);
  setup.volumes[0].startSector = 63;
  AddDisk(setup);
  SimWriteRaw(1, 0, MbrWithPartition(63, 8192 - 63));
  for (auto c : {std::make_pair(4084u, kFat12), std::make_pair(4085u, kFat16), std::make_pair(65525u, kFat32)}) {
    SimWriteRaw(1, 63, BootRecordWithClusters(c.first));
    EXPECT_EQ(DetectFatType("E:"), c.second) << c.first << " clusters";
  }
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
  EXPECT_EQ(d.busType, kBusTypeUsb);
  char text[1000];
  ASSERT_TRUE(DescriptorText(buffer.data(), kDescriptorBufferSize, d.vendorIdOffset, text, sizeof text));
  EXPECT_EQ(std::strlen(text), kDescriptorBufferSize - d.vendorIdOffset) << "cut at the buffer's end";
  EXPECT_FALSE(DescriptorText(buffer.data(), kDescriptorBufferSize, d.productIdOffset, text, sizeof text));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(DescriptorText(buffer.data(), kDescriptorBufferSize, 0, text, sizeof text));
  // A text longer than the caller's field is cut to it.
  ASSERT_TRUE(DescriptorText(buffer.data(), kDescriptorBufferSize, d.vendorIdOffset, text, 5));
  EXPECT_STREQ(text, "VVVV");
}

}  // namespace
