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
Refusal CheckImage(const std::vector<uint8_t>& bytes, uint64_t size, const BlockImportOptions& options) {
  if (size != bytes.size() || size != uint64_t{GeometryOf(options.kind).totalSectors} * kSectorSize)
    return Refusal::kImageWrongSize;
  if (!options.force && !IsValidBlockBootRecord(bytes.data(), options.kind)) return Refusal::kNotFloppy;
  return Refusal::kNone;
}

// The checks of the whole batch, before the drive is opened; kNone when it may be written. An image's refusal
// names its block in failedUnit.
Refusal CheckBatch(uint64_t partitionStart, uint64_t partitionLength, uint32_t firstBlock, size_t count,
                   const BlockImageReader& read, const BlockImportOptions& options, uint32_t* failedUnit) {
  const uint32_t blocks = FloppyBlockCount(partitionLength, options.kind);
  const uint32_t imageSectors = GeometryOf(options.kind).totalSectors;
  if (blocks == 0) return Refusal::kNoBlock;
  if (firstBlock >= blocks || count > blocks - firstBlock) return Refusal::kPastLastBlock;
  uint32_t lastStart = 0;
  if (count > 0 && (!FloppyBlockStart(partitionStart, firstBlock + static_cast<uint32_t>(count) - 1, options.kind,
                                      &lastStart) ||
                    uint64_t{lastStart} + imageSectors > kFirstUnaddressableSector))
    return Refusal::kUnaddressable;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count; ++i) {
    *failedUnit = firstBlock + static_cast<uint32_t>(i);
    uint64_t size = 0;
    if (!read(i, size_t{imageSectors} * kSectorSize, &bytes, &size)) return Refusal::kImageUnreadable;
    const Refusal refusal = CheckImage(bytes, size, options);
    if (refusal != Refusal::kNone) return refusal;
  }
  *failedUnit = firstBlock;
  return Refusal::kNone;
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

RunOutcome ImportBlockImages(const char* deviceName, uint64_t partitionStart, uint64_t partitionLength,
                             uint32_t firstBlock, size_t count, const BlockImageReader& read,
                             const BlockImportOptions& options, RunControl* run) {
  RunOutcome outcome;
  const FloppyKind kind = options.kind;
  const uint32_t imageSectors = GeometryOf(kind).totalSectors;
  const size_t imageBytes = size_t{imageSectors} * kSectorSize;
  const Refusal refusal =
      CheckBatch(partitionStart, partitionLength, firstBlock, count, read, options, &outcome.failedUnit);
  if (refusal != Refusal::kNone) return outcome.Refuse(refusal);

  DeviceHandle drive(OpenDevice(deviceName));
  if (!drive.valid()) return outcome.EndAt(RunStep::kOpen, 0, SysGetLastError());
  // As in a batch format: the volumes are held before the driver switches, and block 0 is presented while the
  // blocks are written at their physical sectors.
  ExclusiveVolumes volumes;
  if (!TakeExclusiveVolumes(options.driveLetters.c_str(), &volumes)) return outcome.EndAt(RunStep::kLockVolumes);
  uint32_t presentedBefore = 0;
  if (options.driverAttached) {
    presentedBefore = GetCurrentBlockOn(drive.get());
    if (!SelectBlockOn(drive.get(), 0)) return outcome.EndAt(RunStep::kPresentBlock);
  }
  RunExpect(run, count * (imageBytes + kSectorSize));  // each image and the zeroed DBR before it
  uint32_t areaStart = 0;
  FloppyBlockStart(partitionStart, firstBlock, kind, &areaStart);
  auto blockOf = [&](uint64_t sector) {
    return firstBlock + static_cast<uint32_t>((sector - areaStart) / BlockSectors(kind));
  };
  const uint32_t areaSectors = count > 0 ? static_cast<uint32_t>(count - 1) * BlockSectors(kind) + imageSectors : 0;
  if (RunVerifies(run) && count > 0 &&
      !KeptCapacity(CheckDiskCapacity(drive.get(), areaStart, areaSectors, run), blockOf, &outcome))
    count = 0;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t block = firstBlock + static_cast<uint32_t>(i);
    outcome.failedUnit = block;
    if (RunStopRequested(run)) {
      outcome.stopped = true;
      outcome.EndAt(RunStep::kStopped);
      break;
    }
    // Read again: a file that changed since the check is not written.
    uint64_t size = 0;
    if (!read(i, imageBytes, &bytes, &size) || CheckImage(bytes, size, options) != Refusal::kNone) {
      outcome.EndAt(RunStep::kReadImage);
      break;
    }
    uint32_t start = 0;
    FloppyBlockStart(partitionStart, block, kind, &start);
    if (WriteBlockImage(drive.get(), start, kind, bytes, run) != 0) {
      outcome.EndAt(RunStep::kImage, start, SysGetLastError());
      outcome.stopped = RunStopRequested(run);
      break;
    }
    outcome.Wrote(start, imageSectors);
    ++outcome.completed;
  }
  const bool readBack = RunVerifies(run) && outcome.completed == count && count > 0;
  return EndBlockRun(std::move(outcome), &drive, readBack, blockOf,
                     options.driverAttached ? std::optional<uint32_t>(presentedBefore) : std::nullopt, run);
}
