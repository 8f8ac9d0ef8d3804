// Floppy blocks: up to 100 floppy images laid back to back from the start of a USB disk's first partition, found
// only by scanning them block by block. This is the core of the enhanced edition: where blocks lie, the scan that
// lists them, block formatting, switching the block the multi-floppy filter driver presents, and renaming a
// block's identifier (its volume label).
//
// The operations take what the page chose (the selected disk, the floppy kind, the identifier text, ...) as
// arguments and return facts: entry texts (the blocks' identifiers), edit contents, what happened and the numbers
// it needs. They send no window messages and pick no words: the writers (block format, image import) return a
// RunOutcome, the others a struct of facts, which the page and the command line put into words.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/oemtext.h"
#include "base/outcome.h"
#include "disk/sectorio.h"
#include "fatfiles/fatfiles.h"
#include "floppy/floppy.h"
#include "sys/sys.h"

struct DeviceHandle;  // disk/sectorio.h
struct VerifyResult;  // disk/runcontrol.h

// ---------------------------------------------------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------------------------------------------------

constexpr uint32_t kMaxFloppyBlocks = 100;

// The kind the blocks are taken to be. None stands for a kind box the user typed into: its blocks are 3072
// sectors, none of them is valid, and what is written into them is 1.44M.
using BlockKind = std::optional<FloppyKind>;

// Sectors per block: 2048 for 720K, 3072 for any other kind (also none).
uint32_t BlockSectors(BlockKind kind);
// Sectors of the floppy image at the start of each block (its total-sectors field): 1440, 2400, 2880; 0 for no
// kind, which no boot record matches.
uint32_t BlockImageSectors(BlockKind kind);
// The kind a format writes and whose root directory a rename changes: the kind, 1.44M for none.
FloppyKind BlockFloppyKind(BlockKind kind);
// Blocks that fit: min(low 32 bits of the length / B, 100).
uint32_t FloppyBlockCount(uint64_t partitionLength, BlockKind kind);
// Blocks that fit without the limit of 100: length / B over all 64 bits (the next button's limit).
uint64_t FloppyBlocksThatFit(uint64_t partitionLength, BlockKind kind);
// First sector of block n: S + n x B. False when it lies beyond 32-bit sector numbers, which must never wrap
// round to the start of the disk.
bool FloppyBlockStart(uint64_t partitionStart, uint32_t block, BlockKind kind, uint32_t* sector);

// A block is valid when its boot record ends in 55 AA and its total-sectors field is the kind's image size.
bool IsValidBlockBootRecord(const uint8_t* bootRecord, BlockKind kind);
// The list entry of a valid block from its first root directory sector: the volume label's name up to its first
// zero byte without trailing padding spaces, decoded from the OEM code page, or "n.????" when the first entry is no
// volume label.
std::string ValidBlockEntryText(uint32_t block, const uint8_t* rootDirSector);
std::string UnformattedEntryText(uint32_t block);
std::string NotAccessedEntryText(uint32_t block);

// ---------------------------------------------------------------------------------------------------------------
// The disk the page has selected
// ---------------------------------------------------------------------------------------------------------------

struct BlockDisk {
  std::string deviceName;      // "physicaldrive1"
  std::string volumeName;      // "E:"; empty when the disk has no volume to restart
  std::string driveLetters;    // "E:F:": the volumes held exclusively while the disk is written
  uint64_t partitionStart = 0; // first partition: block 0 starts here
  uint64_t partitionLength = 0;
  bool serviceActive = false;  // the multi-floppy filter driver is attached to the disk
  uint32_t bytesPerSector = 512;
  int driveNumber = 0;         // for the hints
  std::string description;
  std::string listLine;        // the disk's line in the page's list, named by the format's confirmation
};

// A message box: error icon unless stated otherwise.
struct BlockNotice {
  std::string text;
  std::string caption;
  bool information = false;  // information icon instead of the error icon
};

// ---------------------------------------------------------------------------------------------------------------
// Scan
// ---------------------------------------------------------------------------------------------------------------

