// The file layer over a floppy image in a simulated stick: name rules, refusals that write nothing, damaged chains,
// a write that fails at any point of a change, and a block reached through the filter driver.
#include "blocks_fixture.h"
#include "disk/queries.h"
#include "fatfiles/fatfiles.h"
#include "floppy/floppy.h"
#include "words/words.h"

namespace {

constexpr uint32_t kStart = 3072;  // the image lies at a block's start, not at sector 0

using Files = std::vector<std::pair<std::string, std::vector<uint8_t>>>;
std::vector<uint8_t> Bytes(size_t count, uint8_t seed) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return bytes;
}

class FatFilesTest : public BlockDiskTest {
 protected:
  void SetUp() override {
    BlockDiskTest::SetUp();
    MakeStick(16384, 0, 16384);
    open();
    ASSERT_TRUE(WriteFloppyImage(disk_.get(), kStart, FloppyKind::k1440K, "FLPPY1", kDosNone).Succeeded());
    SimSetLocalTime(SysTime{2026, 12, 0, 5, 14, 37, 58, 0});
  }
  void TearDown() override {
    disk_.reset();
    BlockDiskTest::TearDown();
  }
  void open() { disk_ = DeviceHandle(OpenDevice("physicaldrive1")); }

  FatFilesResult add(const std::string& dir, const Files& files, bool replace = false) {
    std::vector<FatFileToAdd> list;
    for (const auto& f : files) list.push_back({f.first, f.second, std::nullopt});
    return AddFatFiles(disk_.get(), kStart, dir, list, replace);
  }
  std::vector<uint8_t> read(const std::string& path, FatFilesError expected = FatFilesError::kNone) {
    std::vector<uint8_t> data;
    EXPECT_EQ(ReadFatFile(disk_.get(), kStart, path, &data).error, expected) << path;
    return data;
  }
  std::vector<std::string> names(const std::string& dir) {
    std::vector<FatFileEntry> entries;
    EXPECT_TRUE(ListFatDirectory(disk_.get(), kStart, dir, &entries).ok());
    std::vector<std::string> out;
    for (const FatFileEntry& e : entries) out.push_back(e.name);
    return out;
  }
  std::vector<uint8_t> image() { return SimReadRaw(1, kStart, 2880); }

  DeviceHandle disk_;
};

TEST(FatFilesNames, OnlyDos83NamesPass) {
  uint8_t name[11];
  ASSERT_TRUE(MakeShortName("design.dst", name));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name), 11), "DESIGN  DST");
  ASSERT_TRUE(MakeShortName("README", name));
  EXPECT_EQ(ShortNameText(name), "README");
  EXPECT_TRUE(MakeShortName("!#$%&'()", name));
  EXPECT_TRUE(MakeShortName("A-B_C~1.{}@", name));
  EXPECT_TRUE(MakeShortName("COM10", name));
  for (const char* bad : {"", ".", "..", ".TXT", "NAME.", "TOOLONGNAME", "NAME.HTML", "A.B.C", "A B.TXT", "A+B",
                          "A*.TXT", "A\"B", "CON", "nul.txt", "com1.bin", "LPT9", "CLOCK$"})
    EXPECT_FALSE(MakeShortName(bad, name)) << bad;
  EXPECT_EQ(LastPathPart("dir\\sub/FILE.TXT"), "FILE.TXT");
}

