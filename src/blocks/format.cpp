// Block formatting: the batch format of the first blocks of a disk and the single format of the presented block,
// and the run of the block format thread around them.
#include <cstring>

#include "base/oemtext.h"
#include "base/trace.h"
#include "blocks/blocks.h"
#include "blocks/text_format.h"
#include "blocks/texts.h"
#include "disk/disklist.h"
#include "disk/queries.h"
#include "disk/runcontrol.h"
#include "disk/sectorio.h"
#include "disk/verify.h"
#include "disk/volumelock.h"
#include "floppy/sysfiles.h"

namespace {

constexpr size_t kMaxSingleLabelLength = 10;

// The 11-byte label buffer handed to the writer, zero-filled for every block.
struct BlockLabel {
  char text[11 + 1];
};

BlockLabel MakeBlockLabel(bool batch, uint32_t block, const std::string& identifier) {
  BlockLabel label;
  std::memset(label.text, 0, sizeof label.text);
  if (batch) {
    std::snprintf(label.text, sizeof label.text, "FLPPY%u", block);
  } else {
    std::memcpy(label.text, identifier.data(),
                identifier.size() < kMaxSingleLabelLength ? identifier.size() : kMaxSingleLabelLength);
  }
  return label;
}

void Report(const std::function<void(const std::string&)>& progress, const TextPair& text, uint32_t block) {
  if (progress) progress(FormatBlockText(Tr(text), static_cast<int>(block)));
}

// The sector where block n's image starts as the drive is seen: a batch addresses blocks physically while block 0
// is presented; a single format writes at the partition start of the block the driver presents, which is block n
// itself when the driver presents it and S when there is no driver.
bool ImageStart(uint64_t partitionStart, uint32_t block, bool batch, BlockKind kind, uint32_t* sector) {
  if (batch) return FloppyBlockStart(partitionStart, block, kind, sector);
  if (partitionStart > UINT32_MAX) return false;
  *sector = static_cast<uint32_t>(partitionStart);
  return true;
}

BlockNotice Notice(const std::string& text, const TextPair& caption, bool information = false) {
  return BlockNotice{text, Tr(caption), information};
}

DosVersion DosOfEntry(int dosEntry) { return dosEntry == 0 ? kDos622 : kDos71; }

// Refusals before anything is asked or written; empty when the run may go on.
std::optional<BlockNotice> RefuseJob(const BlockFormatJob& job) {
  const BlockDisk& disk = *job.disk;
  if (disk.bytesPerSector > 512)
    return Notice(FormatBlockText(Tr(kSectorSizeNotSupported), static_cast<int>(disk.bytesPerSector)),
                  kSectorSizeCaption);
  if (!job.batch) {
    // A single format goes into the block the driver presents: without the driver, or without a listed block to
    // present, it would land in another block than the one the page shows.
    if (!disk.serviceActive) return Notice(Tr(kStartService), kBlockFormatCaption);
    if (job.currentEntry < 0 || static_cast<size_t>(job.currentEntry) >= job.entries.size())
      return Notice(Tr(kFormatChooseBlock), kBlockFormatCaption);
    // The label goes to the disk in the OEM code page: a character it lacks is refused rather than stored as "?",
    // and a long text is cut after a whole character, never inside one.
    OemText label = ToOemText(job.identifier, kMaxSingleLabelLength, true);
    if (label.fault != OemTextFault::kNone)
      return Notice(OemTextRefusal(label, kMaxSingleLabelLength), kBlockFormatCaption);
  }
  if (job.dosBoxChecked && job.dosEntry != 0 && job.dosEntry != 1)
    return Notice(Tr(kFormatChooseDos), kBlockFormatCaption);
  return std::nullopt;
}

uint32_t BatchCount(const BlockFormatJob& job) {
  uint64_t length = job.disk->partitionLength;
  uint32_t blockSectors = BlockSectors(job.kind);
  if (job.batchCount > length / blockSectors) return static_cast<uint32_t>(length) / blockSectors;
  return job.batchCount;
}

std::string BlockStoppedText(const BlockFormatResult& result) {
  return FormatBlockText(Tr(kBlockFormatStopped), result.written, result.failedBlock);
}

std::string BlockVerifyText(const BlockFormatResult& result) {
  return FormatBlockText(Tr(result.capacityFailed ? kBlockCapacityFailed : kBlockVerifyFailed),
                         static_cast<unsigned long long>(result.badSector), result.failedBlock);
}

bool Succeeded(const BlockFormatResult& r) {
  return r.opened && !r.failed && !r.driverRefused && !r.volumesInUse && !r.systemFilesUnusable && !r.stopped &&
         !r.capacityFailed && !r.verifyFailed;
}

BlockNotice OutcomeNotice(const BlockFormatResult& result) {
  if (result.systemFilesUnusable) return Notice(Tr(kBlockSystemFilesUnusable), kBlockFormatCaption);
  if (result.stopped) return Notice(BlockStoppedText(result), kBlockFormatCaption);
  if (result.capacityFailed || result.verifyFailed) return Notice(BlockVerifyText(result), kBlockFormatCaption);
  if (result.failed) return Notice(FormatBlockText(Tr(kBlockFormatBlockFailed), static_cast<int>(result.failedBlock)),
                                   kBlockFormatCaption);
  if (!Succeeded(result)) return Notice(Tr(kFormatFailure), kBlockFormatCaption);
  return Notice(Tr(kFormatSuccess), kBlockFormatCaption, true);
}

}  // namespace

