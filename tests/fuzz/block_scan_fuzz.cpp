// The block scan over a disk whose boot records and root directories are the input: the first byte picks the
// floppy kind (or none), the next sector is block 0's boot record, the one after block 1's, and the rest lies from
// sector 1 on, where the boot records' fields may point the root directory.
#include <cstddef>
#include <cstdint>

#include "blocks/blocks.h"
#include "fuzz_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int pick = data[0] % (kFloppyKindCount + 1);  // the last one: no kind chosen
  const BlockKind kind = pick < kFloppyKindCount ? BlockKind(static_cast<FloppyKind>(pick)) : std::nullopt;
  std::vector<std::vector<uint8_t>> sectors = InputSectors(data + 1, size - 1, 40);
  const uint32_t blockSectors = BlockSectors(kind);
  FreshStick(2 * blockSectors + 8);
  SimWriteRaw(1, 0, sectors[0]);
  if (sectors.size() > 1) SimWriteRaw(1, blockSectors, sectors[1]);
  for (size_t i = 2; i < sectors.size(); ++i) SimWriteRaw(1, i - 1, sectors[i]);
  BlockList list = ReadBlockList("physicaldrive1", 0, 2 * blockSectors + 8, kind);
  if (list.entries.size() > 3 || list.validBlockCount > 2) __builtin_trap();
  return 0;
}
