#include <cstring>
#include <string>
#include <vector>

#include "boot/boot_programs.h"
#include "fat/fat.h"
#include "disk/sectorio.h"
#include "floppy/floppy.h"
#include "sim_fixture.h"

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
    AddDisk(MemoryStick(sectors));
    SimWriteRaw(1, 0, std::vector<uint8_t>(sectors * 512, kOld));
    SimResetStats(1);
    SimSetCurrentDirectory("/nonexistent/korvane");  // no SysFile folder: a DOS image gets no system files
  }
  FloppyImageResult Write(uint32_t start, const char* label, DosVersion dos = kDosNone) {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    EXPECT_TRUE(disk.valid());
    return WriteFloppyImage(disk.get(), start, GetParam().kind, label, dos);
  }
};

TEST_P(FloppyImageTest, LaysEveryRegionAtItsPlaceAndTouchesNothingOutsideTheImage) {
  const Layout& l = GetParam();
  const uint32_t s = 3072;  // the second 1.2M / 1.44M floppy block
  MakeDisk(s + l.total + 100);
  // No system files are present: a DOS image is refused before its first write.
  EXPECT_EQ(Write(s, "", kDos622), FloppyImageResult::kSystemFilesUnusable);
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  ASSERT_EQ(Write(s, "", kDosNone), FloppyImageResult::kWritten);

  const char* emptyLabel = l.kind == FloppyKind::k1200K ? "NO NAME    " : "           ";
  EXPECT_EQ(Sector(1, s), ExpectedDbr(l, emptyLabel, kBootProgramDos71)) << "hidden sectors stay 0 at any start";
  uint8_t dos622[512];
  BuildFloppyDbr(l.kind, "", kDos622, dos622);
  EXPECT_EQ(std::vector<uint8_t>(dos622, dos622 + 512), ExpectedDbr(l, emptyLabel, kBootProgramDos622));
  for (uint32_t fat : {s + 1u, s + 1u + l.perFat}) {
    EXPECT_EQ(Sector(1, fat), FatHead(l.media)) << "FAT at " << fat;
    EXPECT_TRUE(AllBytes(1, fat + 1, l.perFat - 1, 0));
  }
  EXPECT_TRUE(AllBytes(1, s + l.root, l.rootSectors, 0));
  EXPECT_TRUE(AllBytes(1, s + l.data, l.total - l.data - 1, 0xF6));
  EXPECT_TRUE(AllBytes(1, s + l.total - 1, 1, kOld)) << "the image's last sector keeps its content";
  EXPECT_TRUE(AllBytes(1, 0, s, kOld));
  EXPECT_TRUE(AllBytes(1, s + l.total, 100, kOld));
  EXPECT_EQ(SimStats(1).lowestSectorWritten, s);
  EXPECT_EQ(SimStats(1).highestSectorWritten, s + l.total - 2u);
  EXPECT_EQ(SimStats(1).writeCalls, 2u) << "the image in one write, then its DBR";
  EXPECT_EQ(SimTransfers(1).back().firstSector, s) << "the DBR goes last";
}

TEST_P(FloppyImageTest, LabelGoesIntoTheRootDirectoryWithZerosAndIntoTheDbrWithSpacesUnderTheDos71Program) {
  const Layout& l = GetParam();
  MakeDisk(l.total);
  SimSetLocalTime(SysTime{2026, 12, 6, 5, 14, 37, 59, 0});
  // The DBR's label field on 720K and 1.44M; 1.2M always says NO NAME.
  struct { const char *label, *dbrField; } const cases[] = {{"FLPPY7", "FLPPY7     "}, {"ABCDEFGHIJK", "ABCDEFGHIJK"}};
  for (const auto& c : cases) {
    for (DosVersion dos : {kDosNone, kDos71, static_cast<DosVersion>(3)}) {
      uint8_t built[512];
      BuildFloppyDbr(l.kind, c.label, dos, built);
      EXPECT_EQ(std::memcmp(&built[62], kBootProgramDos71, 448), 0) << "DOS value " << dos;
    }
    ASSERT_EQ(Write(0, c.label, kDosNone), FloppyImageResult::kWritten);
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
  EXPECT_EQ(Write(5, "X"), FloppyImageResult::kImageFailed);
  EXPECT_EQ(SimStats(1).sectorsWritten, 0u);
  EXPECT_TRUE(Traced("Write first FAT failure!"));
  SimFailWritesFrom(1, UINT64_MAX);

  // A write that fails in the data area (every failed call in turn: the fault injection test).
  SimResetStats(1);
  SimFailWritesIn(1, 5 + l.data + 100, 1);
  EXPECT_EQ(Write(5, ""), FloppyImageResult::kImageFailed);
  EXPECT_EQ(SimStats(1).sectorsWrittenPastFailure, 0u);
  EXPECT_TRUE(noValidDbr());
  EXPECT_TRUE(AllBytes(1, 5 + l.total - 1, 1, kOld));
  SimFailWritesFrom(1, UINT64_MAX);

  SimClearDebugOutput();
  SimFailWriteCall(1, 1);  // the DBR's own write
  EXPECT_EQ(Write(5, "X"), FloppyImageResult::kBootRecordFailed);
  EXPECT_TRUE(Traced("WriteDBR:Last Err("));
  EXPECT_TRUE(noValidDbr());
}

std::string KindName(const ::testing::TestParamInfo<Layout>& info) {
  static const char* const kNames[] = {"720K", "1200K", "1440K"};
  return kNames[static_cast<int>(info.param.kind)];
}
INSTANTIATE_TEST_SUITE_P(Kinds, FloppyImageTest, ::testing::ValuesIn(kLayouts), KindName);

}  // namespace