struct BlockList {
  std::vector<std::string> entries;  // entry k stands for block k
  uint32_t validBlockCount = 0;
};

// Reads the blocks at their physical sectors S + n x B, from block 0 until the first block that is unreadable or
// does not match the kind (whose entry ends the list). A drive that cannot be opened gives an empty list. A valid
// block whose root directory cannot be read is counted and listed as "n.????": its identifier is unknown, and the
// entries after it must still stand for their blocks.
BlockList ReadBlockList(const char* deviceName, uint64_t partitionStart, uint64_t partitionLength, BlockKind kind);

enum class BlockScanOutcome {
  kServiceOff,     // nothing read; status hint and block number "0"
  kDriverRefused,  // the driver would not present block 0; status hint only
  kScanned,
};

// What the page applies after a scan. Every outcome first empties the block list and the identifier edit, sets the
// group box caption and a status text naming the outcome (the disk, or the valid blocks); then:
//  kServiceOff:    block number edit.
//  kDriverRefused: nothing more.
//  kScanned:       entries, current entry (none when -1), block number edit, identifier edit, the service check
//                  box checked, block count label and block count edit.
struct BlockScan {
  BlockScanOutcome outcome = BlockScanOutcome::kServiceOff;
  std::vector<std::string> entries;
  uint32_t validBlockCount = 0;
  int currentEntry = -1;     // the entry of the block the driver presents after the scan
  uint32_t blockNumber = 0;  // block number edit
  std::string identifier;    // identifier edit: the current entry's text
  uint32_t blockCount = 0;   // blocks that fit, for the block count edit and its label
};

// The scan of the page: asks the driver which block it presents, has it present block 0 while the blocks are read
// at their physical sectors, then presents again the block presented before, or the last listed block when that
// one is no longer listed. With an empty list no entry is current and block 0 stays presented: it is the start
// of the block area, and there is no listed block to go back to.
BlockScan ScanFloppyBlocks(const BlockDisk& disk, BlockKind kind);

// ---------------------------------------------------------------------------------------------------------------
// Switching
// ---------------------------------------------------------------------------------------------------------------

constexpr uint32_t kBlockModeInUse = 0;  // the enhanced page is shown
constexpr uint32_t kBlockModeHidden = 1; // another page of the sheet is shown

// The 16 bytes of the block configuration request: mode, sectors per block, first sector, end sector.
struct BlockConfiguration {
  uint32_t mode, sectorsPerBlock, firstSector, endSector;
};
// False when the area is empty (the first sector is not below the end sector, 32-bit).
bool MakeBlockConfiguration(const BlockDisk& disk, uint32_t mode, BlockKind kind, BlockConfiguration* config);
// Tells the driver the block layout; 1 when it accepted it, 0 otherwise (also without a disk).
int ConfigureBlocks(const BlockDisk* disk, uint32_t mode, BlockKind kind);

struct BlockShow {
  bool shown = false;        // the block of the current entry is presented now
  uint32_t blockNumber = 0;  // block number edit, when shown
  std::string identifier;    // identifier edit, when shown
};
// Has the driver present the block of the current entry (-1 or past the list: none) and the system re-read the
// volume.
BlockShow ShowFloppyBlock(const BlockDisk* disk, int currentEntry, const std::vector<std::string>& entries,
                          BlockKind kind);

// Why a switching step cannot be taken.
enum class BlockSwitchFault {
  kNone,
  kNoDisk,      // no disk selected
  kServiceOff,  // the disk's multi-floppy service is off
  kPastArea,    // next: no further block fits (blocksThatFit do)
  kPastEnd,     // go-to: the block number lies past the area
  kNotShown,    // go-to: the block could not be presented
};

// What the previous and next buttons do: nothing, a message (fault), or make entry `block` current, put it into
// the block number edit and run the go-to step.
struct BlockStep {
  enum Action { kNothing, kNotice, kGoTo } action = kNothing;
  uint32_t block = 0;
  bool next = false;  // the next button's step; the previous button's otherwise
  BlockSwitchFault fault = BlockSwitchFault::kNone;
  uint32_t blocksThatFit = 0;  // kPastArea
};
BlockStep PreviousBlockStep(const BlockDisk* disk, uint32_t blockNumber);
BlockStep NextBlockStep(const BlockDisk* disk, uint32_t blockNumber, BlockKind kind);

