// The words the pages and the command line both make of the core's facts, free of windows.h: why a change to the
// files of a volume did not happen, why a text cannot go to the disk, and how a block's rename went.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/oemtext.h"
#include "blocks/blocks.h"
#include "fatfiles/fatfiles.h"

// The error in the user's language, one line, naming the file ("" for none).
std::string FatFilesMessage(const FatFilesResult& result);

// Why a text was refused for a field of maxBytes bytes ("" for kNone).
std::string OemTextRefusal(const OemText& text, size_t maxBytes);

// The message box of a rename (none when it succeeded), and the status line it sets (none when it keeps it).
std::optional<BlockNotice> BlockIdentifyNotice(const BlockIdentify& identify);
std::optional<std::string> BlockIdentifyStatus(const BlockIdentify& identify);
