// The filter driver image itself, loaded in-process and driven through Wine's ntoskrnl above an in-memory disk
// (driver_host.c): where reads and writes land, the four control codes, what passes through, removal while
// requests run, and the enhanced page's whole sequence of requests checked against the image byte for byte.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "driver/blockmap.h"
#include "driver_host.h"

namespace {

constexpr long kSuccess = 0;
constexpr long kInvalidParameter = static_cast<long>(0xC000000Du);
constexpr long kAccessViolation = static_cast<long>(0xC0000005u);
constexpr long kNonexistentSector = static_cast<long>(0xC0000015u);
constexpr long kDeletePending = static_cast<long>(0xC0000056u);
constexpr uint8_t kPnp = 0x1B, kPower = 0x16, kWmi = 0x17;  // major functions
constexpr uint8_t kStartDevice = 0x00, kRemoveDevice = 0x02, kQueryCapabilities = 0x09, kSetPower = 0x02;
constexpr uint32_t kStart = 63;  // the first partition

long Select(uint32_t block) {
  DunSelectRequest request{block, 0};
  return DriverHostControl(DUN_IOCTL_SELECT_BLOCK, &request, sizeof request, &request, sizeof request, 1, nullptr);
}

long Configure(uint32_t mode, uint32_t sectorsPerBlock, uint32_t first, uint32_t end) {
  DunBlockConfig config{mode, sectorsPerBlock, first, end};
  return DriverHostControl(DUN_IOCTL_CONFIGURE_BLOCKS, &config, sizeof config, &config, sizeof config, 1, nullptr);
}

uint32_t CurrentBlock() {
  uint32_t block = 0;
  EXPECT_EQ(DriverHostControl(DUN_IOCTL_CURRENT_BLOCK, &block, 4, &block, 4, 0, nullptr), kSuccess);
  return block;
}

std::vector<uint8_t> Pattern(uint32_t tag, uint32_t sectors = 1) {
  std::vector<uint8_t> data(sectors * HOST_SECTOR);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(tag * 31 + i / HOST_SECTOR * 7 + i % 251);
  return data;
}

// The disk below only copies from a write's buffer.
long WriteAt(uint64_t sector, const std::vector<uint8_t>& data) {
  return DriverHostTransfer(1, static_cast<int64_t>(sector * HOST_SECTOR), const_cast<uint8_t*>(data.data()),
                            static_cast<uint32_t>(data.size()), nullptr);
}

std::vector<uint8_t> ReadAt(uint64_t sector, uint32_t sectors = 1) {
  std::vector<uint8_t> data(sectors * HOST_SECTOR, 0xEE);
  long status = DriverHostTransfer(0, static_cast<int64_t>(sector * HOST_SECTOR), data.data(),
                                   static_cast<uint32_t>(data.size()), nullptr);
  EXPECT_EQ(status, kSuccess) << "read at sector " << sector;
  return data;
}

std::vector<uint8_t> Physical(uint64_t sector, uint32_t sectors = 1) {
  const uint8_t* image = DriverHostImage() + sector * HOST_SECTOR;
  return std::vector<uint8_t>(image, image + sectors * HOST_SECTOR);
}

class DriverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* path = std::getenv("KORVANE_DRIVER");
    ASSERT_NE(path, nullptr) << "KORVANE_DRIVER names the driver image";
    ASSERT_EQ(DriverHostLoad(path), 0) << path;
  }
  void Attach(uint64_t sectors, bool answersLength = true) {
    ASSERT_EQ(DriverHostAttach(sectors, answersLength ? 1 : 0), 0);
    attached_ = true;
  }
  // The removal as the plug and play manager sends it, then the disk goes too.
  void TearDown() override {
    if (!attached_) return;
    EXPECT_EQ(DriverHostSend(kPnp, kRemoveDevice), kSuccess);
    DriverHostDeleteDisk();
  }
  bool attached_ = false;
};

