// The lines of each page's disk list: drive number, product name, capacity in a readable unit, sector size and
// the disk's volumes, one line per filled slot of the page's disk table (line i is slot i). The Win32 list box
// only shows what these functions compute.
#pragma once

#include <string>
#include <vector>

#include "disk/discovery.h"

enum class DiskListPage { Standard, Enhanced, UsbFormat };

constexpr int kNoSelection = -1;

// The longest line of each page, prefix included; longer lines are cut there.
int DiskListLineLimit(DiskListPage page);

// One disk's line as the page shows it ("1.Generic Flash Disk(1.9GB\512B): E:(1936.0M,FAT16) "). On the enhanced
// page it starts with "+ " when the filter driver answers on the disk and "! " when it does not.
std::string DiskListLine(DiskListPage page, const RemovableDisk& disk);
std::vector<std::string> DiskListLines(DiskListPage page, const DiskTable& table);


// The list entry to select after a refill: the remembered index when it has a line, else none.
int DiskListSelection(int remembered, int lineCount);

// Whether the enhanced page's service check box 1021 is checked after a refill: only when a disk is selected and
// its filter driver answers.
bool ServiceSwitchChecked(const DiskTable& table, int selection);

// What a refill shows: the lines, the selection, and the state of the enhanced page's service check box.
struct DiskListView {
  std::vector<std::string> lines;
  int selection = kNoSelection;
  bool serviceChecked = false;
};

// Rediscovers the disks into the page's table and computes the refilled list.
DiskListView RefreshDiskTable(DiskListPage page, DiskTable* table, int remembered);