// Names in the OEM code page: a trail byte that looks like a lower-case letter, '\\' or '|' stays as it is, a
// first byte E5 is stored as 05 and read back as E5, a lead byte needs its trail byte.
TEST(FatFilesNames, OemNamesKeepTheirBytes) {
  // Stored: 11 bytes, or nullptr when refused.
  struct { uint32_t codePage; const char *text, *stored; } const cases[] = {
      {936, "\xB0\x61\x81\x5C\x81\x7Cx.txt", "\xB0\x61\x81\x5C\x81\x7CX TXT"},
      {936, "\xD6\xD0\xCE\xC4.\xCE\xC4" "a", "\xD6\xD0\xCE\xC4    \xCE\xC4""A"},
      {936, "\xE5\x61\x62", "\x05\x61""B        "},
      {850, "caf\x90.txt", "CAF\x90    TXT"},
      {850, "\xE5t\xE0", "\x05T\xE0        "},
      {932, "\xB1" "a", "\xB1" "A         "},  // a half-width katakana is no lead byte
      {936, "ab\x81.txt", nullptr},
      {936, "\x81.txt", nullptr},
      {936, "\x81\x30", nullptr},
      {936, "abcdefg\xD6\xD0", nullptr},
  };
  for (const auto& c : cases) {
    uint8_t name[11];
    const bool made = MakeShortName(c.text, name, c.codePage);
    ASSERT_EQ(made, c.stored != nullptr) << c.text;
    if (!made) continue;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), 11), c.stored) << c.text;
    EXPECT_EQ(ShortNameText(name)[0] == '\xE5', c.text[0] == '\xE5') << c.text;  // 05 reads back as E5
  }
}

TEST_F(FatFilesTest, ATrailByte5CIsNoPathSeparator) {
  SimSetOemCodePage(936);
  const std::string folder = "\x81\x5C", file = "\xD6\xD0\x81\x5C.txt";
  ASSERT_TRUE(MakeFatDirectory(disk_.get(), kStart, folder).ok());
  ASSERT_TRUE(add(folder + "\\", {{file, Bytes(700, 3)}}).ok());
  EXPECT_EQ(read(folder + "/\xD6\xD0\x81\x5C.TXT"), Bytes(700, 3));
  EXPECT_EQ(names(folder), std::vector<std::string>{"\xD6\xD0\x81\x5C.TXT"});
  EXPECT_TRUE(DeleteFatFiles(disk_.get(), kStart, {folder + "\\" + file}).ok());
  EXPECT_TRUE(RemoveFatDirectory(disk_.get(), kStart, folder).ok());
}

TEST_F(FatFilesTest, FilesAndFoldersComeBackAsWritten) {
  ASSERT_TRUE(add("", {{"a.txt", Bytes(6, 1)}, {"big.bin", Bytes(199841, 2)}, {"empty", {}}}).ok());
  ASSERT_TRUE(MakeFatDirectory(disk_.get(), kStart, "work").ok());
  Files many;
  for (int i = 0; i < 20; ++i) many.push_back({"F" + std::to_string(i), Bytes(600, static_cast<uint8_t>(i))});
  ASSERT_TRUE(add("/WORK/", many).ok());  // the folder grows past its first cluster of 16 entries
  for (auto [path, bytes] : {std::pair("A.TXT", Bytes(6, 1)), {"big.bin", Bytes(199841, 2)}, {"EMPTY", {}},
                             {"work\\f19", Bytes(600, 19)}, {"work/../a.txt", Bytes(6, 1)}})
    EXPECT_EQ(read(path), bytes) << path;
  EXPECT_EQ(std::make_pair(names("").size(), names("work").size()), std::make_pair(size_t{4}, size_t{20}));  // no label
  std::vector<FatFileEntry> entries;
  ASSERT_TRUE(ListFatDirectory(disk_.get(), kStart, "", &entries).ok());
  // 5 December 2026, 14:37:58
  EXPECT_EQ(std::make_tuple(entries[0].date, entries[0].time, entries[1].size, entries[3].directory),
            std::make_tuple(23941, 29885, 199841u, true));

  FatVolumeInfo info;
  ASSERT_TRUE(ReadFatVolumeInfo(disk_.get(), kStart, &info).ok());
  // 6 + 199841 bytes (390 clusters and a byte: the chain reaches the second FAT sector), a folder of two clusters,
  // 20 files of 600 bytes in two each.
  EXPECT_EQ(std::tie(info.label, info.totalBytes, info.freeBytes),
            std::make_tuple("FLPPY1", 2847u * 512, (2847u - 1 - 391 - 2 - 40) * 512));

  EXPECT_EQ(RemoveFatDirectory(disk_.get(), kStart, "work").error, FatFilesError::kNotEmpty);
  std::vector<std::string> all;
  for (const auto& f : many) all.push_back("work/" + f.first);
  ASSERT_TRUE(DeleteFatFiles(disk_.get(), kStart, all).ok());
  ASSERT_TRUE(RemoveFatDirectory(disk_.get(), kStart, "work").ok());
  ASSERT_TRUE(DeleteFatFiles(disk_.get(), kStart, {"big.bin", "a.txt", "empty"}).ok());
  ASSERT_TRUE(ReadFatVolumeInfo(disk_.get(), kStart, &info).ok());
  EXPECT_EQ(info.freeBytes, info.totalBytes);
  EXPECT_TRUE(names("").empty());
}