TEST_F(DriverTest, TransfersThatWouldRunPastTheDiskEndFailBeforeReachingIt) {
  const uint64_t diskSectors = kStart + 100ull * 3072 + 16;
  Attach(diskSectors);
  ASSERT_EQ(Configure(DUN_MODE_IN_USE, 3072, kStart, kStart + 100 * 3072), kSuccess);
  const int64_t left = static_cast<int64_t>(diskSectors - 99ull * 3072) * HOST_SECTOR;  // from block 99 onwards
  const struct { uint32_t block; int write; int64_t offset; uint32_t length; long status; } cases[] = {
      {99, 0, left - HOST_SECTOR, HOST_SECTOR, kSuccess},
      {99, 0, left - HOST_SECTOR, 2 * HOST_SECTOR, kNonexistentSector},
      {99, 0, left, HOST_SECTOR, kNonexistentSector},
      // Offsets whose sum with the block's would overflow, and negative ones, are refused the same way.
      {99, 0, INT64_MAX - 511, HOST_SECTOR, kNonexistentSector},
      {99, 1, -512, HOST_SECTOR, kNonexistentSector},
      // Block 0 passes transfers down unchanged: the disk below judges its own end.
      {0, 0, static_cast<int64_t>(diskSectors * HOST_SECTOR), HOST_SECTOR, kInvalidParameter},
  };
  uint8_t buffer[2 * HOST_SECTOR];
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "block " << c.block << ", offset " << c.offset << ", length " << c.length);
    ASSERT_EQ(Select(c.block), kSuccess);
    const uint32_t transfers = DriverHostDiskLog().transfers;
    EXPECT_EQ(DriverHostTransfer(c.write, c.offset, buffer, c.length, nullptr), c.status);
    EXPECT_EQ(DriverHostDiskLog().transfers, transfers + (c.status != kNonexistentSector));
  }
}

TEST_F(DriverTest, SelectAndConfigureKeepTheBlockInsideTheArea) {
  Attach(kStart + 8ull * 2048);
  // Without a configuration any block may be chosen.
  ASSERT_EQ(Select(5), kSuccess);
  EXPECT_EQ(CurrentBlock(), 5u);

  // Configured: the area ends at its end sector or the disk's end, whichever comes first.
  ASSERT_EQ(Configure(DUN_MODE_IN_USE, 2048, kStart, kStart + 4 * 2048), kSuccess);
  EXPECT_EQ(Select(3), kSuccess);
  EXPECT_EQ(Select(4), kInvalidParameter);
  EXPECT_EQ(CurrentBlock(), 3u);
  ASSERT_EQ(Configure(DUN_MODE_IN_USE, 2048, kStart, 0xFFFFFFF0u), kSuccess);
  EXPECT_EQ(Select(7), kSuccess);
  EXPECT_EQ(Select(8), kInvalidParameter);

  // A configuration under which the selected block would lie outside the area presents block 0.
  ASSERT_EQ(Configure(DUN_MODE_IN_USE, 3072, kStart, kStart + 5 * 3072), kSuccess);
  EXPECT_EQ(CurrentBlock(), 0u);
}

