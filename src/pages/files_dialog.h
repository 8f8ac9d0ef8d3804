// The enhanced page's files dialog (140): the files of one floppy block, listed, added (file dialog or dropped from
// Explorer), extracted, deleted, and folders made. With the multi-floppy service on it works on the block the
// driver presents; with it off, on any formatted block, chosen in the dialog.
#pragma once

#include <windows.h>
#include <shellapi.h>

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

// The file dialog (several files, `filter` as OPENFILENAME takes it, or none) and the folder dialog, or what the
// test seams below answer; empty: cancelled.
std::vector<std::wstring> PickHostFiles(HWND owner, const char* title, const wchar_t* filter);
std::wstring PickHostFolder(HWND owner, const char* title);
// The paths of files dropped from Explorer, in the order they came; the drop is finished.
std::vector<std::wstring> TakeDroppedFiles(HDROP drop);

// Test seams: the file dialog and the folder dialog (Add... and Extract... here, the enhanced page's image import
// and export) (empty: cancelled).
void SetFilePickersForTesting(std::function<std::vector<std::wstring>()> pickFiles,
                              std::function<std::wstring()> pickFolder);