// A file written into the gap of a deleted one and after the last: every cluster's part past the file's end is zero.
TEST_F(FatFilesTest, AFragmentedFileEndsInZeros) {
  ASSERT_TRUE(add("", {{"A", Bytes(512, 1)}, {"B", Bytes(512, 2)}, {"C", Bytes(512, 3)}}).ok());  // clusters 2-4
  ASSERT_TRUE(DeleteFatFiles(disk_.get(), kStart, {"B"}).ok());
  ASSERT_TRUE(add("", {{"D", Bytes(1300, 4)}}).ok());  // clusters 3, 5 and 6
  EXPECT_EQ(read("D"), Bytes(1300, 4));
  std::vector<uint8_t> last = Sector(1, kStart + 33 + 4);
  EXPECT_EQ(std::vector<uint8_t>(last.begin() + 276, last.end()), std::vector<uint8_t>(236, 0));
}

TEST_F(FatFilesTest, RefusalsWriteNothing) {
  ASSERT_TRUE(add("", {{"KEEP.BIN", Bytes(2000, 3)}}).ok());
  ASSERT_TRUE(MakeFatDirectory(disk_.get(), kStart, "dir").ok());
  std::vector<uint8_t> root = Sector(1, kStart + 19);
  root[32 + 11] |= 0x01;  // KEEP.BIN read-only
  SimWriteRaw(1, kStart + 19, root);
  const std::vector<uint8_t> before = image();
  SimResetStats(1);
  struct { FatFilesResult result; FatFilesError expected; } const cases[] = {
      {add("", {{"long name.txt", Bytes(1, 0)}}), FatFilesError::kBadName},
      {add("", {{"NEW.BIN", Bytes(1, 0)}, {"KEEP.BIN", Bytes(1, 0)}}), FatFilesError::kExists},
      {add("", {{"NEW.BIN", Bytes(1, 0)}, {"new.bin", Bytes(1, 0)}}), FatFilesError::kExists},
      {add("", {{"DIR", Bytes(1, 0)}}, true), FatFilesError::kIsDirectory},
      {add("nodir", {{"NEW.BIN", Bytes(1, 0)}}), FatFilesError::kNotFound},
      {add("keep.bin", {{"NEW.BIN", Bytes(1, 0)}}), FatFilesError::kNotDirectory},
      {add("", {{"A", Bytes(1500 * 512, 0)}, {"B", Bytes(1500 * 512, 0)}}), FatFilesError::kDiskFull},
      {DeleteFatFiles(disk_.get(), kStart, {"keep.bin", "gone.bin"}), FatFilesError::kNotFound},
      {DeleteFatFiles(disk_.get(), kStart, {"dir"}), FatFilesError::kIsDirectory},
      {MakeFatDirectory(disk_.get(), kStart, "keep.bin"), FatFilesError::kExists},
      {RemoveFatDirectory(disk_.get(), kStart, "keep.bin"), FatFilesError::kNotDirectory},
      {add("", {{"KEEP.BIN", Bytes(1, 0)}}, true), FatFilesError::kExists},  // read-only: not replaced
  };
  for (const auto& c : cases) EXPECT_EQ(c.result.error, c.expected) << FatFilesMessage(c.result);
  EXPECT_EQ(std::tie(cases[6].result.needed, cases[6].result.available), std::make_tuple(3000u * 512, (2847u - 4 - 1) * 512));
  EXPECT_NE(FatFilesMessage(cases[6].result).find("bytes are free"), std::string::npos);
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  EXPECT_EQ(image(), before);

  // The root folder holds 224 entries, the label one of them.
  Files empties;
  for (int i = 0; i < 221; ++i) empties.push_back({"E" + std::to_string(i), {}});
  ASSERT_TRUE(add("", empties).ok());
  const std::vector<uint8_t> full = image();
  EXPECT_EQ(add("", {{"ONE.MOR", {}}}).error, FatFilesError::kRootFull);
  EXPECT_EQ(MakeFatDirectory(disk_.get(), kStart, "more").error, FatFilesError::kRootFull);
  EXPECT_EQ(image(), full);
  EXPECT_TRUE(add("dir", {{"ONE.MOR", {}}}).ok());
}