TEST_F(DriverTest, ControlCodesValidateEveryLengthAndReachBuffersOnlyAsTheirMethodAllows) {
  Attach(kStart + 4ull * 2048);
  uint8_t select[8] = {1};
  DunBlockConfig config{0, 2048, kStart, kStart + 4 * 2048}, configOut{};
  uint8_t presence[15];
  std::memset(presence, 0xAA, sizeof presence);
  uint32_t block = 0xFFFFFFFF, refused = 0xFFFFFFFF;
  // One request from a program: its status and transferred count.
  auto expect = [](uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength, long status,
                   uint64_t count) {
    SCOPED_TRACE(testing::Message() << "code " << code << ", " << inLength << " in, " << outLength << " out");
    uint64_t information = 1;
    EXPECT_EQ(DriverHostControl(code, in, inLength, out, outLength, 1, &information), status);
    EXPECT_EQ(information, count);
  };
  // Buffered select: 8 bytes in and out.
  expect(DUN_IOCTL_SELECT_BLOCK, select, 7, select, 8, kInvalidParameter, 0);
  expect(DUN_IOCTL_SELECT_BLOCK, select, 8, select, 7, kInvalidParameter, 0);
  expect(DUN_IOCTL_SELECT_BLOCK, select, 8, select, 8, kSuccess, 8);
  // In-direct configuration: 16 bytes in; the output is the caller's and stays as it was.
  expect(DUN_IOCTL_CONFIGURE_BLOCKS, &config, 15, &configOut, 16, kInvalidParameter, 0);
  expect(DUN_IOCTL_CONFIGURE_BLOCKS, &config, 16, &configOut, 16, kSuccess, 0);
  // Out-direct presence: the mark as the count, the buffer untouched, whatever its length.
  expect(DUN_IOCTL_PRESENCE, presence, 15, presence, 15, kSuccess, DUN_PRESENCE_MARK);
  expect(DUN_IOCTL_PRESENCE, nullptr, 0, nullptr, 0, kSuccess, DUN_PRESENCE_MARK);
  // Neither-method current block: 4 bytes at the caller's pointer, here a good one from a program.
  expect(DUN_IOCTL_CURRENT_BLOCK, &refused, 4, &refused, 3, kInvalidParameter, 0);
  expect(DUN_IOCTL_CURRENT_BLOCK, &refused, 4, nullptr, 4, kInvalidParameter, 0);
  expect(DUN_IOCTL_CURRENT_BLOCK, &block, 4, &block, 4, kSuccess, 4);
  EXPECT_EQ(select[0], 1u);
  EXPECT_EQ(configOut.sectorsPerBlock, 0u);
  EXPECT_EQ(Select(4), kInvalidParameter);  // the configuration took effect
  for (uint8_t b : presence) EXPECT_EQ(b, 0xAA);
  EXPECT_EQ(refused, 0xFFFFFFFFu);
  EXPECT_EQ(block, 1u);
}

// A program's pointer is checked against the end of user space and written under an exception guard: a bad one
// fails the request and the process (the system, on Windows) goes on.
TEST_F(DriverTest, ABadPointerFromAProgramFailsTheRequest) {
  Attach(kStart + 4ull * 2048);
  const auto* probe = reinterpret_cast<const uintptr_t*>(
      GetProcAddress(GetModuleHandleA("ntoskrnl.exe"), "MmUserProbeAddress"));  // the end of user space
  ASSERT_NE(probe, nullptr);
  const uintptr_t userEnd = *probe;
  uint32_t* beyond = reinterpret_cast<uint32_t*>(UINTPTR_MAX - 15);
  EXPECT_EQ(DriverHostControl(DUN_IOCTL_CURRENT_BLOCK, nullptr, 0, beyond, 4, 1, nullptr), kAccessViolation);

  // A reserved page that is not mapped: every access faults.
  static void* const unmapped = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(unmapped, nullptr);
  if (reinterpret_cast<uintptr_t>(unmapped) + 4 > userEnd) GTEST_SKIP() << "no unmapped page below " << userEnd;
  EXPECT_EQ(DriverHostControl(DUN_IOCTL_CURRENT_BLOCK, nullptr, 0, unmapped, 4, 1, nullptr), kAccessViolation);
}