BlockFormatResult FormatFloppyBlocks(const char* deviceName, uint64_t partitionStart, uint32_t firstBlock,
                                     uint32_t count, bool batch, const BlockFormatOptions& options,
                                     const std::function<void(const std::string&)>& progress, RunControl* run) {
  BlockFormatResult result;
  DeviceHandle drive(OpenDevice(deviceName));
  if (!drive.valid()) return result;
  result.opened = true;
  const FloppyKind kind = options.kind;
  if (options.dos != kDosNone && count > 0) {
    // Every block gets the same files: a set that does not fit one is refused before the first block is written.
    uint8_t dbr[kSectorSize];
    BuildFloppyDbr(kind, "", options.dos, dbr);
    const bool labelEntry = batch || !options.identifier.empty();
    if (!SystemFilesFit(options.dos, 0, dbr, labelEntry)) {
      result.systemFilesUnusable = true;
      return result;
    }
  }
  // Taken while the block presented now is still presented, so that what the system cached of it is written out
  // before the driver switches; given back at the end, after the driver presents the old block again.
  ExclusiveVolumes volumes;
  if (!TakeExclusiveVolumes(options.driveLetters.c_str(), &volumes)) {
    result.volumesInUse = true;
    return result;
  }
  uint32_t presentedBefore = 0;
  if (options.driverAttached) {
    // Writing through the driver while it presents another block than the one addressed would overwrite that
    // block: a refusal ends the run before anything is written.
    if (batch) presentedBefore = GetCurrentBlockOn(drive.get());
    if (!SelectBlockOn(drive.get(), batch ? 0 : firstBlock)) {
      result.driverRefused = true;
      return result;
    }
  }
  if (count > kMaxFloppyBlocks) count = kMaxFloppyBlocks;
  RunExpect(run, count * FloppyImageWriteBytes(kind));
  // The sectors the run writes, first block to last.
  uint32_t areaStart = 0, areaEnd = 0;
  const bool areaKnown = count > 0 && ImageStart(partitionStart, firstBlock, batch, kind, &areaStart) &&
                         ImageStart(partitionStart, firstBlock + count - 1, batch, kind, &areaEnd);
  // The block a sector the disk did not keep belongs to.
  auto blockOf = [&](uint64_t sector) {
    return firstBlock + (batch ? static_cast<uint32_t>((sector - areaStart) / BlockSectors(kind)) : 0);
  };
  if (RunVerifies(run) && areaKnown) {
    VerifyResult capacity =
        CheckDiskCapacity(drive.get(), areaStart, areaEnd + GeometryOf(kind).totalSectors - areaStart, run);
    if (!capacity.ok) {
      result.capacityFailed = true;
      result.badSector = capacity.badSector;
      result.failedBlock = blockOf(capacity.badSector);
      count = 0;
    }
  }
  FloppyImageBuffer image;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t block = firstBlock + i;
    if (RunStopRequested(run)) {
      result.stopped = true;
      result.failedBlock = block;
      break;
    }
    Report(progress, kBlockFormatBegins, block);
    uint32_t start = 0;
    BlockLabel label = MakeBlockLabel(batch, block, options.identifier);
    bool written = ImageStart(partitionStart, block, batch, kind, &start);
    if (written) {
      if (kind == FloppyKind::k1440K) TraceLine("Format_144M_DBRStartSectNum:%x", start);
      written = WriteFloppyImage(drive.get(), start, kind, label.text, options.dos, &image, run) ==
                FloppyImageResult::kWritten;
    }
    if (!written) {
      result.failed = true;
      result.stopped = RunStopRequested(run);
      result.failedBlock = block;
      Report(progress, kBlockFormatBlockFailed, block);
      break;
    }
    ++result.written;
    Report(progress, kBlockFormatCompleted, block);
  }
  if (RunVerifies(run) && result.written == count && count > 0 && !result.stopped) {
    VerifyResult readBack = VerifyRunWrites(drive.get(), run);
    if (!readBack.ok) {
      result.verifyFailed = true;
      result.badSector = readBack.badSector;
      result.failedBlock = blockOf(readBack.badSector);
    }
  }
  if (options.driverAttached && batch) SelectBlockOn(drive.get(), presentedBefore);
  drive.reset();
  return result;
}