// A folder made in a full folder on a full disk needs two clusters: its own and one more for the folder holding it.
TEST_F(FatFilesTest, AFolderThatCannotGrowOnAFullDiskNamesBothClustersItNeeds) {
  ASSERT_TRUE(MakeFatDirectory(disk_.get(), kStart, "dir").ok());
  Files entries;
  for (int i = 0; i < 14; ++i) entries.push_back({"F" + std::to_string(i), {}});
  ASSERT_TRUE(add("dir", entries).ok());  // with "." and ".." the folder's one cluster is full
  ASSERT_TRUE(add("", {{"BIG.BIN", Bytes((2847 - 2) * 512, 1)}}).ok());  // one cluster left
  EXPECT_EQ(MakeFatDirectory(disk_.get(), kStart, "dir/new").needed, 2u * 512);
}

TEST_F(FatFilesTest, DamagedVolumesAreReportedNotFollowed) {
  ASSERT_TRUE(add("", {{"LOOP.BIN", Bytes(1500, 4)}}).ok());  // clusters 2, 3, 4
  std::vector<uint8_t> fat = SimReadRaw(1, kStart + 1, 1);
  fat[6] = 0x02;  // cluster 4 leads back to cluster 2: 12-bit entry of cluster 4 at byte 6
  fat[7] = static_cast<uint8_t>(fat[7] & 0xF0);
  SimWriteRaw(1, kStart + 1, fat);
  read("LOOP.BIN", FatFilesError::kDamaged);
  EXPECT_EQ(DeleteFatFiles(disk_.get(), kStart, {"LOOP.BIN"}).error, FatFilesError::kDamaged);

  // A folder whose entry names no cluster of the volume (cluster 0 is the root only for a ".." entry): every
  // operation through it is refused before it reads or writes through that number.
  ASSERT_TRUE(MakeFatDirectory(disk_.get(), kStart, "SUB").ok());
  const std::vector<uint8_t> good = image();
  const uint32_t root = kStart + 19;  // the root folder's first sector; SUB follows LOOP.BIN and the label
  for (uint16_t cluster : {0, 1, 2848 + 1, 0xFFFF}) {
    std::vector<uint8_t> entries = SimReadRaw(1, root, 1);
    PutLe16(&entries[2 * 32 + 26], cluster);
    SimWriteRaw(1, root, entries);
    const std::vector<uint8_t> before = image();
    SimResetStats(1);
    std::vector<FatFileEntry> listed;
    std::vector<uint8_t> data;
    for (const FatFilesResult& r : {add("SUB", {{"NEW.BIN", Bytes(10, 1)}}),
                                    MakeFatDirectory(disk_.get(), kStart, "SUB/NEW"),
                                    ListFatDirectory(disk_.get(), kStart, "SUB", &listed),
                                    ReadFatFile(disk_.get(), kStart, "SUB/X.BIN", &data),
                                    DeleteFatFiles(disk_.get(), kStart, {"SUB/X.BIN"}),
                                    RemoveFatDirectory(disk_.get(), kStart, "SUB")}) {
      EXPECT_EQ(r.error, FatFilesError::kDamaged) << "cluster " << cluster << ": " << FatFilesMessage(r);
      EXPECT_EQ(r.name, "SUB") << cluster;
    }
    EXPECT_EQ(SimStats(1).writeCalls, 0u) << cluster;
    EXPECT_EQ(image(), before) << cluster;
    SimWriteRaw(1, kStart, good);
  }

  // No FAT boot record, and one without a root folder (a FAT32 one, or a count gone to zero).
  std::vector<uint8_t> noRoot = SimReadRaw(1, kStart, 1);
  PutLe16(&noRoot[bpb::kRootEntries], 0);
  std::vector<FatFileEntry> entries;
  for (const std::vector<uint8_t>& record : {std::vector<uint8_t>(512, 0), noRoot}) {
    SimWriteRaw(1, kStart, record);
    EXPECT_EQ(ListFatDirectory(disk_.get(), kStart, "", &entries).error, FatFilesError::kNotFat);
  }
  SimFailReadsFrom(1, 0);
  EXPECT_EQ(ListFatDirectory(disk_.get(), kStart, "", &entries).error, FatFilesError::kRead);
}