TEST_F(DriverTest, WhatTheFilterDoesNotOwnPassesDownUnchanged) {
  Attach(kStart + 4ull * 2048);
  uint8_t buffer[64] = {};
  uint64_t information = 0;
  for (uint32_t code : {0x2D1400u, 0x7400Cu, 0x1004u /* function 0x401 */, 0x41000u /* device type 4 */}) {
    EXPECT_EQ(DriverHostControl(code, buffer, 12, buffer, 64, 1, &information), kSuccess) << code;
    EXPECT_EQ(DriverHostDiskLog().controlCode, code);
    EXPECT_EQ(information, 0x4D4Bu) << "the disk's own answer";
  }
  EXPECT_EQ(DriverHostDiskLog().controlCount, 4u);
  // The start goes down and comes back through the filter; the others pass by.
  const std::pair<uint8_t, uint8_t> requests[] = {
      {kPnp, kQueryCapabilities}, {kPnp, kStartDevice}, {kPower, kSetPower}, {kWmi, 0x0B}};
  for (auto [major, minor] : requests) {
    const uint32_t count = DriverHostDiskLog().requests[major];
    EXPECT_EQ(DriverHostSend(major, minor), kSuccess) << int{major} << "/" << int{minor};
    EXPECT_EQ(DriverHostDiskLog().requests[major], count + 1) << int{major} << "/" << int{minor};
    EXPECT_EQ(DriverHostDiskLog().lastMinor, minor) << int{major} << "/" << int{minor};
  }
}

// Windows 2000 has no length request: the whole disk's partition gives the length.
TEST_F(DriverTest, ADiskWithoutTheLengthRequestIsMeasuredByItsWholeDiskPartition) {
  Attach(kStart + 4ull * 2048, false);
  ASSERT_EQ(Configure(DUN_MODE_IN_USE, 2048, kStart, 0xFFFFFFF0u), kSuccess);
  EXPECT_EQ(Select(3), kSuccess);
  EXPECT_EQ(Select(4), kInvalidParameter);
}

// A request sent on a thread of its own; Join waits for it and gives its status.
struct Background {
  std::function<long()> request;
  long status = -1;
  HANDLE thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  static DWORD WINAPI Run(void* self) {
    static_cast<Background*>(self)->status = static_cast<Background*>(self)->request();
    return 0;
  }
  long Join() {
    if (thread) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
      thread = nullptr;
    }
    return status;
  }
  ~Background() { Join(); }
};

TEST_F(DriverTest, RemovalWaitsForTheRequestsInFlightAndRefusesNewOnes) {
  Attach(kStart + 4ull * 2048);
  ASSERT_EQ(WriteAt(kStart, Pattern(9)), kSuccess);
  DriverHostHoldNextRead();
  std::vector<uint8_t> read(HOST_SECTOR);
  Background reader{[&] { return DriverHostTransfer(0, kStart * HOST_SECTOR, read.data(), HOST_SECTOR, nullptr); }};
  ASSERT_TRUE(DriverHostWaitForHeldRead(5000));

  const uint32_t pnpBefore = DriverHostDiskLog().requests[kPnp];
  Background remover{[] { return DriverHostSend(kPnp, kRemoveDevice); }};
  Sleep(300);
  EXPECT_EQ(DriverHostDiskLog().requests[kPnp], pnpBefore) << "the removal went down while a read was in flight";
  uint8_t sector[HOST_SECTOR];
  EXPECT_EQ(DriverHostTransfer(0, 0, sector, HOST_SECTOR, nullptr), kDeletePending);
  uint32_t block = 0;
  EXPECT_EQ(DriverHostControl(DUN_IOCTL_CURRENT_BLOCK, &block, 4, &block, 4, 0, nullptr), kDeletePending);

  DriverHostReleaseRead();
  EXPECT_EQ(reader.Join(), kSuccess);
  EXPECT_EQ(remover.Join(), kSuccess);
  EXPECT_EQ(read, Pattern(9));
  EXPECT_EQ(DriverHostDiskLog().lastMinor, kRemoveDevice);
  EXPECT_EQ(DriverHostDiskLog().requests[kPnp], pnpBefore + 1);
  attached_ = false;
  DriverHostDeleteDisk();
}

