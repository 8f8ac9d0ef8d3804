// The words the pages make of the core's facts, free of windows.h so the native tests check them too: the question
// before a disk's data is destroyed, and the enhanced page's boxes around a block format run.
#pragma once

#include <string>

#include "base/outcome.h"
#include "blocks/blocks.h"
#include "words/words.h"

// A question about to destroy a disk's data, with the disk it concerns on a line of its own under it
// ("...continue?\r\nDisk: 1.Generic Flash Disk(...)"), so that with two sticks plugged in the user sees which one.
std::string QuestionNamingDisk(const char* question, const std::string& listLine);

// The box that names the smallest allocation unit FAT16 can hold the disk with (Refusal::kTooManyClusters).
std::string UnitSuggestionText(const RunOutcome& outcome);

// Why the run cannot format what the page shows (CheckBlockFormatJob's refusal).
BlockNotice BlockFormatRefusalNotice(const BlockFormatJob& job, Refusal refusal);
// The OK/Cancel question before the blocks are written, naming the disk.
BlockNotice BlockFormatQuestion(const BlockFormatJob& job);
// The status line of a format run at `block`.
std::string BlockFormatStatus(uint32_t block, BlockStage stage);
// The box that ends a run: success (information icon), or the block and the reason it ended at.
BlockNotice BlockFormatOutcomeNotice(const RunOutcome& outcome);