// A write that fails at any call of a change is reported, and leaves every file readable: the old bytes or the
// new ones, never a chain that the FAT does not hold.
TEST_F(FatFilesTest, AWriteThatFailsAnywhereLeavesEveryFileWhole) {
  ASSERT_TRUE(MakeFatDirectory(disk_.get(), kStart, "sub").ok());
  Files fill;
  for (int i = 0; i < 16; ++i) fill.push_back({"S" + std::to_string(i), Bytes(10, 5)});
  ASSERT_TRUE(add("sub", fill).ok());  // the next entry in SUB needs a new cluster
  ASSERT_TRUE(add("", {{"OLD.BIN", Bytes(3000, 6)}, {"GONE.BIN", Bytes(700, 7)}}).ok());
  const std::vector<uint8_t> start = image();
  const std::vector<uint8_t> newer = Bytes(5000, 8);
  auto change = [&]() {
    FatFilesResult r = add("", {{"OLD.BIN", newer}}, true);
    if (r.ok()) r = add("sub", {{"NEW.BIN", Bytes(900, 9)}});
    if (r.ok()) r = DeleteFatFiles(disk_.get(), kStart, {"GONE.BIN"});
    return r;
  };
  SimResetStats(1);
  ASSERT_TRUE(change().ok());
  const uint64_t writes = SimStats(1).writeCalls;
  ASSERT_GT(writes, 10u);
  for (uint64_t k = 0; k < writes; ++k) {
    SimWriteRaw(1, kStart, start);
    SimFailWriteCall(1, k);
    EXPECT_EQ(change().error, FatFilesError::kWrite) << "failing write call " << k;
    std::vector<uint8_t> old = read("OLD.BIN");
    EXPECT_TRUE(old == Bytes(3000, 6) || old == newer) << k;
    for (const std::string& name : names("sub")) read("sub/" + name);
    for (const std::string& name : names("")) read(name, name == "SUB" ? FatFilesError::kIsDirectory : FatFilesError::kNone);
  }
}

TEST_F(FatFilesTest, APresentedBlockIsReachedAtThePartitionStart) {
  // Blocks at S = 0: the image at kStart is block 1 of the 1.44M layout.
  AttachDriver(FloppyKind::k1440K);
  ASSERT_EQ(SelectBlock("physicaldrive1", 1), 1);
  disk_.reset();
  open();
  ASSERT_TRUE(AddFatFiles(disk_.get(), 0, "", {{"VIA.DRV", Bytes(700, 1), std::nullopt}}, false).ok());
  ASSERT_EQ(SelectBlock("physicaldrive1", 0), 1);
  EXPECT_EQ(read("VIA.DRV"), Bytes(700, 1));
}

}  // namespace
