// The words the pages make of the core's facts, free of windows.h so the native tests check them too: the question
// before a disk's data is destroyed, the enhanced page's scan and switching messages, and its boxes around a block
// format run.
#pragma once

#include <optional>
#include <string>

#include "base/outcome.h"
#include "blocks/blocks.h"
#include "words/words.h"

// A question about to destroy a disk's data, with the disk it concerns on a line of its own under it
// ("...continue?\r\nDisk: 1.Generic Flash Disk(...)"), so that with two sticks plugged in the user sees which one.
std::string QuestionNamingDisk(const char* question, const std::string& listLine);

// The box that names the smallest allocation unit FAT16 can hold the disk with (Refusal::kTooManyClusters).
std::string UnitSuggestionText(const RunOutcome& outcome);

// The status line after a scan of `disk`, and the block count label of a scanned disk.
std::string BlockScanStatus(const BlockScan& scan, const BlockDisk& disk);
std::string BlockCountLabel(const BlockScan& scan);
// The message of a previous or next step that cannot be taken, and of a go-to (none when the block is shown).
BlockNotice BlockStepNotice(const BlockStep& step);
std::optional<BlockNotice> BlockGoToNotice(const BlockGoTo& go);

// Why the run cannot format what the page shows (CheckBlockFormatJob's refusal).
BlockNotice BlockFormatRefusalNotice(const BlockFormatJob& job, Refusal refusal);
// The OK/Cancel question before the blocks are written, naming the disk.
BlockNotice BlockFormatQuestion(const BlockFormatJob& job);
// The status line of a format run at `block`.
std::string BlockFormatStatus(uint32_t block, BlockStage stage);
// The box that ends a run: success (information icon), or the block and the reason it ended at.
BlockNotice BlockFormatOutcomeNotice(const RunOutcome& outcome);
