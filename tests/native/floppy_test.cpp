// Floppy images: every region at its place and nothing outside, the label, failed writes; and the system files
// put on a floppy or a FAT16 volume, with their refusals and failures.
#include <sys/stat.h>

#include "boot/boot_programs.h"
#include "disk_fixture.h"
#include "floppy/floppy.h"
#include "floppy/sysfiles.h"

namespace {

constexpr uint8_t kOld = 0xAB;  // what the disk holds before an image is written

// The three layouts as the emulators know them, written out independently of the program's table.
struct Layout { FloppyKind kind; uint16_t total; uint8_t perCluster; uint16_t rootEntries; uint8_t media;
                uint16_t perFat, perTrack; uint32_t root, rootSectors, data; };
const Layout kLayouts[] = {
    {FloppyKind::k720K, 1440, 2, 112, 0xF9, 3, 9, 7, 7, 14},
    {FloppyKind::k1200K, 2400, 2, 224, 0xF9, 7, 15, 15, 14, 29},
    {FloppyKind::k1440K, 2880, 1, 224, 0xF0, 9, 18, 19, 14, 33},
};

std::vector<uint8_t> ExpectedDbr(const Layout& l, const char* labelField, const unsigned char* program) {
  std::vector<uint8_t> d(512, 0);
  const uint8_t head[] = {0xEB, 0x3C, 0x90, 'M', 'S', 'D', 'O', 'S', '5', '.', '0', 0x00, 0x02, l.perCluster, 1, 0,
                          2, static_cast<uint8_t>(l.rootEntries), static_cast<uint8_t>(l.rootEntries >> 8),
                          static_cast<uint8_t>(l.total), static_cast<uint8_t>(l.total >> 8), l.media,
                          static_cast<uint8_t>(l.perFat), 0, static_cast<uint8_t>(l.perTrack), 0, 2, 0};
  std::memcpy(d.data(), head, sizeof head);
  const uint8_t extended[] = {0x00, 0x00, 0x29, 0x68, 0x06, 0x73, 0x84};
  std::memcpy(&d[36], extended, sizeof extended);
  std::memcpy(&d[43], labelField, 11);
  std::memcpy(&d[54], "FAT12   ", 8);
  std::memcpy(&d[62], program, 448);
  d[510] = 0x55, d[511] = 0xAA;
  return d;
}

std::vector<uint8_t> FatHead(uint8_t media) {
  std::vector<uint8_t> s(512, 0);
  s[0] = media, s[1] = s[2] = 0xFF;
  return s;
}

class FloppyImageTest : public SimTest, public ::testing::WithParamInterface<Layout> {
 protected:
  // A stick of `sectors` sectors that holds kOld everywhere.
  void MakeDisk(uint64_t sectors) {
    AddFilledDisk(MemoryStick(sectors), kOld);
    SimResetStats(1);
    SimSetCurrentDirectory("/nonexistent/korvane");  // no SysFile folder: a DOS image gets no system files
  }
  RunStep Write(uint32_t start, const char* label, DosVersion dos = kDosNone) {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    EXPECT_TRUE(disk.valid());
    return WriteFloppyImage(disk.get(), start, GetParam().kind, label, dos).failedStep;
  }
};

TEST_P(FloppyImageTest, LaysEveryRegionAtItsPlaceAndTouchesNothingOutsideTheImage) {
  const Layout& l = GetParam();
  const uint32_t s = 3072;  // the second 1.2M / 1.44M floppy block
  MakeDisk(s + l.total + 100);
  // No system files are present: a DOS image is refused before its first write.
  EXPECT_EQ(Write(s, "", kDos622), RunStep::kCheck);
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  ASSERT_EQ(Write(s, "", kDosNone), RunStep::kNone);

  const char* emptyLabel = l.kind == FloppyKind::k1200K ? "NO NAME    " : "           ";
  EXPECT_EQ(Sector(1, s), ExpectedDbr(l, emptyLabel, kBootProgramDos71)) << "hidden sectors stay 0 at any start";
  for (uint32_t fat : {s + 1u, s + 1u + l.perFat}) {
    EXPECT_EQ(Sector(1, fat), FatHead(l.media)) << "FAT at " << fat;
    EXPECT_TRUE(AllBytes(1, fat + 1, l.perFat - 1, 0));
  }
  EXPECT_TRUE(AllBytes(1, s + l.root, l.rootSectors, 0));
  EXPECT_TRUE(AllBytes(1, s + l.data, l.total - l.data - 1, 0xF6));
  EXPECT_TRUE(AllBytes(1, s + l.total - 1, 1, kOld)) << "the image's last sector keeps its content";
  EXPECT_TRUE(AllBytes(1, 0, s, kOld) && AllBytes(1, s + l.total, 100, kOld)) << "nothing outside the image";
  const SimDiskStats stats = SimStats(1);  // the image in one write, then its DBR
  EXPECT_EQ(std::make_tuple(stats.lowestSectorWritten, stats.highestSectorWritten, stats.writeCalls),
            std::make_tuple(uint64_t{s}, uint64_t{s + l.total - 2u}, uint64_t{2}));
  EXPECT_EQ(SimTransfers(1).back().firstSector, s) << "the DBR goes last";
}

TEST_P(FloppyImageTest, LabelGoesIntoTheRootDirectoryWithZerosAndIntoTheDbrWithSpacesUnderTheDos71Program) {
  const Layout& l = GetParam();
  MakeDisk(l.total);
  SimSetLocalTime(SysTime{2026, 12, 6, 5, 14, 37, 59, 0});
  // The DBR's label field on 720K and 1.44M; 1.2M always says NO NAME.
  struct { const char *label, *dbrField; } const cases[] = {{"FLPPY7", "FLPPY7     "}, {"ABCDEFGHIJK", "ABCDEFGHIJK"}};
  uint8_t built[512];
  BuildFloppyDbr(l.kind, "", static_cast<DosVersion>(3), built);
  EXPECT_EQ(std::memcmp(&built[62], kBootProgramDos71, 448), 0) << "a DOS value out of range gets the 7.1 program";
  for (const auto& c : cases) {
    ASSERT_EQ(Write(0, c.label, kDosNone), RunStep::kNone);
    EXPECT_EQ(Sector(1, 0), ExpectedDbr(l, l.kind == FloppyKind::k1200K ? "NO NAME    " : c.dbrField, kBootProgramDos71));

    std::vector<uint8_t> expected(512, 0);
    std::memcpy(expected.data(), c.label, std::strlen(c.label));  // zero bytes after the name, not spaces
    expected[11] = 0x08;
    PutLe16(&expected[22], 29885);  // 14:37:59
    PutLe16(&expected[24], 23941);  // 5 December 2026
    EXPECT_EQ(Sector(1, l.root), expected) << c.label;
    EXPECT_TRUE(AllBytes(1, l.root + 1, l.rootSectors - 1, 0));
  }
}

// Whatever write fails, the image is reported as not written, nothing is written after the failure, and the DBR's
// place holds no valid DBR, so the image never passes for a formatted floppy.
TEST_P(FloppyImageTest, EveryFailedWriteFailsTheImageAndLeavesNoValidDbr) {
  const Layout& l = GetParam();
  MakeDisk(l.total + 10);
  auto noValidDbr = [] { return Sector(1, 5)[510] != 0x55 || Sector(1, 5)[511] != 0xAA; };

  SimFailWritesFrom(1, 5);
  EXPECT_EQ(Write(5, "X"), RunStep::kImage);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
  EXPECT_TRUE(Traced("Write first FAT failure!"));
  SimFailWritesFrom(1, UINT64_MAX);

  // A write that fails in the data area (every failed call in turn: the fault injection test).
  SimResetStats(1);
  SimFailWritesIn(1, 5 + l.data + 100, 1);
  EXPECT_EQ(Write(5, ""), RunStep::kImage);
  EXPECT_TRUE(noValidDbr());
  EXPECT_TRUE(AllBytes(1, 5 + l.total - 1, 1, kOld));
  SimFailWritesFrom(1, UINT64_MAX);

  SimClearDebugOutput();
  SimFailWriteCall(1, 1);  // the DBR's own write
  EXPECT_EQ(Write(5, "X"), RunStep::kBootRecord);
  EXPECT_TRUE(Traced("WriteDBR:Last Err("));
  EXPECT_TRUE(noValidDbr());
}

std::string KindName(const ::testing::TestParamInfo<Layout>& info) {
  static const char* const kNames[] = {"720K", "1200K", "1440K"};
  return kNames[static_cast<int>(info.param.kind)];
}
INSTANTIATE_TEST_SUITE_P(Kinds, FloppyImageTest, ::testing::ValuesIn(kLayouts), KindName);

// Where a volume's parts lie, read back from the boot record on the disk.
FatLayout VolumeAt(uint32_t start) {
  FatLayout v;
  EXPECT_TRUE(ReadFatLayout(SimReadRaw(1, start, 1).data(), start, &v));
  return v;
}

class SysFilesTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_TRUE(std::filesystem::create_directory(directory + "/SysFile"));
    SimSetCurrentDirectory(directory);
  }

  // Writes SysFile/<name> with `size` bytes that differ from cluster to cluster; returns them.
  std::vector<uint8_t> Source(const std::string& name, size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 512 + name.back());
    std::ofstream(directory + "/SysFile/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    return bytes;
  }

  void WriteFloppy(FloppyKind kind, const char* label, DosVersion dos) {
    AddFilledDisk(MemoryStick(GeometryOf(kind).totalSectors), kOld);
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    ASSERT_TRUE(WriteFloppyImage(disk.get(), 0, kind, label, dos).Succeeded());
  }

  // An empty FAT16 volume at `start` as the general formatter leaves it, on a disk that held kOld.
  std::vector<uint8_t> Fat16Volume(uint32_t start, uint32_t clusters, uint8_t perCluster, uint8_t fats) {
    const uint16_t perFat = static_cast<uint16_t>(((clusters + 2) * 2 + 511) / 512);
    const uint32_t total = 1 + fats * perFat + 32 + clusters * perCluster;
    AddFilledDisk(MemoryStick(start + total + 16), kOld);
    std::vector<uint8_t> br = BootRecordWithClusters(clusters);
    br[bpb::kSectorsPerCluster] = perCluster, br[bpb::kNumberOfFats] = fats, br[bpb::kMedia] = 0xF8;
    PutLe16(&br[bpb::kSectorsPerFat], perFat);
    PutLe16(&br[bpb::kTotalSectors16], 0);
    PutLe32(&br[bpb::kTotalSectors32], total);
    SimWriteRaw(1, start, br);
    SimWriteRaw(1, start + 1, std::vector<uint8_t>((fats * perFat + 32) * 512u, 0));
    for (uint32_t copy = 0; copy < fats; ++copy) SimWriteRaw(1, start + 1 + copy * perFat, {0xF8, 0xFF, 0xFF, 0xFF});
    return br;
  }

  SysFilesTransfer Transfer(uint32_t start, DosVersion dos, const std::vector<uint8_t>& br) {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    return TransferSystemFiles(disk.get(), start, dos, br.data());
  }

  // Checks root slot `slot` against a source file: name, attributes, size, a chain that every FAT copy holds and
  // that ends with the end mark, and the file's bytes followed by zeros to the end of its last cluster.
  uint32_t ExpectFile(const FatLayout& v, int slot, const std::string& name, const std::vector<uint8_t>& content,
                      uint8_t attributes = 0x20) {
    std::vector<uint8_t> root = SimReadRaw(1, v.rootSector, 1);
    const uint8_t* e = &root[slot * 32];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e), 11), name);
    EXPECT_EQ(e[11], attributes) << name;
    EXPECT_EQ(GetLe32(e + 28), content.size()) << name;
    std::vector<uint8_t> fat = SimReadRaw(1, v.firstFat, v.sectorsPerFat);
    for (uint32_t copy = 1; copy < v.fatCount; ++copy) EXPECT_EQ(SimReadRaw(1, v.firstFat + copy * v.sectorsPerFat, v.sectorsPerFat), fat);
    const uint32_t endMark = FirstEndOfChain(v.fat16), first = GetLe16(e + 26);
    std::vector<uint8_t> data;
    uint32_t c = first;
    for (int guard = 0; c >= 2 && c < endMark && guard < 5000; ++guard) {
      std::vector<uint8_t> cluster = SimReadRaw(1, v.firstData + (c - 2) * v.sectorsPerCluster, v.sectorsPerCluster);
      data.insert(data.end(), cluster.begin(), cluster.end());
      c = GetFatEntry(fat.data(), v.fat16, c);
    }
    EXPECT_GE(c, endMark) << name << ": chain does not end with the end mark";
    const size_t clusterBytes = v.sectorsPerCluster * 512u;
    EXPECT_EQ(data.size(), (content.size() + clusterBytes - 1) / clusterBytes * clusterBytes) << name;
    std::vector<uint8_t> expected = content;
    expected.resize(data.size(), 0);
    EXPECT_TRUE(data == expected) << name << ": data or its zero padding differ";
    return first;
  }

  HostDirectory host;
  const std::string directory = host.path;
};

