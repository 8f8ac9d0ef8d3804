// Every writer over a disk that fails under it: each write call of a good run made to fail in turn, each read call
// made to fail in turn, short transfers, and the disk pulled out part way. Whatever fails, the writer reports a
// failure, and no sector is written after the failed call.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "blocks/blocks.h"
#include "disk/runcontrol.h"
#include "disk/sectorio.h"
#include "floppy/floppy.h"
#include "sim_fixture.h"
#include "usbformat/usbformat.h"

namespace {

struct Writer {
  std::string name;
  uint64_t diskSectors;
  std::function<void()> prepare;  // what the disk holds before the run (not counted)
  std::function<bool()> run;      // true when the writer reports success
};

class FaultInjectionTest : public SimTest {
 protected:
  // A fresh machine with the writer's disk prepared and its accounting at zero.
  static void Fresh(const Writer& w) {
    SimReset();
    UseSmallSystemFiles(std::string("korvane_faults_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(SimAddDisk(MemoryStick(w.diskSectors)));
    if (w.prepare) w.prepare();
    SimResetStats(1);
    SimClearDebugOutput();
  }

  // After a failed run: a failure was reported, and after the first failed call no write went through.
  static void ExpectStoppedAtFailure(const Writer& w, bool reported, const std::string& fault) {
    EXPECT_FALSE(reported) << w.name << ": " << fault << " was reported as success";
    std::vector<SimTransfer> calls = SimTransfers(1);
    bool failed = false;
    for (const SimTransfer& t : calls) {
      if (failed && t.write && !t.failed) {
        ADD_FAILURE() << w.name << ": " << fault << ": sector " << t.firstSector << " written after the failure";
        break;
      }
      failed = failed || t.failed;
    }
    EXPECT_TRUE(failed) << w.name << ": " << fault << " did not happen";
    EXPECT_EQ(SimStats(1).sectorsWrittenPastFailure, 0u) << w.name << ": " << fault;
  }

  // Call indexes worth failing: all of the first and last 40, and every 25th of a long fill in between.
  static bool Worth(size_t index, size_t count) { return index < 40 || index + 40 >= count || index % 25 == 0; }

  static void ExpectEveryFaultReported(const Writer& w) {
    Fresh(w);
    ASSERT_TRUE(w.run()) << w.name << " fails on a good disk";
    const std::vector<SimTransfer> good = SimTransfers(1);
    uint64_t writes = 0, reads = 0;
    for (const SimTransfer& t : good) (t.write ? writes : reads)++;
    ASSERT_GT(writes, 0u);

    for (uint64_t i = 0; i < writes; ++i) {
      if (!Worth(i, writes)) continue;
      Fresh(w);
      SimFailWriteCall(1, i);
      ExpectStoppedAtFailure(w, w.run(), "write call " + std::to_string(i));
    }
    for (uint64_t i = 0; i < reads; ++i) {
      Fresh(w);
      SimFailReadCall(1, i);
      bool reported = w.run();
      // A read that fails must stop the run before anything more is written.
      EXPECT_FALSE(reported) << w.name << ": read call " << i << " was reported as success";
      bool readFailed = false;
      for (const SimTransfer& t : SimTransfers(1)) {
        if (readFailed && t.write) {
          ADD_FAILURE() << w.name << ": read call " << i << ": sector " << t.firstSector << " written after it";
          break;
        }
        readFailed = readFailed || (!t.write && t.failed);
      }
    }
    Fresh(w);
    SimShortTransfers(1, true);
    ExpectStoppedAtFailure(w, w.run(), "a short transfer");
    for (uint64_t pulledAfter : {uint64_t{0}, uint64_t{1}, writes / 2, writes - 1}) {
      if (pulledAfter >= writes) continue;
      Fresh(w);
      SimPullAfterWrites(1, pulledAfter);
      ExpectStoppedAtFailure(w, w.run(), "the disk pulled after " + std::to_string(pulledAfter) + " writes");
    }
  }
};

bool Floppy(FloppyKind kind, uint32_t start, const char* label, DosVersion dos) {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  return WriteFloppyImage(disk.get(), start, kind, label, dos).Succeeded();
}

TEST_F(FaultInjectionTest, FloppyImagesWithAndWithoutSystemFiles) {
  ExpectEveryFaultReported({"a 1.44M floppy with label and DOS 7.1", 3200, nullptr,
                            [] { return Floppy(FloppyKind::k1440K, 100, "DATA", kDos71); }});
  ExpectEveryFaultReported({"a 720K floppy without DOS", 1440, nullptr,
                            [] { return Floppy(FloppyKind::k720K, 0, "", kDosNone); }});
}

TEST_F(FaultInjectionTest, BlockBatchLabelAndImport) {
  auto batch = [] {
    BlockFormatOptions options;
    options.dos = kDos622;
    return FormatFloppyBlocks("physicaldrive1", 0, 0, 2, true, options, nullptr).completed == 2;
  };
  ExpectEveryFaultReported({"a batch of two bootable 1.44M blocks", 2 * 3072, nullptr, batch});

  auto oneBlock = [] { Floppy(FloppyKind::k1440K, 0, "FLPPY0", kDosNone); };
  ExpectEveryFaultReported({"an identifier change", 3072, oneBlock, [] {
                              return ModifyFloppyIdentify("physicaldrive1", 0, FloppyKind::k1440K, "NEW", "").result == 1;
                            }});
  ExpectEveryFaultReported({"an import", 3072, nullptr, [] {
                              DeviceHandle disk(OpenDevice("physicaldrive1"));
                              std::vector<uint8_t> image(2880 * 512, 0xE5);
                              return WriteBlockImage(disk.get(), 0, FloppyKind::k1440K, image) == kSectorIoOk;
                            }});
}

// A batch stopped by the user, or cut by a pulled disk, after any number of writes, over blocks that held older
// floppies: every block whose DBR is valid afterwards is either the complete new block or the untouched old one.
TEST_F(FaultInjectionTest, ABatchCutShortLeavesNoHalfBlockThatScansValid) {
  constexpr uint32_t kBlocks = 3, kSectors = kBlocks * 3072, kImage = 2880;
  BlockFormatOptions options;
  options.dos = kDos71;
  auto batch = [&options] { return FormatFloppyBlocks("physicaldrive1", 0, 0, kBlocks, true, options, nullptr); };
  Writer w{"old blocks", kSectors, [] {
             SimSetLocalTime(SysTime{2026, 12, 1, 7, 12, 0, 0, 0});
             DeviceHandle disk(OpenDevice("physicaldrive1"));
             for (uint32_t n = 0; n < kBlocks; ++n)
               ASSERT_TRUE(WriteFloppyImage(disk.get(), n * 3072, FloppyKind::k1440K, "OLD", kDosNone).Succeeded());
           }, nullptr};
  Fresh(w);
  const std::vector<uint8_t> before = SimReadRaw(1, 0, kSectors);
  ASSERT_EQ(batch().completed, kBlocks);
  const std::vector<uint8_t> after = SimReadRaw(1, 0, kSectors);
  const uint64_t writes = SimStats(1).writeCalls;

  for (uint64_t n = 0; n < writes; ++n) {
    for (bool pull : {false, true}) {
      Fresh(w);
      std::atomic<bool> stop{false};
      RunControl control;
      control.stop = &stop;
      control.progress = [&stop, n](uint64_t, uint64_t) {
        if (SimStats(1).writeCalls >= n) stop = true;
      };
      RunScope scope(pull ? nullptr : &control);
      if (pull) SimPullAfterWrites(1, n);
      RunOutcome r = batch();
      EXPECT_TRUE(pull ? r.FailedWriting() : r.stopped) << "after " << n << " writes";
      EXPECT_LT(r.completed, kBlocks);
      const std::vector<uint8_t> now = SimReadRaw(1, 0, kSectors);
      for (uint32_t b = 0; b < kBlocks; ++b) {
        const size_t at = size_t{b} * 3072 * 512;
        if (!IsValidBlockBootRecord(&now[at], FloppyKind::k1440K)) continue;
        auto same = [&](const std::vector<uint8_t>& image) {
          return std::equal(now.begin() + at, now.begin() + at + (kImage - 1) * 512, image.begin() + at);
        };
        EXPECT_TRUE(same(after) || same(before))
            << "block " << b << " scans valid but is neither old nor new (" << (pull ? "pulled" : "stopped")
            << " after " << n << " writes)";
      }
    }
  }
}

TEST_F(FaultInjectionTest, UsbFormatThroughEveryStep) {
  // MBR and its zero sectors, DBR, FATs, root directory with the label, data-area fill and system files.
  UsbFormatOptions options;
  options.dosBoot = true;
  options.bootMode = 1;
  options.mbrSectors = 63;
  options.dos = kDos71;
  options.label = "BOOT";
  options.fillDataArea = true;
  options.fillByte = 0xE5;
  options.clusterBytes = 2048;
  ExpectEveryFaultReported({"a bootable USB format behind an MBR", 6000, nullptr, [options] {
                              DeviceHandle disk(OpenDevice("physicaldrive1"));
                              return RunUsbFormat(disk.get(), 6000, options).Succeeded();
                            }});
}

}  // namespace
