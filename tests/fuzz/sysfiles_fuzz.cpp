// The system file transfer into a volume it did not format: the boot record (the input's first sector) decides
// where it looks for the root directory and the FAT, whose sectors are the rest of the input. Whatever the record
// says, the transfer writes only inside the volume it describes, and never when the files are refused.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "fat/fat.h"
#include "disk/sectorio.h"
#include "floppy/sysfiles.h"
#include "fuzz_disk.h"

namespace {

// A folder with small system files, made once per process.
const std::string& SystemFileFolder() {
  static const std::string folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-fuzz-sysfiles-" + std::to_string(getpid());
    ::mkdir(dir.c_str(), 0700);
    ::mkdir((dir + "/SysFile").c_str(), 0700);
    for (const char* name : {"OS6A", "OS6B", "OS6C", "OS7A", "OS7B", "OS7C"}) {
      std::FILE* f = std::fopen((dir + "/SysFile/" + name).c_str(), "wb");
      if (f) {
        std::fputs(std::string(700, name[3]).c_str(), f);
        std::fclose(f);
      }
    }
    return dir;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t kDiskSectors = 4096;
  std::vector<std::vector<uint8_t>> sectors = InputSectors(data, size, 64);
  const uint8_t* bootRecord = sectors[0].data();
  FreshStick(kDiskSectors);
  SimSetCurrentDirectory(SystemFileFolder());
  for (size_t i = 0; i < sectors.size(); ++i) SimWriteRaw(1, i, sectors[i]);
  SimResetStats(1);
  const bool fits = SystemFilesFit(kDos71, 0, bootRecord, bootRecord[0] & 1);
  SysFilesTransfer result = SysFilesTransfer::kLayoutRefused;
  {
    DeviceHandle disk(OpenDevice("physicaldrive1"));
    result = TransferSystemFiles(disk.get(), 0, kDos71, bootRecord);
  }
  SimDiskStats stats = SimStats(1);
  uint64_t total = GetLe16(bootRecord + bpb::kTotalSectors16);
  if (total == 0) total = GetLe32(bootRecord + bpb::kTotalSectors32);
  if (stats.sectorsWritten > 0 && stats.highestSectorWritten >= total) __builtin_trap();
  if (result == SysFilesTransfer::kDone && stats.sectorsWritten == 0) __builtin_trap();
  (void)fits;
  if (SimOpenHandleCount() != 0) __builtin_trap();
  return 0;
}
