// Floppy image files written into consecutive blocks: refusals before the first write, and runs stopped or cut
// short part way that leave whole blocks before the block they name and no half block that scans valid.
#include "blocks/blocks.h"
#include "sim_fixture.h"

namespace {

constexpr FloppyKind k144 = FloppyKind::k1440K;
constexpr uint32_t kBlock = 3072, kImageBytes = 2880 * 512, kAreaBlocks = 6;

// A 1.44M image whose DBR is the kind's, its other sectors filled with the image's own byte.
std::vector<uint8_t> Image(uint8_t fill) {
  std::vector<uint8_t> image(kImageBytes, fill);
  BuildFloppyDbr(k144, "", kDosNone, image.data());
  return image;
}

class BlockImagesTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AddDisk(MemoryStick(kAreaBlocks * kBlock));
  }
  RunOutcome Import(uint32_t first, bool force = false, RunControl* run = nullptr) {
    BlockImportOptions options;
    options.force = force;
    return ImportBlockImages(
        "physicaldrive1", 0, kAreaBlocks * kBlock, first, images.size(),
        [this](size_t i, size_t limit, std::vector<uint8_t>* bytes, uint64_t* size) {
          *size = images[i].size();
          bytes->assign(images[i].begin(), images[i].begin() + std::min<size_t>(limit + 1, images[i].size()));
          return true;
        },
        options, run);
  }
  bool BlockIs(uint32_t block, const std::vector<uint8_t>& image) {
    return SimReadRaw(1, uint64_t{block} * kBlock, 2880) == image;
  }
  std::vector<std::vector<uint8_t>> images{Image(0x11), Image(0x22), Image(0x33)};
};

TEST_F(BlockImagesTest, RefusalsComeBeforeAnyWrite) {
  std::vector<uint8_t> noDbr(kImageBytes, 0x44);
  struct Case { const char* name; uint32_t first; std::vector<uint8_t> middle; Refusal refusal; } cases[] = {
      {"a short image in the middle", 1, std::vector<uint8_t>(kImageBytes - 512, 0), Refusal::kImageWrongSize},
      {"a long image in the middle", 1, std::vector<uint8_t>(kImageBytes + 1, 0), Refusal::kImageWrongSize},
      {"no DBR of the kind", 1, noDbr, Refusal::kNotFloppy},
      {"past the last block", kAreaBlocks - 2, Image(0x22), Refusal::kPastLastBlock},
  };
  for (const Case& c : cases) {
    images[1] = c.middle;
    SimResetStats(1);
    RunOutcome r = Import(c.first);
    EXPECT_EQ(r.refusal, c.refusal) << c.name;
    EXPECT_EQ(SimStats(1).writeCalls, 0u) << c.name;
    EXPECT_EQ(r.failedUnit, c.refusal == Refusal::kPastLastBlock ? 0u : 2u) << c.name;  // image 1: block 2
  }
  images[1] = noDbr;
  RunOutcome forced = Import(1, true);
  EXPECT_TRUE(forced.Succeeded());
  EXPECT_EQ(forced.completed, 3u);
  EXPECT_EQ(forced.written.size(), 3u);  // three images, each its own range
  EXPECT_TRUE(BlockIs(2, noDbr));
}

// An import and a batch format over blocks 1 to 3 that held older floppies, stopped by the user or cut by a pulled
// disk after any number of writes, or with every transfer cut one sector short: the blocks before failedUnit are
// complete, failedUnit scans valid only as the old block (a batch's also as the complete new one), and the blocks
// after it hold what they held.
TEST_F(BlockImagesTest, ARunCutShortLeavesWholeBlocksBeforeTheOneItNames) {
  const std::vector<uint8_t> old = Image(0x99);
  BlockFormatOptions dos71;
  dos71.dos = kDos71;
  for (bool import : {true, false}) {
    auto fresh = [&] {
      SimReset();
      AddDisk(MemoryStick(kAreaBlocks * kBlock));
      UseSmallSystemFiles("korvane_images_cut");
      SimSetLocalTime(SysTime{2026, 12, 1, 7, 12, 0, 0, 0});
      for (uint32_t n = 0; n < kAreaBlocks; ++n) SimWriteRaw(1, uint64_t{n} * kBlock, old);
      SimResetStats(1);
    };
    auto run = [&](RunControl* control) {
      return import ? Import(1, false, control)
                    : FormatFloppyBlocks("physicaldrive1", 0, 1, 3, true, dos71, nullptr, control);
    };
    fresh();
    ASSERT_TRUE(run(nullptr).Succeeded());
    const uint64_t writes = SimStats(1).writeCalls;
    std::vector<std::vector<uint8_t>> complete;
    for (uint32_t b = 1; b <= 3; ++b) complete.push_back(SimReadRaw(1, uint64_t{b} * kBlock, 2880));
    for (uint64_t after = 0; after <= writes; ++after) {
      for (int cut : {0, 1, 2}) {  // stopped, pulled, short transfers (once)
        if ((cut == 2) != (after == writes)) continue;
        const std::string name = std::string(import ? "import" : "batch") + " cut " + std::to_string(cut) + " after " +
                                 std::to_string(after) + " writes";
        std::atomic<bool> stop{false};
        RunControl control;
        control.stop = &stop;
        control.progress = [&stop, after](uint64_t, uint64_t) { stop = stop || SimStats(1).writeCalls >= after; };
        stop = after == 0 && cut == 0;
        fresh();
        if (cut == 1) SimPullAfterWrites(1, after);
        SimShortTransfers(1, cut == 2);
        RunOutcome r = run(cut == 0 ? &control : nullptr);
        SimShortTransfers(1, false);
        EXPECT_TRUE(cut == 0 ? r.stopped : !r.stopped && (cut == 1 ? r.FailedWriting() : r.failedStep == RunStep::kImage))
            << name;
        ASSERT_LT(r.completed, 3u) << name;
        EXPECT_EQ(r.failedUnit, 1 + r.completed) << name;
        for (uint32_t i = 0; i < r.completed; ++i) EXPECT_TRUE(BlockIs(1 + i, complete[i])) << name;
        std::vector<uint8_t> dbr = SimReadRaw(1, uint64_t{r.failedUnit} * kBlock, 1);
        if (IsValidBlockBootRecord(dbr.data(), k144)) {
          EXPECT_TRUE(BlockIs(r.failedUnit, old) || (!import && BlockIs(r.failedUnit, complete[r.completed])))
              << "block " << r.failedUnit << " scans valid half written, " << name;
        }
        for (uint32_t b = r.failedUnit + 1; b < kAreaBlocks; ++b) EXPECT_TRUE(BlockIs(b, old)) << name;
        EXPECT_TRUE(BlockIs(0, old)) << name;
      }
    }
  }
}

}  // namespace