TEST_F(SysFilesTest, FloppyWithLabelGetsThreeFilesAfterTheLabelWithPackedFat12Chains) {
  auto io = Source("OS7A", 1500), msdos = Source("OS7B", 512), command = Source("OS7C", 2049);
  WriteFloppy(FloppyKind::k1440K, "BOOT", kDos71);
  FatLayout v = VolumeAt(0);
  EXPECT_EQ(SimReadRaw(1, 19, 1)[0], 'B') << "the label keeps slot 0";
  EXPECT_EQ(SimReadRaw(1, 20, 1), std::vector<uint8_t>(512, 0)) << "the root's second sector stays empty";
  EXPECT_EQ(v.firstData, 33u);
  EXPECT_EQ(ExpectFile(v, 1, "IO      SYS", io), 2u);
  EXPECT_EQ(ExpectFile(v, 2, "MSDOS   SYS", msdos), 5u) << "exactly one cluster: one entry, the end mark";
  EXPECT_EQ(ExpectFile(v, 3, "COMMAND COM", command), 6u);
  EXPECT_TRUE(Traced(directory + "\\SysFile\\OS7A:Last Err(0)"));
}

TEST_F(SysFilesTest, Dos622On720KWritesOneTwoSectorChunkPerClusterAndChainsBeyondTheFirstTwoFatSectors) {
  // 700 clusters: entries up to cluster 701 lie in the FAT's third sector.
  auto io = Source("OS6A", 300 * 1024), msdos = Source("OS6B", 300 * 1024 - 5), command = Source("OS6C", 100 * 1024);
  chmod((directory + "/SysFile/OS6B").c_str(), 0444);
  WriteFloppy(FloppyKind::k720K, "", kDosNone);
  SimResetStats(1);
  EXPECT_EQ(Transfer(0, kDos622, SimReadRaw(1, 0, 1)), SysFilesTransfer::kDone);
  FatLayout v = VolumeAt(0);
  EXPECT_EQ(v.firstData, 14u);
  EXPECT_EQ(ExpectFile(v, 0, "IO      SYS", io), 2u);
  EXPECT_EQ(ExpectFile(v, 1, "MSDOS   SYS", msdos, 0x21), 302u) << "a read-only source stays read-only";
  EXPECT_EQ(ExpectFile(v, 2, "COMMAND COM", command), 602u);
  EXPECT_EQ(SimStats(1).writeCalls, 700u + 2u + 1u);  // a write per cluster, the FAT copies, the directory
  EXPECT_TRUE(AllBytes(1, 14 + 700 * 2, 1, 0xF6)) << "nothing after the last cluster";
}

