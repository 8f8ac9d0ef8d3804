// The enhanced page's files dialog (140): the files of one floppy block, listed, added (file dialog or dropped from
// Explorer), extracted, deleted, and folders made. With the multi-floppy service on it works on the block the
// driver presents; with it off, on any formatted block, chosen in the dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "blocks/blocks.h"

struct FilesDialogRequest {
  BlockDisk disk;
  FloppyKind kind = FloppyKind::k1440K;
  uint32_t presentedBlock = 0;    // service on: the block the driver presents
  std::string presentedEntry;     // and its list entry
};

// Modal to `owner`; returns when the user closes it.
void ShowFilesDialog(HWND owner, const FilesDialogRequest& request);

// Test seams: the file dialog of Add... and the folder dialog of Extract... (empty: cancelled).
void SetFilePickersForTesting(std::function<std::vector<std::wstring>()> pickFiles,
                              std::function<std::wstring()> pickFolder);