// The enhanced page's requests in their order, as the program sends them, against a disk whose first partition
// starts at sector 63: the image is compared byte for byte with where each write must land.
TEST_F(DriverTest, TheEnhancedPageSequenceLandsEveryWriteOnItsBlock) {
  constexpr uint32_t kPerBlock = 3072, kBlocks = 4, kRootDir = 19, kFloppy = 2880;
  const uint64_t diskSectors = kStart + uint64_t{kBlocks} * kPerBlock;
  Attach(diskSectors);
  std::vector<uint8_t> expected(diskSectors * HOST_SECTOR, 0);
  auto expectAt = [&](uint64_t sector, const std::vector<uint8_t>& data) {
    std::memcpy(expected.data() + sector * HOST_SECTOR, data.data(), data.size());
  };
  auto imageIsExpected = [&]() { return std::memcmp(DriverHostImage(), expected.data(), expected.size()) == 0; };
  auto firstBlock = [&](uint32_t n) { return kStart + uint64_t{n} * kPerBlock; };

  // Start: the block layout (the presence request before it: the control codes test).
  ASSERT_EQ(Configure(DUN_MODE_IN_USE, kPerBlock, kStart, kStart + kBlocks * kPerBlock), kSuccess);

  // Batch format: block 0 presented, each block written at its physical place, the old block presented again.
  uint32_t before = CurrentBlock();
  ASSERT_EQ(Select(0), kSuccess);
  for (uint32_t n = 0; n < kBlocks; ++n) {
    std::vector<uint8_t> head = Pattern(100 + n, kRootDir + 1);
    ASSERT_EQ(WriteAt(firstBlock(n), head), kSuccess);
    expectAt(firstBlock(n), head);
  }
  ASSERT_EQ(Select(before), kSuccess);
  ASSERT_TRUE(imageIsExpected());

  // Switch to block 2: the volume at sector 63 now shows block 2, and sector 0 of the disk is the block's first
  // sector less the partition start.
  ASSERT_EQ(Select(2), kSuccess);
  ASSERT_EQ(Configure(DUN_MODE_IN_USE, kPerBlock, kStart, kStart + kBlocks * kPerBlock), kSuccess);
  EXPECT_EQ(ReadAt(kStart), Physical(firstBlock(2)));
  EXPECT_EQ(ReadAt(0), Physical(firstBlock(2) - kStart));

  // Rename: the root directory sector S + 19, read and written with block 2 presented.
  std::vector<uint8_t> root = ReadAt(kStart + kRootDir);
  std::memcpy(root.data(), "DATA\0   ", 8);
  ASSERT_EQ(WriteAt(kStart + kRootDir, root), kSuccess);
  expectAt(firstBlock(2) + kRootDir, root);
  ASSERT_TRUE(imageIsExpected());

  // Single format of block 2: the image written from sector S in runs of 50 sectors.
  std::vector<uint8_t> floppy = Pattern(7, kFloppy);
  for (uint32_t s = 0; s < kFloppy; s += 50) {
    uint32_t run = std::min<uint32_t>(50, kFloppy - s);
    std::vector<uint8_t> part(floppy.begin() + s * HOST_SECTOR, floppy.begin() + (s + run) * HOST_SECTOR);
    ASSERT_EQ(WriteAt(kStart + s, part), kSuccess) << "sector " << s;
  }
  expectAt(firstBlock(2), floppy);
  ASSERT_TRUE(imageIsExpected());

  // Another page in front: the disk itself; back: block 2 again.
  ASSERT_EQ(Configure(DUN_MODE_HIDDEN, kPerBlock, kStart, kStart + kBlocks * kPerBlock), kSuccess);
  EXPECT_EQ(ReadAt(kStart), Physical(firstBlock(0)));
  ASSERT_EQ(Configure(DUN_MODE_IN_USE, kPerBlock, kStart, kStart + kBlocks * kPerBlock), kSuccess);
  EXPECT_EQ(CurrentBlock(), 2u);
  EXPECT_EQ(ReadAt(kStart), Physical(firstBlock(2)));

  // Stop: the device goes (TearDown), nothing else was written.
  EXPECT_TRUE(imageIsExpected());
}

}  // namespace