struct Fat16Case { uint8_t perCluster, fats; uint32_t ioBytes = 5000; };
class SysFilesFat16Test : public SysFilesTest, public ::testing::WithParamInterface<Fat16Case> {};

TEST_P(SysFilesFat16Test, ClustersGoOutInChunksOfAtMostFourSectorsWith16BitEntriesToEveryFat) {
  const Fat16Case c = GetParam();
  const uint32_t clusterBytes = c.perCluster * 512u, ioClusters = (c.ioBytes + clusterBytes - 1) / clusterBytes;
  auto io = Source("OS7A", c.ioBytes), msdos = Source("OS7B", clusterBytes), command = Source("OS7C", 3 * clusterBytes + 7);
  std::vector<uint8_t> br = Fat16Volume(63, 4100, c.perCluster, c.fats);
  SimResetStats(1);
  EXPECT_EQ(Transfer(63, kDos71, br), SysFilesTransfer::kDone);
  FatLayout v = VolumeAt(63);
  EXPECT_EQ(v.rootSector, 64 + c.fats * v.sectorsPerFat);
  EXPECT_EQ(ExpectFile(v, 0, "IO      SYS", io), 2u);
  EXPECT_EQ(ExpectFile(v, 1, "MSDOS   SYS", msdos), 2 + ioClusters) << "one cluster: only the end mark";
  EXPECT_EQ(ExpectFile(v, 2, "COMMAND COM", command), 3 + ioClusters);
  EXPECT_EQ(GetLe16(&SimReadRaw(1, v.firstFat, 3)[(2 + ioClusters) * 2]), 0xFFFF);
  const uint32_t clusters = ioClusters + 1 + 4, chunksPerCluster = (c.perCluster + 3) / 4u;
  EXPECT_EQ(SimStats(1).writeCalls, clusters * chunksPerCluster + c.fats + 1);
  EXPECT_TRUE(AllBytes(1, v.firstData + clusters * c.perCluster, 1, kOld));
}