// The go-to step for the block number edit's value; currentEntry is the block list's current entry.
struct BlockGoTo {
  BlockShow show;
  BlockSwitchFault fault = BlockSwitchFault::kNone;  // kNone: nothing to tell
  uint32_t block = 0;                                // the block number asked for
};
BlockGoTo GoToFloppyBlock(const BlockDisk* disk, uint32_t blockNumber, BlockKind kind, int currentEntry,
                          const std::vector<std::string>& entries);

// ---------------------------------------------------------------------------------------------------------------
// Identifier
// ---------------------------------------------------------------------------------------------------------------

constexpr uint32_t kMaxIdentifierLength = 8;

// The 8 bytes that replace the start of the label's name: the identifier's bytes (at most 8), a zero byte after
// them when they are fewer, spaces in the rest.
void MakeIdentifierName(const std::string& identifier, uint8_t name[8]);

// Why a rename did not happen.
enum class IdentifyFault {
  kNone,
  kNoDisk,       // no disk selected
  kServiceOff,   // the disk's multi-floppy service is off
  kEmpty,        // no identifier given
  kNotStorable,  // the code page cannot store it: `oem` says why
  kOpen,         // the disk could not be opened, or a volume of it not locked
  kRead,         // the root directory sector could not be read
  kNoLabel,      // the root directory has no volume label first
  kWrite,        // the root directory sector could not be written
};
struct BlockIdentify {
  int result = 0;  // 1 renamed, 0 not
  IdentifyFault fault = IdentifyFault::kNone;
  OemText oem;     // kNotStorable: the identifier in the code page, and its fault
};
// Renames the identifier of the block whose image starts at partitionStart as the drive is seen (the presented
// block, or with no driver the block's physical start): only the label entry's name and time stamp change. Then
// restarts volumeName (none when empty) so the system sees the new label. An empty identifier is refused: its
// zero byte first in the root directory would end the directory and hide the files after it. The identifier is
// UTF-8, its first 8 characters count, and they go to the disk in the OEM code page; a character the code page
// lacks, or more than 8 bytes, is refused before the disk is opened (kNotStorable). The volumes in driveLetters are
// held exclusively from before the read until before the restart; one that cannot be locked is kOpen, with nothing
// written.
BlockIdentify ModifyFloppyIdentify(const char* deviceName, uint64_t partitionStart, FloppyKind kind,
                                   const std::string& identifier, const char* volumeName,
                                   const char* driveLetters = nullptr);
// The identifier button: the no-disk and service checks, the trace line, then ModifyFloppyIdentify.
BlockIdentify RenameBlockIdentifier(const BlockDisk* disk, BlockKind kind, const std::string& identifier);

// ---------------------------------------------------------------------------------------------------------------
// Formatting
// ---------------------------------------------------------------------------------------------------------------

struct BlockFormatOptions {
  FloppyKind kind = FloppyKind::k1440K;
  DosVersion dos = kDosNone;
  std::string identifier;  // single format: the label's bytes in the OEM code page, at most 10 used
  // The filter driver is attached: a batch has it present block 0 while it writes at physical sectors, and a
  // single format has it present the block being formatted. Without it, blocks are addressed physically.
  bool driverAttached = false;
  // The disk's volumes ("E:F:"), held exclusively for the whole run; empty takes none (the command-line tool).
  std::string driveLetters;
};

// Where a format run is with a block, for its status line.
enum class BlockStage { kBegun, kCompleted, kFailed };
using BlockProgress = std::function<void(uint32_t block, BlockStage stage)>;

