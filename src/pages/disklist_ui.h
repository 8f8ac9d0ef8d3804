// The pages' disk list boxes: refilled from a fresh discovery, and kept on the remembered entry.
#pragma once

#include <windows.h>

#include "disk/disklist.h"

// Empties the page's list box, rediscovers the disks into the page's table, adds one line per disk, gives the list
// the focus and selects the remembered entry (none when it has no line). On the enhanced page it also sets the
// service check box 1021 from the selected disk. Must run on the page's thread: the page's table is only touched
// there, so a refresh can never overlap another.
DiskListView RefreshDiskList(HWND page, int listId, DiskListPage kind, DiskTable* table, int remembered);

// A device event that makes a page rediscover its disks: a volume interface arriving or leaving.
bool IsVolumeArrivalOrRemoval(WPARAM event, LPARAM data);

// The remembered entry after a device change refilled a list of `count` lines: kept while it names a line, else the
// last line (-1 for an empty list). Compared as unsigned, so "none" (-1) moves to the last line too.
inline int RememberedAfterDeviceChange(int remembered, int count) {
  return static_cast<unsigned>(remembered) >= static_cast<unsigned>(count) ? count - 1 : remembered;
}

// The list's current selection, or -1.
int ListSelection(HWND page, int listId);
