#include "blocks/blocks.h"

#include <cstdio>

#include "base/oemtext.h"
#include "base/texts.h"
#include "blocks/texts.h"
#include "fat/fat.h"
#include "disk/sectorio.h"

uint32_t BlockSectors(BlockKind kind) { return kind == FloppyKind::k720K ? 2048 : 3072; }

uint32_t BlockImageSectors(BlockKind kind) { return kind ? GeometryOf(*kind).totalSectors : 0; }

FloppyKind BlockFloppyKind(BlockKind kind) { return kind.value_or(FloppyKind::k1440K); }

uint32_t FloppyBlockCount(uint64_t partitionLength, BlockKind kind) {
  uint32_t fit = static_cast<uint32_t>(partitionLength) / BlockSectors(kind);
  return fit < kMaxFloppyBlocks ? fit : kMaxFloppyBlocks;
}

uint64_t FloppyBlocksThatFit(uint64_t partitionLength, BlockKind kind) {
  return partitionLength / BlockSectors(kind);
}

bool FloppyBlockStart(uint64_t partitionStart, uint32_t block, BlockKind kind, uint32_t* sector) {
  uint64_t start = partitionStart + static_cast<uint64_t>(block) * BlockSectors(kind);
  if (start > UINT32_MAX) return false;
  *sector = static_cast<uint32_t>(start);
  return true;
}

bool IsValidBlockBootRecord(const uint8_t* bootRecord, BlockKind kind) {
  uint32_t imageSectors = BlockImageSectors(kind);
  return imageSectors != 0 && HasBootSignature(bootRecord) &&
         GetLe16(bootRecord + bpb::kTotalSectors16) == imageSectors;
}

std::string ValidBlockEntryText(uint32_t block, const uint8_t* rootDirSector) {
  if (rootDirSector[direntry::kAttributes] != direntry::kVolumeLabel)
    return FormatText(kUnlabelledEntry, static_cast<int>(block));
  // The name ends at its first zero byte, or with the 11-byte field: the attribute byte after it is no part of it.
  size_t length = 0;
  while (length < bpb::kLabelSize && rootDirSector[direntry::kName + length] != 0) ++length;
  while (length > 0 && rootDirSector[length - 1] == ' ') --length;
  // The name is in the OEM code page; the list shows it as text.
  return FromOemText(std::string(reinterpret_cast<const char*>(rootDirSector), length));
}

std::string UnformattedEntryText(uint32_t block) {
  return FormatText(kUnformattedEntry, static_cast<int>(block));
}

std::string NotAccessedEntryText(uint32_t block) {
  return FormatText(kNotAccessedEntry, static_cast<int>(block));
}

SectorIo ReadBlockImage(SysHandle disk, uint32_t blockStart, FloppyKind kind, std::vector<uint8_t>* image) {
  const uint32_t sectors = GeometryOf(kind).totalSectors;
  image->assign(size_t{sectors} * kSectorSize, 0);
  return ReadSectors(disk, blockStart, sectors, image->data());
}

uint32_t WriteBlockImage(SysHandle disk, uint32_t blockStart, FloppyKind kind, const std::vector<uint8_t>& image,
                         RunControl* run) {
  const uint32_t sectors = GeometryOf(kind).totalSectors;
  if (image.size() != static_cast<size_t>(sectors) * kSectorSize) return kBlockImageWrongSize;
  // The block's DBR is zeroed first and the new one written last, so an image cut short anywhere never scans as a
  // valid block: its first sector is then zeros, or the old DBR over a block the image has not yet reached.
  const uint8_t zeros[kSectorSize] = {};
  SectorIo code = WriteSectors(disk, blockStart, 1, zeros, run);
  if (code == SectorIo::kOk) code = WriteSectors(disk, blockStart + 1, sectors - 1, image.data() + kSectorSize, run);
  if (code == SectorIo::kOk) code = WriteSectors(disk, blockStart, 1, image.data(), run);
  return static_cast<uint32_t>(code);
}
