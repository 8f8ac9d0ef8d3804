// The time a USB 2.0 stick would take for korvane's two long runs, modelled from the simulated machine's counts:
// every read or write call costs 1 ms of command overhead, every byte 1/10,000,000 s. Runs the 100-block format of
// 1.44M blocks and a format with a 512 MiB data-area fill over sparse image files in DIR.
//
//   build/native/korvane_usb_model [DIR]
#include <unistd.h>

#include <cstdio>
#include <string>

#include "blocks/blocks.h"
#include "disk/sectorio.h"
#include "sys/sim/sim.h"
#include "usbformat/usbformat.h"

namespace {

constexpr double kCommandSeconds = 0.001;
constexpr double kBytesPerSecond = 10e6;

bool AddImage(const std::string& path, uint64_t sectors) {
  SimReset();
  SimDiskSpec disk;
  disk.sectorCount = sectors;
  disk.imagePath = path;
  disk.createImage = true;
  return SimAddDisk(disk);
}

void Report(const char* run) {
  SimDiskStats stats = SimStats(1);
  const uint64_t commands = stats.readCalls + stats.writeCalls;
  const double bytes = static_cast<double>(stats.sectorsWritten) * kSectorSize;
  const double transfer = bytes / kBytesPerSecond;
  const double modelled = static_cast<double>(commands) * kCommandSeconds + transfer;
  std::printf("%-28s %6llu commands, %11.0f bytes: %7.2f s modelled, %7.2f s bytes alone (%.3fx)\n", run,
              static_cast<unsigned long long>(commands), bytes, modelled, transfer, modelled / transfer);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const std::string path = dir + "/korvane-usb-model-" + std::to_string(getpid()) + ".img";

  if (!AddImage(path, 160 * 2048)) return 1;
  RunOutcome blocks = FormatFloppyBlocks("physicaldrive1", 0, 0, 100, true, BlockFormatOptions(), nullptr);
  if (blocks.completed != 100) return 1;
  Report("100 blocks of 1.44M");

  if (!AddImage(path + ".fill", 512 * 2048 + 2048)) return 1;
  UsbFormatOptions options;
  options.fillDataArea = true;
  options.fillByte = 0xE5;
  options.clusterBytes = 16384;
  {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    if (!RunUsbFormat(disk.get(), 512 * 2048 + 2048, options).Succeeded()) return 1;
  }
  Report("format, 512 MiB fill");
  SimReset();
  std::remove(path.c_str());
  std::remove((path + ".fill").c_str());
  return 0;
}
