// A batch of floppy image files written into consecutive blocks: everything checked before the first write, then
// one image after the other, each with its DBR last.
#include <cstdio>

#include "blocks/blocks.h"
#include "disk/queries.h"
#include "disk/runcontrol.h"
#include "disk/sectorio.h"
#include "disk/verify.h"
#include "disk/volumelock.h"

namespace {

// Why image `bytes` (of `size` bytes) cannot go into a block of the kind; kNone when it can.
BlockImportRefusal CheckImage(const std::vector<uint8_t>& bytes, uint64_t size, const BlockImportOptions& options) {
  if (size != bytes.size() || size != uint64_t{GeometryOf(options.kind).totalSectors} * kSectorSize)
    return BlockImportRefusal::kWrongSize;
  if (!options.force && !IsValidBlockBootRecord(bytes.data(), options.kind)) return BlockImportRefusal::kNotFloppy;
  return BlockImportRefusal::kNone;
}

// The checks of the whole batch, before the drive is opened.
void CheckBatch(uint64_t partitionStart, uint64_t partitionLength, uint32_t firstBlock, size_t count,
                const BlockImageReader& read, const BlockImportOptions& options, BlockImportResult* result) {
  const uint32_t blocks = FloppyBlockCount(partitionLength, options.kind);
  const uint32_t imageSectors = GeometryOf(options.kind).totalSectors;
  if (blocks == 0) {
    result->refusal = BlockImportRefusal::kNoBlock;
    return;
  }
  result->lastBlock = blocks - 1;
  if (firstBlock >= blocks || count > blocks - firstBlock) {
    result->refusal = BlockImportRefusal::kPastLastBlock;
    return;
  }
  uint32_t lastStart = 0;
  if (count > 0 && (!FloppyBlockStart(partitionStart, firstBlock + static_cast<uint32_t>(count) - 1, options.kind,
                                      &lastStart) ||
                    uint64_t{lastStart} + imageSectors > kFirstUnaddressableSector)) {
    result->refusal = BlockImportRefusal::kUnaddressable;
    return;
  }
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count; ++i) {
    result->image = i;
    result->imageBytes = 0;
    if (!read(i, result->expectedBytes, &bytes, &result->imageBytes)) {
      result->refusal = BlockImportRefusal::kUnreadable;
      return;
    }
    if ((result->refusal = CheckImage(bytes, result->imageBytes, options)) != BlockImportRefusal::kNone) return;
  }
  result->image = 0;
  result->imageBytes = 0;
}

}  // namespace

std::string BlockImageFileName(uint32_t block, const std::vector<uint8_t>& image) {
  char number[16];
  std::snprintf(number, sizeof number, "%03u", block);
  std::string name = number;
  if (image.size() >= kSectorSize && HasBootSignature(image.data())) {
    const size_t root = size_t{RootDirectoryOffset(image.data())} * kSectorSize;
    if (root + 32 <= image.size() && image[root + direntry::kAttributes] == direntry::kVolumeLabel) {
      size_t length = 0;
      while (length < bpb::kLabelSize && image[root + length] != 0) ++length;
      while (length > 0 && image[root + length - 1] == ' ') --length;
      if (length > 0) name += '-';
      for (size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(image[root + i]);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_';
        name += keep ? c : '_';
      }
    }
  }
  return name + ".img";
}

BlockImportResult ImportBlockImages(const char* deviceName, uint64_t partitionStart, uint64_t partitionLength,
                                    uint32_t firstBlock, size_t count, const BlockImageReader& read,
                                    const BlockImportOptions& options, RunControl* run) {
  BlockImportResult result;
  const FloppyKind kind = options.kind;
  const uint32_t imageSectors = GeometryOf(kind).totalSectors;
  result.expectedBytes = uint64_t{imageSectors} * kSectorSize;
  CheckBatch(partitionStart, partitionLength, firstBlock, count, read, options, &result);
  if (result.refusal != BlockImportRefusal::kNone) return result;
  result.failedBlock = firstBlock;

  DeviceHandle drive(OpenDevice(deviceName));
  if (!drive.valid()) return result;
  result.opened = true;
  // As in a batch format: the volumes are held before the driver switches, and block 0 is presented while the
  // blocks are written at their physical sectors.
  ExclusiveVolumes volumes;
  if (!TakeExclusiveVolumes(options.driveLetters.c_str(), &volumes)) {
    result.volumesInUse = true;
    return result;
  }
  uint32_t presentedBefore = 0;
  if (options.driverAttached) {
    presentedBefore = GetCurrentBlockOn(drive.get());
    if (!SelectBlockOn(drive.get(), 0)) {
      result.driverRefused = true;
      return result;
    }
  }
  RunExpect(run, count * (result.expectedBytes + kSectorSize));  // each image and the zeroed DBR before it
  uint32_t areaStart = 0;
  FloppyBlockStart(partitionStart, firstBlock, kind, &areaStart);
  auto blockOf = [&](uint64_t sector) {
    return firstBlock + static_cast<uint32_t>((sector - areaStart) / BlockSectors(kind));
  };
  if (RunVerifies(run) && count > 0) {
    const uint32_t areaSectors = static_cast<uint32_t>(count - 1) * BlockSectors(kind) + imageSectors;
    VerifyResult capacity = CheckDiskCapacity(drive.get(), areaStart, areaSectors, run);
    if (!capacity.ok) {
      result.capacityFailed = true;
      result.badSector = capacity.badSector;
      result.failedBlock = blockOf(capacity.badSector);
      count = 0;
    }
  }
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t block = firstBlock + static_cast<uint32_t>(i);
    result.image = i;
    result.failedBlock = block;
    if (RunStopRequested(run)) {
      result.stopped = true;
      break;
    }
    // Read again: a file that changed since the check is not written.
    uint64_t size = 0;
    if (!read(i, result.expectedBytes, &bytes, &size) ||
        CheckImage(bytes, size, options) != BlockImportRefusal::kNone) {
      result.failed = result.imageChanged = true;
      break;
    }
    uint32_t start = 0;
    FloppyBlockStart(partitionStart, block, kind, &start);
    if (WriteBlockImage(drive.get(), start, kind, bytes, run) != 0) {
      result.failed = true;
      result.stopped = RunStopRequested(run);
      break;
    }
    ++result.written;
  }
  if (result.written == count && !result.capacityFailed) result.failedBlock = 0;
  if (RunVerifies(run) && result.written == count && count > 0) {
    VerifyResult readBack = VerifyRunWrites(drive.get(), run);
    if (!readBack.ok) {
      result.verifyFailed = true;
      result.badSector = readBack.badSector;
      result.failedBlock = blockOf(readBack.badSector);
    }
  }
  if (options.driverAttached) SelectBlockOn(drive.get(), presentedBefore);
  drive.reset();
  return result;
}