// Writes `count` floppy images (at most 100) from block firstBlock. A batch writes block n at S + n x B labelled
// "FLPPYn"; a single format writes one image at sector S of the presented block, labelled with the identifier.
// The first block that cannot be written ends the run. progress learns when each block is begun and how it ended. Under a verifying run
// (disk/runcontrol.h) the blocks' area is checked for a disk that claims more than it holds before the first
// block, and every block is read back after the last; a stop asked for ends the run before its next write.
// The outcome: completed blocks from firstBlock on; it ends at kOpen, kCheck (kSystemFilesUnusable: the DOS system
// files cannot go into a block), kLockVolumes or kPresentBlock with nothing written, at kCapacity, at kStopped
// (failedUnit not begun), at the writing step of failedUnit (cut short: it holds no valid DBR), or at kVerify; the
// blocks after failedUnit hold what they held.
RunOutcome FormatFloppyBlocks(const char* deviceName, uint64_t partitionStart, uint32_t firstBlock,
                              uint32_t count, bool batch, const BlockFormatOptions& options,
                              const BlockProgress& progress, RunControl* run = nullptr);

// The end of a block writer's run (a format or an image import) on `drive`: with `readBack` (a verifying run that
// wrote every block) what the run wrote is read back, and a sector the disk did not keep ends the outcome at
// kVerify in the block blockOf names; then the drive is closed and, when the driver was switched for the run,
// `presentAgain` is presented again. A run that ran to its end names no failed block.
RunOutcome EndBlockRun(RunOutcome outcome, DeviceHandle* drive, bool readBack,
                       const std::function<uint32_t(uint64_t sector)>& blockOf,
                       std::optional<uint32_t> presentAgain, RunControl* run);
// A capacity check's finding in the outcome of a block writer: a sector the disk does not keep ends the run at
// kCapacity, in the block blockOf names, before anything is written. False then.
bool KeptCapacity(const VerifyResult& capacity, const std::function<uint32_t(uint64_t sector)>& blockOf,
                  RunOutcome* outcome);

// What the page read from its controls when the run was started.
struct BlockFormatJob {
  std::optional<BlockDisk> disk;  // the disk selected in the disk list
  bool batch = false;
  uint32_t batchCount = 0;        // block count edit
  int currentEntry = -1;          // block list's current entry (single format)
  std::vector<std::string> entries;
  std::string identifier;         // identifier edit (single format)
  BlockKind kind = FloppyKind::k1440K;
  bool dosBoxChecked = false;
  int dosEntry = -1;              // DOS list: 0 "DOS 6.22", 1 "DOS 7.1", -1 none
};

// The single format's label: at most this many bytes of the identifier, in the OEM code page.
constexpr size_t kMaxSingleLabelLength = 10;

// Why the page's run cannot format what the page shows (kNone when it can): no disk, sectors over 512 bytes, and
// for a single format no driver, no current block or a label the code page cannot store; a ticked DOS box without
// a version.
Refusal CheckBlockFormatJob(const BlockFormatJob& job);

// The page's side of a run, called on the run's thread.
struct BlockFormatUi {
  std::function<void(const RunOutcome&)> written;  // the blocks are written: before the rescan
  std::function<void(bool enabled)> sheetEnabled;
  std::function<void(bool shown)> busyIndicator;
  BlockProgress status;
  // After the blocks were written: apply the rescan, then make `currentEntry` current and apply `show`.
  std::function<void(const BlockScan& scan, int currentEntry, const BlockShow& show)> refreshed;
};

// The block format thread's work for one batch or single run the user has confirmed: the sheet disabled and the
// busy indicator running while the blocks are written, the outcome handed to the page, and a rescan with block 0
// presented again. A job CheckBlockFormatJob refuses ends at kCheck with nothing shown or written.
// The blocks are written under `control` (null: no control).
RunOutcome RunBlockFormat(const BlockFormatJob& job, const BlockFormatUi& ui, RunControl* control = nullptr);

// ---------------------------------------------------------------------------------------------------------------
// Block images
// ---------------------------------------------------------------------------------------------------------------

