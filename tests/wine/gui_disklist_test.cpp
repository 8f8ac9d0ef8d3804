// The disk lists of the three pages: the lines each page shows for the simulated disks, and their refill when a
// disk arrives or is removed.
#include <windows.h>

#include <string>
#include <vector>

#include "ui/resource_ids.h"
#include "gui_harness.h"
#include "sys/sim/sim.h"

using namespace gui;

namespace {

struct ListPage {
  const char* name;
  int tab;
  int listId;
  const char* prefix;  // the enhanced page marks disks whose multi-floppy service is off
};

const ListPage kListPages[] = {
    {"standard", 0, IDC_STD_DISK_LIST, ""},
    {"enhanced", 1, IDC_ENH_DISK_LIST, "! "},
    {"usb format", 2, IDC_USB_DISK_LIST, ""},
};

// A second stick of 3,000 sectors with two volumes: 1.5 MB on the standard and USB format pages, still the KB
// form on the enhanced page (its KB form goes up to 2 MiB), and both volumes in drive-letter order.
SimDiskSpec TwoVolumeStick() {
  SimDiskSpec stick;
  stick.number = 2;
  stick.sectorCount = 3000;
  SimVolumeSpec first, second;
  first.letter = 'F';
  first.sectorCount = 1500;
  second.letter = 'G';
  second.startSector = 1500;
  second.sectorCount = 1500;
  stick.volumes = {first, second};
  return stick;
}

const char kFirstStick[] = "1.Generic Flash Disk(64.0MB\\512B): E:(64.0M,Unknown) ";
const char kSecondStick[] = "2.Generic Flash Disk(1.5MB\\512B): F:(0.7M,Unknown) G:(0.7M,Unknown) ";
const char kSecondStickEnhanced[] = "2.Generic Flash Disk( 1500.0KB\\512B): F:(0.7M,Unknown) G:(0.7M,Unknown) ";

std::string SecondStickLine(const ListPage& page) {
  return std::string(page.prefix) + (page.tab == 1 ? kSecondStickEnhanced : kSecondStick);
}

void ExpectLines(const std::vector<HWND>& windows, const std::vector<std::vector<std::string>>& lines) {
  for (const ListPage& page : kListPages) {
    SCOPED_TRACE(page.name);
    EXPECT_EQ(ListEntries(windows[static_cast<size_t>(page.tab)], page.listId), lines[static_cast<size_t>(page.tab)]);
  }
}

}  // namespace

TEST_F(GuiTest, EveryPageListsTheDisksAndFollowsArrivalsAndRemovals) {
  ASSERT_TRUE(StartProgram());
  std::vector<HWND> windows;
  for (const ListPage& page : kListPages) {
    SwitchTab(page.tab);
    windows.push_back(CurrentPage());
  }
  SwitchTab(0);
  std::vector<std::vector<std::string>> lines;
  for (const ListPage& page : kListPages) lines.push_back({std::string(page.prefix) + kFirstStick});
  ExpectLines(windows, lines);

  ASSERT_TRUE(SimAddDisk(TwoVolumeStick()));
  SimInsertDisk(2);  // the arrival event
  Settle();
  for (const ListPage& page : kListPages) lines[static_cast<size_t>(page.tab)].push_back(SecondStickLine(page));
  {
    SCOPED_TRACE("after the arrival");
    ExpectLines(windows, lines);
  }

  SimRemoveDisk(1);
  Settle();
  for (const ListPage& page : kListPages) lines[static_cast<size_t>(page.tab)] = {SecondStickLine(page)};
  {
    SCOPED_TRACE("after the removal");
    ExpectLines(windows, lines);
  }
  EXPECT_TRUE(TakeMessageBoxes().empty()) << "a device event brought up a message";
}