INSTANTIATE_TEST_SUITE_P(Volumes, SysFilesFat16Test, ::testing::Values(Fat16Case{1, 2}, Fat16Case{2, 1}, Fat16Case{8, 2},
                                                                       Fat16Case{1, 2, 511 * 512}));  // to cluster 512

// A source that cannot be opened, placed or read, or a data write that fails: the FATs and the root directory stay
// as the formatter left them, and the trace says where it stopped.
TEST_F(SysFilesTest, FailuresStopBeforeTheFatAndTheDirectory) {
  Source("OS7A", 2000);
  Source("OS7C", 100);
  WriteFloppy(FloppyKind::k1440K, "", kDosNone);
  std::vector<uint8_t> br = SimReadRaw(1, 0, 1), before = SimReadRaw(1, 1, 32);

  // The writers ask first: each of these is refused before their first write.
  EXPECT_FALSE(SystemFilesFit(kDos71, 0, br.data(), false)) << "OS7B is missing";
  EXPECT_EQ(Transfer(0, kDos71, br), SysFilesTransfer::kSourceUnusable) << "OS7B is missing";
  EXPECT_TRUE(Traced("Open file:" + directory + "\\SysFile\\OS7B failure."));
  EXPECT_EQ(SimReadRaw(1, 33, 1)[0], static_cast<uint8_t>('A')) << "IO.SYS data is written";
  EXPECT_EQ(SimReadRaw(1, 1, 32), before) << "FATs and root directory as the formatter left them";

  Source("OS7B", 1500 * 1024);  // larger than the floppy
  EXPECT_FALSE(SystemFilesFit(kDos71, 0, br.data(), false));
  SimResetStats(1);
  EXPECT_EQ(Transfer(0, kDos71, br), SysFilesTransfer::kSourceUnusable);
  EXPECT_EQ(SimReadRaw(1, 1, 32), before);
  EXPECT_LT(SimStats(1).highestSectorWritten, 2880u);
  // 2847 data clusters: IO.SYS takes 4 and COMMAND.COM 1, so MSDOS.SYS may take the other 2842 and no more.
  Source("OS7B", 2842 * 512);
  EXPECT_TRUE(SystemFilesFit(kDos71, 0, br.data(), true));
  Source("OS7B", 2842 * 512 + 1);
  EXPECT_FALSE(SystemFilesFit(kDos71, 0, br.data(), true));

  std::filesystem::remove(directory + "/SysFile/OS7B");
  std::filesystem::create_directory(directory + "/SysFile/OS7B");  // opens, but cannot be read
  EXPECT_FALSE(SystemFilesFit(kDos71, 0, br.data(), false));
  EXPECT_EQ(Transfer(0, kDos71, br), SysFilesTransfer::kSourceReadFailed);
  EXPECT_TRUE(Traced("ReadFile at Clus 0 not enough:0"));
  EXPECT_EQ(SimReadRaw(1, 1, 32), before);
  SimFailWritesFrom(1, 33 + 3);  // the last of IO.SYS's four clusters, which holds 464 bytes
  EXPECT_EQ(Transfer(0, kDos71, br), SysFilesTransfer::kDataWriteFailed);
  EXPECT_TRUE(Traced("WriteDataToDisk error,at Clus 3,actual written 464"));
  EXPECT_TRUE(Traced("WriteFile:Last Err(48f)"));
  EXPECT_EQ(SimReadRaw(1, 1, 32), before);

  SimSetCurrentDirectory(std::string(300, 'd'));  // no room for the whole path
  EXPECT_FALSE(SystemFilesFit(kDos71, 0, br.data(), false));
  SimResetStats(1);
  EXPECT_EQ(Transfer(0, kDos71, br), SysFilesTransfer::kSourceUnusable);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
}