// The kind's image (T sectors) at blockStart, read into image.
SectorIo ReadBlockImage(SysHandle disk, uint32_t blockStart, FloppyKind kind, std::vector<uint8_t>* image);
// Writes an image of exactly the kind's size at blockStart; the SectorIo number (0 when written), or
// kBlockImageWrongSize (nothing written) for an image of any other size.
constexpr uint32_t kBlockImageWrongSize = 100;
// The new DBR is written last, over a zeroed one, so an image cut short never scans as a valid block.
uint32_t WriteBlockImage(SysHandle disk, uint32_t blockStart, FloppyKind kind, const std::vector<uint8_t>& image,
                         RunControl* run = nullptr);

// The file name a block's image is exported under: the block number in three digits, then "-" and its identifier
// when the image holds a volume label as its first root entry ("007-FLPPY7.img", else "007.img"). Of the label's
// bytes, letters, digits, "-" and "_" are kept and every other byte becomes "_".
std::string BlockImageFileName(uint32_t block, const std::vector<uint8_t>& image);

// Reads image `index` of a batch: its bytes, at most limit + 1 of them (one more tells that it is larger), and its
// size in bytes. False when it cannot be read.
using BlockImageReader =
    std::function<bool(size_t index, size_t limit, std::vector<uint8_t>* bytes, uint64_t* size)>;

struct BlockImportOptions {
  FloppyKind kind = FloppyKind::k1440K;
  // An image whose first sector is no DBR of the kind is written too. The scan ends at its block and hides every
  // block after it, so without this such an image is refused.
  bool force = false;
  bool driverAttached = false;  // as for a batch format: block 0 presented while the blocks are written
  std::string driveLetters;     // the disk's volumes, held exclusively for the run; empty takes none
};

// Writes `count` floppy image files into blocks firstBlock, firstBlock + 1, ... (blocks at S + n x B). Every image
// is checked before the first write: read, exactly the kind's size, a DBR of the kind (unless forced), and every
// block inside the area. Under a verifying run the area is checked for a disk that claims more than it holds first
// and read back after the last block; a stop asked for ends the run before its next write.
// The outcome: completed images from firstBlock on; refused at kCheck (kNoBlock, kPastLastBlock, kUnaddressable,
// or kImageUnreadable, kImageWrongSize, kNotFloppy for the image of block failedUnit), or ended at kOpen,
// kLockVolumes or kPresentBlock with nothing written, at kCapacity, at kStopped or kReadImage (failedUnit not
// begun: its image could no longer be read or changed since the check), at kImage (failedUnit cut short, no valid
// DBR), or at kVerify; the blocks after failedUnit hold what they held.
RunOutcome ImportBlockImages(const char* deviceName, uint64_t partitionStart, uint64_t partitionLength,
                             uint32_t firstBlock, size_t count, const BlockImageReader& read,
                             const BlockImportOptions& options, RunControl* run = nullptr);

// ---------------------------------------------------------------------------------------------------------------
// Files inside a block
// ---------------------------------------------------------------------------------------------------------------

// Where the file layer finds a block's volume. With the driver attached the disk shows the presented block at the
// partition start, so only that block can be reached (`block` must be the presented one); without it, block n is
// at its physical start S + n x B.
struct BlockFilesPlace {
  std::string deviceName;
  std::string driveLetters;  // held exclusively while a change writes
  std::string volumeName;    // restarted after a change
  uint32_t start = 0;        // the volume's boot record as the disk is seen
};
bool FindBlockFilesPlace(const BlockDisk& disk, FloppyKind kind, uint32_t block, BlockFilesPlace* place);

// Runs a look or a change on the block's volume. A change holds the disk's volumes exclusively while it writes and
// restarts the volume afterwards, so that a drive showing the block sees the new files; a volume another program
// holds refuses it (kInUse) before anything is written.
using FatFilesCall = std::function<FatFilesResult(SysHandle disk, uint32_t startSector)>;
FatFilesResult LookAtBlockFiles(const BlockFilesPlace& place, const FatFilesCall& look);
FatFilesResult ChangeBlockFiles(const BlockFilesPlace& place, const FatFilesCall& change);

