// Every writer over a disk that fails under it: each write call of a good run made to fail in turn, each read call
// made to fail in turn, short transfers, and the disk pulled out part way. Whatever fails, the writer reports a
// failure, and no sector is written after the failed call.
#include <functional>

#include "blocks/blocks.h"
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

  // After a failed run: a failure was reported, and after the failed call no write went through (after a failed
  // read, none was even tried).
  static void ExpectStoppedAtFailure(const Writer& w, const std::string& fault, bool read) {
    EXPECT_FALSE(w.run()) << w.name << ": " << fault << " was reported as success";
    bool failed = false;
    for (const SimTransfer& t : SimTransfers(1)) {
      if (failed && t.write && (read || !t.failed)) {
        ADD_FAILURE() << w.name << ": " << fault << ": sector " << t.firstSector << " written after the failure";
        break;
      }
      failed = failed || (t.failed && (!read || !t.write));
    }
    EXPECT_TRUE(failed) << w.name << ": " << fault << " did not happen";
    EXPECT_EQ(SimStats(1).sectorsWrittenPastFailure, 0u) << w.name << ": " << fault;
  }

  // Every read call and every write call of a good run made to fail in turn (of a long fill, all of the first and
  // last 40 and every 25th in between), short transfers, and the disk pulled out part way.
  static void ExpectEveryFaultReported(const Writer& w) {
    Fresh(w);
    ASSERT_TRUE(w.run()) << w.name << " fails on a good disk";
    uint64_t writes = 0, reads = 0;
    for (const SimTransfer& t : SimTransfers(1)) (t.write ? writes : reads)++;
    ASSERT_GT(writes, 0u);
    for (uint64_t i = 0; i < writes + reads; ++i) {
      const bool read = i >= writes;
      const uint64_t n = read ? i - writes : i;
      if (!read && n >= 40 && n + 40 < writes && n % 25 != 0) continue;
      Fresh(w);
      read ? SimFailReadCall(1, n) : SimFailWriteCall(1, n);
      ExpectStoppedAtFailure(w, (read ? "read call " : "write call ") + std::to_string(n), read);
    }
    Fresh(w);
    SimShortTransfers(1, true);
    ExpectStoppedAtFailure(w, "a short transfer", false);
    for (uint64_t pulledAfter : {uint64_t{0}, uint64_t{1}, writes / 2, writes - 1}) {
      if (pulledAfter >= writes) continue;
      Fresh(w);
      SimPullAfterWrites(1, pulledAfter);
      ExpectStoppedAtFailure(w, "the disk pulled after " + std::to_string(pulledAfter) + " writes", false);
    }
  }
};

bool Floppy(FloppyKind kind, uint32_t start, const char* label, DosVersion dos) {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  return WriteFloppyImage(disk.get(), start, kind, label, dos).Succeeded();
}

TEST_F(FaultInjectionTest, EveryWriterReportsEveryFault) {
  BlockFormatOptions bootable;
  bootable.dos = kDos622;
  // MBR and its zero sectors, DBR, FATs, root directory with the label, data-area fill and system files.
  UsbFormatOptions usb;
  usb.dosBoot = true, usb.bootMode = 1, usb.mbrSectors = 63, usb.dos = kDos71, usb.label = "BOOT";
  usb.fillDataArea = true, usb.fillByte = 0xE5, usb.clusterBytes = 2048;
  const Writer writers[] = {
      {"a 1.44M floppy with label and DOS 7.1", 3200, nullptr,
       [] { return Floppy(FloppyKind::k1440K, 100, "DATA", kDos71); }},
      {"a batch of two bootable 1.44M blocks", 2 * 3072, nullptr,
       [bootable] { return FormatFloppyBlocks("physicaldrive1", 0, 0, 2, true, bootable, nullptr).completed == 2; }},
      {"an identifier change", 3072, [] { Floppy(FloppyKind::k1440K, 0, "FLPPY0", kDosNone); },
       [] { return ModifyFloppyIdentify("physicaldrive1", 0, FloppyKind::k1440K, "NEW", "").result == 1; }},
      {"an import", 3072, nullptr,
       [] {
         const std::vector<uint8_t> image(2880 * 512, 0xE5);
         return WriteBlockImage(DeviceHandle(OpenDevice("physicaldrive1")).get(), 0, FloppyKind::k1440K, image) == 0;
       }},
      {"a bootable USB format behind an MBR", 6000, nullptr,
       [usb] { return RunUsbFormat(DeviceHandle(OpenDevice("physicaldrive1")).get(), 6000, usb).Succeeded(); }},
  };
  for (const Writer& w : writers) ExpectEveryFaultReported(w);
}

}  // namespace
