// Block formatting: the batch format of the first blocks of a disk and the single format of the presented block,
// and the run of the block format thread around them.
#include <cstring>

#include "base/oemtext.h"
#include "base/trace.h"
#include "blocks/blocks.h"
#include "disk/queries.h"
#include "disk/runcontrol.h"
#include "disk/sectorio.h"
#include "disk/verify.h"
#include "disk/volumelock.h"
#include "floppy/sysfiles.h"

namespace {

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

void Report(const BlockProgress& progress, BlockStage stage, uint32_t block) {
  if (progress) progress(block, stage);
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

DosVersion DosOfEntry(int dosEntry) { return dosEntry == 0 ? kDos622 : kDos71; }

uint32_t BatchCount(const BlockFormatJob& job) {
  uint64_t length = job.disk->partitionLength;
  uint32_t blockSectors = BlockSectors(job.kind);
  if (job.batchCount > length / blockSectors) return static_cast<uint32_t>(length) / blockSectors;
  return job.batchCount;
}

}  // namespace

Refusal CheckBlockFormatJob(const BlockFormatJob& job) {
  if (!job.disk) return Refusal::kNoDisk;
  if (job.disk->bytesPerSector > 512) return Refusal::kSectorSizeUnsupported;
  if (!job.batch) {
    // A single format goes into the block the driver presents: without the driver, or without a listed block to
    // present, it would land in another block than the one the page shows.
    if (!job.disk->serviceActive) return Refusal::kServiceOff;
    if (job.currentEntry < 0 || static_cast<size_t>(job.currentEntry) >= job.entries.size())
      return Refusal::kNoBlockChosen;
    // The label goes to the disk in the OEM code page: a character it lacks is refused rather than stored as "?",
    // and a long text is cut after a whole character, never inside one.
    if (ToOemText(job.identifier, kMaxSingleLabelLength, true).fault != OemTextFault::kNone)
      return Refusal::kLabelNotStorable;
  }
  if (job.dosBoxChecked && job.dosEntry != 0 && job.dosEntry != 1) return Refusal::kNoDosChosen;
  return Refusal::kNone;
}

RunOutcome FormatFloppyBlocks(const char* deviceName, uint64_t partitionStart, uint32_t firstBlock, uint32_t count,
                              bool batch, const BlockFormatOptions& options,
                              const BlockProgress& progress, RunControl* run) {
  RunOutcome outcome;
  outcome.failedUnit = firstBlock;
  DeviceHandle drive(OpenDevice(deviceName));
  if (!drive.valid()) return outcome.EndAt(RunStep::kOpen, 0, SysGetLastError());
  const FloppyKind kind = options.kind;
  if (options.dos != kDosNone && count > 0) {
    // Every block gets the same files: a set that does not fit one is refused before the first block is written.
    uint8_t dbr[kSectorSize];
    BuildFloppyDbr(kind, "", options.dos, dbr);
    const bool labelEntry = batch || !options.identifier.empty();
    if (!SystemFilesFit(options.dos, 0, dbr, labelEntry)) return outcome.Refuse(Refusal::kSystemFilesUnusable);
  }
  // Taken while the block presented now is still presented, so that what the system cached of it is written out
  // before the driver switches; given back at the end, after the driver presents the old block again.
  ExclusiveVolumes volumes;
  if (!TakeExclusiveVolumes(options.driveLetters.c_str(), &volumes)) return outcome.EndAt(RunStep::kLockVolumes);
  uint32_t presentedBefore = 0;
  if (options.driverAttached) {
    // Writing through the driver while it presents another block than the one addressed would overwrite that
    // block: a refusal ends the run before anything is written.
    if (batch) presentedBefore = GetCurrentBlockOn(drive.get());
    if (!SelectBlockOn(drive.get(), batch ? 0 : firstBlock)) return outcome.EndAt(RunStep::kPresentBlock);
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
  if (RunVerifies(run) && areaKnown &&
      !KeptCapacity(CheckDiskCapacity(drive.get(), areaStart, areaEnd + GeometryOf(kind).totalSectors - areaStart,
                                      run),
                    blockOf, &outcome))
    count = 0;
  FloppyImageBuffer image;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t block = firstBlock + i;
    outcome.failedUnit = block;
    if (RunStopRequested(run)) {
      outcome.stopped = true;
      outcome.EndAt(RunStep::kStopped);
      break;
    }
    Report(progress, BlockStage::kBegun, block);
    uint32_t start = 0;
    BlockLabel label = MakeBlockLabel(batch, block, options.identifier);
    RunOutcome written;
    if (ImageStart(partitionStart, block, batch, kind, &start)) {
      if (kind == FloppyKind::k1440K) TraceLine("Format_144M_DBRStartSectNum:%x", start);
      written = WriteFloppyImage(drive.get(), start, kind, label.text, options.dos, &image, run);
      for (const SectorRange& range : written.written) outcome.Wrote(range.first, range.count);
    } else {
      written.EndAt(RunStep::kImage, start);
    }
    if (!written.Succeeded()) {
      // System files refused for this one block end it as a block that could not be written.
      outcome.EndAt(written.failedStep == RunStep::kCheck ? RunStep::kSystemFiles : written.failedStep,
                    written.sector, written.systemError);
      outcome.stopped = RunStopRequested(run);
      Report(progress, BlockStage::kFailed, block);
      break;
    }
    ++outcome.completed;
    Report(progress, BlockStage::kCompleted, block);
  }
  const bool readBack = RunVerifies(run) && outcome.completed == count && count > 0 && !outcome.stopped;
  return EndBlockRun(std::move(outcome), &drive, readBack, blockOf,
                     options.driverAttached && batch ? std::optional<uint32_t>(presentedBefore) : std::nullopt, run);
}

bool KeptCapacity(const VerifyResult& capacity, const std::function<uint32_t(uint64_t sector)>& blockOf,
                  RunOutcome* outcome) {
  if (capacity.ok) return true;
  outcome->verify = Verify::kFailed;
  outcome->failedUnit = blockOf(capacity.badSector);
  outcome->EndAt(RunStep::kCapacity, capacity.badSector);
  return false;
}

RunOutcome EndBlockRun(RunOutcome outcome, DeviceHandle* drive, bool readBack,
                       const std::function<uint32_t(uint64_t sector)>& blockOf,
                       std::optional<uint32_t> presentAgain, RunControl* run) {
  if (outcome.Succeeded()) outcome.failedUnit = 0;
  if (readBack) {
    VerifyResult found = VerifyRunWrites(drive->get(), run);
    outcome.verify = found.ok ? Verify::kPassed : Verify::kFailed;
    if (!found.ok) {
      outcome.failedUnit = blockOf(found.badSector);
      outcome.EndAt(RunStep::kVerify, found.badSector);
    }
  }
  if (presentAgain) SelectBlockOn(drive->get(), *presentAgain);
  drive->reset();
  return outcome;
}

RunOutcome RunBlockFormat(const BlockFormatJob& job, const BlockFormatUi& ui, RunControl* control) {
  RunOutcome outcome;
  const Refusal refusal = CheckBlockFormatJob(job);
  if (refusal != Refusal::kNone) return outcome.Refuse(refusal);
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
  outcome = FormatFloppyBlocks(disk.deviceName.c_str(), disk.partitionStart, firstBlock, count, job.batch, options,
                               ui.status, control);
  if (ui.busyIndicator) ui.busyIndicator(false);
  if (ui.written) ui.written(outcome);

  // Whatever was written, the list and the mounted volume must show it: a run that ended early has changed blocks
  // too, and the system would otherwise go on with what it had cached of the presented block.
  if (outcome.failedStep != RunStep::kOpen && outcome.failedStep != RunStep::kLockVolumes) {
    BlockScan scan = ScanFloppyBlocks(disk, job.kind);
    BlockShow show = ShowFloppyBlock(&disk, 0, scan.entries, job.kind);
    if (ui.refreshed) ui.refreshed(scan, 0, show);
  }
  if (ui.sheetEnabled) ui.sheetEnabled(true);
  return outcome;
}
