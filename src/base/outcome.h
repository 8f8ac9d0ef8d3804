// What a writer or another long run did, as facts only: what it wrote, where and why it ended, whether the user
// stopped it and what the read-back found. Every writer returns one; the pages and the command line choose the
// words for it.
#pragma once

#include <cstdint>
#include <vector>

// Why a run was refused before its first write.
enum class Refusal {
  kNone,
  kSystemFilesUnusable,  // the DOS system files are missing, unreadable or do not fit
  // Block images.
  kNoBlock,              // the area holds no block of the kind
  kPastLastBlock,        // the images would run past the area's last block
  kUnaddressable,        // a block would lie past the first 2 TiB
  kImageUnreadable,      // the image of failedUnit cannot be read
  kImageWrongSize,       // the image of failedUnit is not the kind's size
  kNotFloppy,            // the image of failedUnit has no DBR of the kind (55 AA and the kind's total sectors)
  // The general formatter's choices.
  kNoSectors,            // the disk reports no capacity
  kTooManyRootEntries,
  kNoClusterSize,        // no cluster size, or one that is no power of two from 512 to 65,536 bytes
  kClusterTooLarge,      // one cluster is larger than the disk
  kNoFatCount,           // no FAT count, or another than 1 or 2
  kNoDataArea,           // DBR, FATs and root directory leave no whole cluster for data
  kTooManyClusters,      // FAT16 cannot hold the volume with this unit; a larger unit would do
  kBeyondFat16,          // FAT16 cannot hold the volume with any unit
  kNoRootEntries,        // a root directory of 0 entries: no volume label, no file could ever be found
  // What a page asked for that cannot be carried out as the page shows it.
  kNoDisk,               // no disk selected
  kSectorSizeUnsupported,  // the disk's sectors are larger than 512 bytes
  kServiceOff,           // the filter driver is not attached, so the block shown cannot be addressed
  kNoBlockChosen,        // no listed block is current
  kLabelNotStorable,     // the label has a character the OEM code page lacks
  kNoDosChosen,          // the DOS box is ticked without a version
};

// Where a run ended; kNone for one that ran to its end.
enum class RunStep {
  kNone,
  kCheck,          // the checks before the first write: `refusal` says why
  kOpen,           // the disk could not be opened
  kLockVolumes,    // a volume of the disk could not be locked
  kPresentBlock,   // the filter driver would not present the block needed
  kCapacity,       // the capacity check before the first write found `sector` not kept
  kStopped,        // the user stopped the run before failedUnit was begun
  kReadImage,      // the image of failedUnit could no longer be read, or changed since the check
  // The writing steps: a transfer failed (or was stopped) at `sector`; what the step wrote before stays.
  kMbr, kBootRecord, kFats, kRootDirectory, kImage, kFill, kSystemFiles,
  kVerify,         // the read-back after the last write found `sector` not holding what was written
};

enum class Verify { kNotRun, kPassed, kFailed };

struct SectorRange {
  uint64_t first = 0;
  uint64_t count = 0;
};

struct RunOutcome {
  std::vector<SectorRange> written;  // the sectors written, in order, adjacent ranges joined
  uint32_t completed = 0;            // units (blocks, images) written completely, from the first one on
  RunStep failedStep = RunStep::kNone;
  Refusal refusal = Refusal::kNone;  // with kCheck
  uint32_t failedUnit = 0;           // the block the run ended at (or whose image a check refused)
  uint64_t sector = 0;               // the first sector of the failed write, or the sector not kept
  uint32_t systemError = 0;          // the system's error code of the failed open or transfer; 0 when none
  bool stopped = false;              // the user stopped the run: the unit or step it ended at is cut short
  Verify verify = Verify::kNotRun;
  uint32_t suggestedUnit = 0;        // kTooManyClusters: the smallest cluster size, in bytes, FAT16 can hold
  bool dataSectorsMultiple = false;  // kTooManyClusters: the data sectors were a multiple of 65,536

  bool Succeeded() const { return failedStep == RunStep::kNone; }
  // A transfer of one of the writing steps failed (or was stopped): what that step wrote is incomplete.
  bool FailedWriting() const { return failedStep >= RunStep::kMbr && failedStep <= RunStep::kSystemFiles; }
  bool Begun() const { return !written.empty(); }
  // Records first .. first + count - 1 as written, joined to the last range when it follows on.
  void Wrote(uint64_t first, uint64_t count) {
    if (count == 0) return;
    if (!written.empty() && written.back().first + written.back().count == first) {
      written.back().count += count;
    } else {
      written.push_back({first, count});
    }
  }
  // Ends the run at `step`.
  RunOutcome& EndAt(RunStep step, uint64_t at = 0, uint32_t error = 0) {
    failedStep = step;
    sector = at;
    systemError = error;
    return *this;
  }
  RunOutcome& Refuse(Refusal why) {
    refusal = why;
    return EndAt(RunStep::kCheck);
  }
};