TEST_F(SysFilesTest, VolumesThatCannotHoldTheFilesSafelyAreRefusedBeforeAnythingIsWritten) {
  for (const char* name : {"OS7A", "OS7B", "OS7C"}) Source(name, 100);
  std::vector<uint8_t> good = Fat16Volume(0, 4100, 1, 2);
  struct { int offset; uint16_t value; const char* trace; SysFilesTransfer result; } const cases[] = {
      {510, 0, "Get fat type failue.", SysFilesTransfer::kLayoutRefused},     // no 55 AA
      {11, 1024, "Get fat type failue.", SysFilesTransfer::kLayoutRefused},   // sectors of another size
      {13, 3, "Get fat type failue.", SysFilesTransfer::kLayoutRefused},      // clusters of 3 sectors
      {17, 0, "No room in the root directory", SysFilesTransfer::kRootFull},  // root directory at the data area
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> br = good;
    PutLe16(&br[c.offset], c.value);
    if (c.offset == 13) br[14] = 1;  // the reserved sectors field shares the 16-bit write
    SimResetStats(1);
    SimClearDebugOutput();
    EXPECT_FALSE(SystemFilesFit(kDos71, 0, br.data(), false)) << c.trace;
    EXPECT_EQ(Transfer(0, kDos71, br), c.result) << c.trace;
    EXPECT_EQ(SimStats(1).sectorsWritten, 0u) << c.trace;
    EXPECT_TRUE(Traced(c.trace));
  }
}

}  // namespace