BlockFormatRun RunBlockFormat(const BlockFormatJob& job, const BlockFormatUi& ui, RunControl* control) {
  BlockFormatRun run;
  auto message = [&](const BlockNotice& notice) {
    if (ui.message) ui.message(notice);
  };
  if (!job.disk) {
    message(Notice(Tr(kFormatSelectDiskFirst), kBlockFormatCaption));
    return run;
  }
  if (std::optional<BlockNotice> refusal = RefuseJob(job)) {
    message(*refusal);
    return run;
  }
  const std::string question = QuestionNamingDisk(Tr(kFormatConfirm), job.disk->listLine);
  if (!ui.confirm || !ui.confirm(Notice(question, kBlockFormatCaption, true))) return run;

  run.started = true;
  if (ui.sheetEnabled) ui.sheetEnabled(false);
  const BlockDisk& disk = *job.disk;
  BlockFormatOptions options;
  options.kind = BlockFloppyKind(job.kind);
  options.dos = job.dosBoxChecked ? DosOfEntry(job.dosEntry) : kDosNone;
  options.identifier = job.batch ? std::string() : ToOemText(job.identifier, kMaxSingleLabelLength, true).bytes;
  options.driverAttached = disk.serviceActive;
  options.driveLetters = disk.driveLetters;
  uint32_t firstBlock = job.batch ? 0 : static_cast<uint32_t>(job.currentEntry);
  uint32_t count = job.batch ? BatchCount(job) : 1;
  if (ui.busyIndicator) ui.busyIndicator(true);
  run.result = FormatFloppyBlocks(disk.deviceName.c_str(), disk.partitionStart, firstBlock, count, job.batch,
                                  options, ui.status, control);
  if (ui.busyIndicator) ui.busyIndicator(false);
  run.success = Succeeded(run.result);
  message(OutcomeNotice(run.result));

  // Whatever was written, the list and the mounted volume must show it: a run that ended early has changed blocks
  // too, and the system would otherwise go on with what it had cached of the presented block.
  if (run.result.opened && !run.result.volumesInUse) {
    BlockScan scan = ScanFloppyBlocks(disk, job.kind);
    BlockShow show = ShowFloppyBlock(&disk, 0, scan.entries, job.kind);
    if (ui.refreshed) ui.refreshed(scan, 0, show);
  }
  if (ui.sheetEnabled) ui.sheetEnabled(true);
  return run;
}
