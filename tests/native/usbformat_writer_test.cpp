// The general formatter's writer on a simulated USB disk: what lands on which sector, what stays untouched, and
// how refusals and failing transfers end a format.
#include "disk_fixture.h"
#include "usbformat/usbformat.h"

namespace {

constexpr uint8_t kOld = 0xAA;  // what the disk held before the format

class UsbFormatWriterTest : public SimTest {
 protected:
  static RunOutcome Format(uint32_t sectors, const UsbFormatOptions& options, UsbFormatVolume* laidOut = nullptr) {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    return RunUsbFormat(disk.get(), sectors, options, nullptr, laidOut);
  }
  static int CountTrace(const std::string& line) {
    auto out = SimDebugOutput();
    return static_cast<int>(std::count(out.begin(), out.end(), line));
  }
  static std::string Hex(uint32_t v) {
    char text[16];
    return std::string(text, std::snprintf(text, sizeof text, "%x", v));
  }
};

UsbFormatOptions Bootable(int bootMode, uint32_t mbrSectors, uint32_t clusterBytes) {
  UsbFormatOptions options;
  options.dosBoot = true, options.bootMode = bootMode, options.mbrSectors = mbrSectors;
  options.clusterBytes = clusterBytes;
  return options;
}

// DBR, FATs and root directory, and with the fill every data sector but the volume's last: nothing else.
TEST_F(UsbFormatWriterTest, DefaultChoicesWriteOnlyDbrFatsRootDirectoryAndTheFill) {
  const struct { uint32_t sectors, clusterBytes; uint8_t kind; bool fill; } rows[] = {
      {20000, 512, kFat16, false}, {8000, 1024, kFat12, false}, {20000, 512, kFat16, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.sectors);
    SimReset();
    AddFilledDisk(MemoryStick(r.sectors), kOld);
    UsbFormatOptions options;
    options.clusterBytes = r.clusterBytes, options.fillDataArea = r.fill, options.fillByte = 0xFF;
    UsbFormatVolume laidOut;
    RunOutcome outcome = Format(r.sectors, options, &laidOut);
    ASSERT_TRUE(outcome.Succeeded());
    EXPECT_EQ(laidOut.fields.fatKind, r.kind);
    std::vector<uint8_t> dbr = Sector(1, 0);
    EXPECT_EQ(GetLe16(&dbr[bpb::kSectorsPerTrack]), 32);
    EXPECT_EQ(GetLe32(&dbr[bpb::kHiddenSectors]), 0u);
    uint32_t perFat = GetLe16(&dbr[bpb::kSectorsPerFat]);
    std::vector<uint8_t> head = {0xF8, 0xFF, 0xFF, static_cast<uint8_t>(r.kind == kFat16 ? 0xFF : 0x00)};
    for (uint32_t copy = 0; copy < 2; ++copy) {
      std::vector<uint8_t> first = Sector(1, 1 + copy * perFat);
      EXPECT_TRUE(std::equal(head.begin(), head.end(), first.begin()));
      EXPECT_TRUE(std::all_of(first.begin() + 4, first.end(), [](uint8_t b) { return b == 0; }));
      EXPECT_TRUE(AllBytes(1, 2 + copy * perFat, perFat - 1, 0));
    }
    const uint32_t data = 1 + 2 * perFat + 16, end = r.fill ? r.sectors - 1 : data;
    EXPECT_TRUE(AllBytes(1, data - 16, 16, 0)) << "the root directory is empty";
    EXPECT_TRUE(AllBytes(1, data, end - data, 0xFF));
    EXPECT_TRUE(AllBytes(1, end, r.sectors - end, kOld)) << "the rest is left as it was";
    EXPECT_EQ(SimStats(1).highestSectorWritten, end - 1);
    ASSERT_EQ(outcome.written.size(), 1u) << "each part follows on from the one before";
    EXPECT_EQ(outcome.written[0].count, end);
  }
}

TEST_F(UsbFormatWriterTest, OneFatAndALabelStampedWithTheLocalTime) {
  AddFilledDisk(MemoryStick(20000), kOld);
  SimSetLocalTime(SysTime{2009, 5, 0, 3, 14, 35, 47, 0});
  UsbFormatOptions options;
  options.fatCount = 1, options.label = "data";
  ASSERT_TRUE(Format(20000, options).Succeeded());
  uint32_t perFat = GetLe16(&Sector(1, 0)[bpb::kSectorsPerFat]);
  EXPECT_EQ(CountTrace("FatAddr:1"), 1);
  EXPECT_EQ(CountTrace("FatAddr:" + Hex(1 + perFat)), 0) << "no second copy";
  EXPECT_EQ(CountTrace("RootDirSectNum:" + Hex(1 + perFat)), 1);
  std::vector<uint8_t> entry = Sector(1, 1 + perFat);
  const uint8_t expected[32] = {'d', 'a', 't', 'a', 0, 0, 0, 0, 0, 0, 0, 0x08, 0, 0, 0, 0,
                                0,   0,   0,   0,   0, 0, 0x77, 0x74, 0xA3, 0x3A, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(entry.data(), expected, 32), 0);
  EXPECT_TRUE(std::all_of(entry.begin() + 32, entry.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(UsbFormatWriterTest, HddBootPutsABootableVolumeBehindAnMbr) {
  UseSmallSystemFiles("korvane_usbformat");
  SparseImage image("usbformat_hdd");
  AddDisk(image.Stick(1000000));
  SimWriteRaw(1, 0, std::vector<uint8_t>(70 * 512, kOld));
  UsbFormatOptions options = Bootable(kBootHdd, 63, 8192);
  options.dos = kDos71, options.label = "BOOT";
  UsbFormatVolume laidOut;
  ASSERT_TRUE(Format(1000000, options, &laidOut).Succeeded());
  EXPECT_EQ(laidOut.volumeStart, 63u);
  for (const char* line : {"DiskRestart;1", "ModelSel:1", "FatAddr:40"}) EXPECT_EQ(CountTrace(line), 1) << line;

  EXPECT_EQ(GetLe32(&Sector(1, 0)[446 + 8]), 63u) << "the MBR's partition starts at the volume";
  EXPECT_TRUE(AllBytes(1, 1, 62, 0));
  std::vector<uint8_t> dbr = Sector(1, 63);
  // Hidden sectors, sectors per track, heads, total sectors.
  EXPECT_EQ(std::make_tuple(GetLe32(&dbr[bpb::kHiddenSectors]), GetLe16(&dbr[bpb::kSectorsPerTrack]),
                            GetLe16(&dbr[bpb::kHeads]), GetLe32(&dbr[bpb::kTotalSectors32])),
            std::make_tuple(63u, 63, 15, 999937u));
  std::vector<uint8_t> root = Sector(1, 63 + 1 + 2 * GetLe16(&dbr[bpb::kSectorsPerFat]));
  EXPECT_EQ(std::memcmp(&root[0], "BOOT", 5), 0);
  EXPECT_EQ(std::memcmp(&root[32], "IO      SYS", 11), 0) << "the system files follow the label";
}

// A ZIP layout is an HDD layout: a bootable volume behind an MBR (the usbformat oracle boots one). A bootable disk
// under 1024 tracks still gets heads: 2, over 313 cylinders.
TEST_F(UsbFormatWriterTest, AZipLayoutOnASmallDiskGetsHeadsForItsChsAddresses) {
  UseSmallSystemFiles("korvane_usbformat_zip");
  AddFilledDisk(MemoryStick(20000), kOld);
  ASSERT_TRUE(Format(20000, Bootable(kBootZip, 32, 512)).Succeeded());
  EXPECT_EQ(GetLe16(&Sector(1, 32)[bpb::kHeads]), 2);
  const uint8_t end[3] = {1, 0x60, 0x38};  // head 1, sector 32, cylinder 312
  EXPECT_EQ(std::memcmp(&Sector(1, 0)[446 + 5], end, 3), 0);
}

TEST_F(UsbFormatWriterTest, RefusedChoicesWriteNothing) {
  AddDisk(MemoryStick(100000));
  UsbFormatOptions noFats, noRoot;
  noFats.fatCount = 0, noRoot.rootEntries = 0;
  const struct { UsbFormatOptions options; Refusal refusal; } cases[] = {
      {Bootable(kBootHdd, 63, 512), Refusal::kTooManyClusters},  // 1-sector clusters: some 99,000 of them
      {noFats, Refusal::kNoFatCount},
      {noRoot, Refusal::kNoRootEntries},
      {Bootable(kBootHdd, 63, 4096), Refusal::kSystemFilesUnusable},  // no SysFile folder in the directory
  };
  SimSetCurrentDirectory(::testing::TempDir() + "korvane_no_sysfile");
  for (const auto& c : cases) {
    UsbFormatVolume laidOut;
    RunOutcome outcome = Format(100000, c.options, &laidOut);
    EXPECT_EQ(std::make_tuple(outcome.failedStep, outcome.refusal, outcome.suggestedUnit),
              std::make_tuple(RunStep::kCheck, c.refusal, c.refusal == Refusal::kTooManyClusters ? 1024u : 0u));
    EXPECT_TRUE(c.refusal != Refusal::kTooManyClusters || laidOut.fields.fatKind == 0);
  }
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
}

TEST_F(UsbFormatWriterTest, AFailingStepEndsTheFormatWhereItFailed) {
  AddFilledDisk(MemoryStick(20000), kOld);
  UsbFormatOptions fill;
  fill.fillDataArea = true;
  // ranges: written before the failing step: the DBR; the DBR, FATs and root directory.
  const struct { uint32_t failFrom, failCount; UsbFormatOptions options; RunStep step; size_t ranges; } cases[] = {
      {1, 0, UsbFormatOptions(), RunStep::kFats, 1}, {10000, 1, fill, RunStep::kFill, 1}};
  for (const auto& c : cases) {
    SimResetStats(1);
    if (c.failCount) SimFailWritesIn(1, c.failFrom, c.failCount);
    else SimFailWritesFrom(1, c.failFrom);
    RunOutcome outcome = Format(20000, c.options);
    EXPECT_EQ(outcome.failedStep, c.step) << "a failing step fails the format there";
    EXPECT_EQ(outcome.written.size(), c.ranges);
    EXPECT_EQ(outcome.systemError, c.failCount ? kSysErrorWriteFault : kSysErrorDeviceNotConnected);
    EXPECT_EQ(SimStats(1).sectorsWrittenPastFailure, 0u);
  }
}

}  // namespace
