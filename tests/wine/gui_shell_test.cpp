// The application shell under Wine: the sheet, its pages' controls and texts, the instruction dialogs, the end of
// the program. Runs once in English and once in Chinese (LANG).
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest-spi.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string>
#include <vector>

#include "app/gui/gui_texts.h"
#include "ui/help_texts.h"
#include "app/gui/program.h"
#include "ui/resource_ids.h"
#include "ui/sheet.h"
#include "base/selfcheck.h"
#include "gui_harness.h"
#include "pages/enhanced_texts.h"
#include "pages/standard_texts.h"
#include "pages/usbformat_texts.h"
#include "sys/sim/sim.h"

using namespace gui;

namespace {

struct PageCase {
  int tab;
  const char* name;
  TextPair title;
  const Instructions* help;
  std::vector<ControlText> texts;
  int diskList;
  std::vector<int> hidden;  // controls the page keeps out of sight
};

const PageCase kPageCases[] = {
    {0, "standard", kStandardPageTitle, &kStandardInstructions,
     {std::begin(kStandardControlTexts), std::end(kStandardControlTexts)},
     IDC_STD_DISK_LIST, {}},
    {1, "enhanced", kEnhancedPageTitle, &kEnhancedInstructions,
     {std::begin(kEnhancedControlTexts), std::end(kEnhancedControlTexts)},
     IDC_ENH_DISK_LIST, {1048, 1055, 1006, 1014, 1000, 1002}},
    {2, "usbformat", kUsbFormatPageTitle, &kUsbFormatInstructions,
     {std::begin(kUsbFormatControlTexts), std::end(kUsbFormatControlTexts)},
     IDC_USB_DISK_LIST, {1062, 1066, 1065, 1069, 1067}},
};

// The pages' windows, each shown once so that the sheet has created it.
std::vector<HWND> ShowEveryPage() {
  std::vector<HWND> pages;
  for (const PageCase& page : kPageCases) {
    SwitchTab(page.tab);
    pages.push_back(CurrentPage());
  }
  SwitchTab(0);
  return pages;
}

std::atomic<int> gSheetCalls{0};

INT_PTR WINAPI SheetThatNeverComesUp(LPCPROPSHEETHEADERW) { return ++gSheetCalls, -1; }

// Fails once, then comes up and is closed by the user.
INT_PTR WINAPI SheetThatComesUpSecondTime(LPCPROPSHEETHEADERW) {
  if (++gSheetCalls == 1) return -1;
  SetSheetEndFlag(true);
  return 1;
}

}  // namespace

// The sheet and its three pages as they open: the caption, the tabs, the buttons and icons, every control's text in
// the user's language, the disk lists, the hidden controls and the preset choices. (The layout shows in the
// screenshots; the fields' kinds show when the next test types and clicks into them.)
TEST_F(GuiTest, SheetAndPagesOpenWithEveryControlTextAndPresetChoice) {
  // Without a stick the pages keep the texts they open with: a stick's block scan writes the enhanced page's own.
  SimRemoveDisk(1);
  ASSERT_TRUE(StartProgram());
  EXPECT_EQ(UiLanguage, ExpectedLanguage());
  HWND sheet = Sheet();
  EXPECT_EQ(Text(sheet), "KorvaneV2.0" + std::string(15, ' '));
  ASSERT_EQ(TabCount(), 3);
  EXPECT_EQ(CurrentTab(), 0);
  EXPECT_EQ(GetDlgItem(CurrentPage(), IDC_STD_1440K) != nullptr, true) << "the first page is not dialog 130";
  for (int id : {IDOK, IDCANCEL, IDHELP}) EXPECT_TRUE(IsReachable(Control(sheet, id))) << "button " << id;
  HWND apply = GetDlgItem(sheet, 0x3021);
  EXPECT_TRUE(!apply || !IsWindowVisible(apply)) << "the sheet shows an Apply button";
  EXPECT_TRUE(Style(sheet) & WS_MINIMIZEBOX);
  for (WPARAM icon : {ICON_BIG, ICON_SMALL}) EXPECT_NE(SendMessageW(sheet, WM_GETICON, icon, 0), 0) << icon;

  std::vector<HWND> pages = ShowEveryPage();
  for (const PageCase& page : kPageCases) {
    SCOPED_TRACE(page.name);
    EXPECT_EQ(TabTitle(page.tab), Expected(page.title));
    HWND window = pages[static_cast<size_t>(page.tab)];
    ASSERT_NE(window, nullptr);
    // List line i is disk table slot i: the list notifies and does not sort.
    const LONG_PTR listStyle = Style(Control(window, page.diskList));
    EXPECT_EQ(listStyle & (LBS_NOTIFY | LBS_SORT), LBS_NOTIFY);
    for (int id : page.hidden) EXPECT_FALSE(Style(Control(window, id)) & WS_VISIBLE) << "control " << id << " shows";
    for (const ControlText& t : page.texts) EXPECT_EQ(Text(window, t.id), Expected(t.text)) << "control " << t.id;
    // In English no visible control may keep a Chinese resource text.
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (ExpectedLanguage() != Language::English || !(Style(child) & WS_VISIBLE)) continue;
      const std::string text = Text(child);
      EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char ch) { return ch >= 0; }))
          << "control " << GetDlgCtrlID(child) << " shows " << text;
    }
  }

  HWND standard = pages[0], enhanced = pages[1], usb = pages[2];
  EXPECT_TRUE(IsChecked(standard, IDC_STD_1440K));
  EXPECT_FALSE(IsChecked(standard, IDC_STD_720K) || IsChecked(standard, IDC_STD_1200K));
  EXPECT_FALSE(IsChecked(standard, IDC_STD_DOS_BOOT));
  EXPECT_EQ(ComboEntries(standard, IDC_STD_DOS_VERSION), (std::vector<std::string>{"DOS 6.22", "DOS 7.1"}));
  EXPECT_EQ(ComboSelection(standard, IDC_STD_DOS_VERSION), 1);
  EXPECT_FALSE(IsEnabled(standard, IDC_STD_DOS_VERSION));
  EXPECT_EQ(ComboEntries(enhanced, IDC_ENH_KIND), (std::vector<std::string>{"720K", "1.2M", "1.44M"}));
  EXPECT_EQ(ComboSelection(enhanced, IDC_ENH_KIND), 2);
  EXPECT_EQ(ComboSelection(enhanced, IDC_ENH_DOS_VERSION), 1);
  EXPECT_FALSE(IsEnabled(enhanced, IDC_ENH_DOS_VERSION));
  EXPECT_EQ(Text(enhanced, IDC_ENH_STATUS), Expected(kEnhStatusAtStart));
  EXPECT_EQ(ComboEntries(usb, IDC_USB_FAT_COUNT), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(ComboSelection(usb, IDC_USB_FAT_COUNT), 1);
  EXPECT_EQ(ComboSelection(usb, IDC_USB_BOOT_MODE), 0);
  EXPECT_FALSE(IsChecked(usb, IDC_USB_FILL));
  const std::pair<int, const char*> fields[] = {{IDC_USB_ROOT_ENTRIES, "256"}, {IDC_USB_FILL_BYTE, "0"},
                                                {IDC_USB_LABEL, ""}, {IDC_USB_MBR_SIZE, "32"},
                                                {IDC_USB_DOS_VERSION, "6.22"}};
  for (const auto& field : fields) EXPECT_EQ(Text(usb, field.first), field.second) << "control " << field.first;
}

// Screenshots of every page. The pages' disk lists show the lines of the simulated disks and refill when a disk
// arrives or is removed. The fields' own rules reach the user through typing: digits only, upper case, length
// limits; radio buttons keep one of their group checked; a hidden control cannot be clicked.
TEST_F(GuiTest, PagesListTheDisksAndFollowDeviceEventsAndFieldsObeyTheirRules) {
  ASSERT_TRUE(StartProgram());
  for (const PageCase& page : kPageCases) {
    SwitchTab(page.tab);
    EXPECT_TRUE(Screenshot(Sheet(), std::string("page-") + page.name)) << page.name;
  }
  std::vector<HWND> pages = ShowEveryPage();
  HWND standard = pages[0], enhanced = pages[1], usb = pages[2];

  // A second stick of 3,000 sectors with two volumes: 1.5 MB on the standard and USB format pages, still the KB
  // form on the enhanced page (its KB form goes up to 2 MiB), and both volumes in drive-letter order. The enhanced
  // page marks disks whose multi-floppy service is off.
  const std::string first = "1.Generic Flash Disk(64.0MB\\512B): E:(64.0M,Unknown) ";
  const std::string volumes = "F:(0.7M,Unknown) G:(0.7M,Unknown) ";
  const std::string second[] = {"2.Generic Flash Disk(1.5MB\\512B): " + volumes,
                                "! 2.Generic Flash Disk( 1500.0KB\\512B): " + volumes,
                                "2.Generic Flash Disk(1.5MB\\512B): " + volumes};
  const int lists[] = {IDC_STD_DISK_LIST, IDC_ENH_DISK_LIST, IDC_USB_DISK_LIST};
  SimDiskSpec stick = SimStick(2, 'F', 3000);
  stick.volumes = {stick.volumes[0], stick.volumes[0]};
  stick.volumes[0].sectorCount = stick.volumes[1].startSector = stick.volumes[1].sectorCount = 1500;
  stick.volumes[1].letter = 'G';
  for (int step = 0; step < 3; ++step) {
    SCOPED_TRACE(step == 0 ? "at the start" : step == 1 ? "after the arrival" : "after the removal");
    if (step == 1) {
      ASSERT_TRUE(SimAddDisk(stick));
      SimInsertDisk(2);  // the arrival event: the program learns of the disk only by it
    }
    if (step == 2) SimRemoveDisk(1);
    Settle();
    for (int tab = 0; tab < 3; ++tab) {
      std::vector<std::string> lines;
      if (step < 2) lines.push_back((tab == 1 ? "! " : "") + first);
      if (step > 0) lines.push_back(second[tab]);
      EXPECT_EQ(ListEntries(pages[static_cast<size_t>(tab)], lists[tab]), lines) << kPageCases[tab].name;
    }
  }
  EXPECT_TRUE(TakeMessageBoxes().empty()) << "a device event brought up a message";
  ClickButton(standard, IDC_STD_720K);
  EXPECT_TRUE(IsChecked(standard, IDC_STD_720K));
  EXPECT_FALSE(IsChecked(standard, IDC_STD_1440K));
  Tick(standard, IDC_STD_DOS_BOOT, true);
  EXPECT_TRUE(IsChecked(standard, IDC_STD_DOS_BOOT));
  EXPECT_TRUE(IsChecked(standard, IDC_STD_720K)) << "the check box belongs to the radio group";

  SwitchTab(2);
  const char* const typed[][3] = {{"root entries", "12a3", "123"}, {"fill byte", "a5f", "A5"},
                                  {"label", "Label123456789", "Label123456"}};
  const int ids[] = {IDC_USB_ROOT_ENTRIES, IDC_USB_FILL_BYTE, IDC_USB_LABEL};
  for (int i = 0; i < 3; ++i) {
    TypeText(usb, ids[i], typed[i][1]);
    EXPECT_EQ(Text(usb, ids[i]), typed[i][2]) << typed[i][0];
  }
  SelectComboEntry(usb, IDC_USB_UNIT, 3);
  EXPECT_EQ(ComboSelection(usb, IDC_USB_UNIT), 3);
  EXPECT_EQ(Text(usb, IDC_USB_UNIT), "4096 bytes");
  EXPECT_NONFATAL_FAILURE(ClickButton(usb, IDC_USB_DOS_BOOT), "cannot click");
  EXPECT_FALSE(IsChecked(usb, IDC_USB_DOS_BOOT));

  SwitchTab(1);
  TypeText(enhanced, IDC_ENH_IDENTIFIER, "flppy12345");
  EXPECT_EQ(Text(enhanced, IDC_ENH_IDENTIFIER), "FLPPY123");
  TypeText(enhanced, IDC_ENH_COUNT, "x42");
  EXPECT_EQ(Text(enhanced, IDC_ENH_COUNT), "42");
}

TEST_F(GuiTest, HelpOpensEachPagesInstructionsWhichOnlyEscapeAndTheCloseBoxClose) {
  ASSERT_TRUE(StartProgram());
  for (const PageCase& page : kPageCases) {
    SCOPED_TRACE(page.name);
    SwitchTab(page.tab);
    PressSheetButton(IDHELP);
    HWND dialog = WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), Sheet());
    EXPECT_FALSE(IsReachable(Sheet())) << "the dialog is not modal";
    EXPECT_EQ(Text(dialog), Expected(page.help->title));
    std::string text = Text(dialog, IDC_HELP_TEXT);
    EXPECT_EQ(text, Expected(page.help->text));
    EXPECT_TRUE(text.find("\r\n") != std::string::npos);

    const LONG_PTR style = Style(Control(dialog, IDC_HELP_TEXT));
    EXPECT_EQ(style & (ES_READONLY | ES_MULTILINE | WS_VSCROLL), ES_READONLY | ES_MULTILINE | WS_VSCROLL);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      EXPECT_FALSE(IsWindowVisible(child) && Text(child) == "Static") << "\"Static\" shows";
    EXPECT_TRUE(Screenshot(dialog, std::string("help-") + page.name));

    TypeText(dialog, IDC_HELP_TEXT, "x");
    EXPECT_EQ(Text(dialog, IDC_HELP_TEXT), text) << "the text can be edited";
    PressKey(VK_RETURN);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "Enter closed the dialog";
    if (page.tab == 1)
      PressCloseBox(dialog);
    else
      PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitForWindowGone(dialog));
    EXPECT_TRUE(WaitFor([] { return IsReachable(Sheet()); })) << "the sheet stays disabled";
  }
}

// The close box ends the program with exit code 0, as OK (the standard page's test with its format) and Cancel (the
// closing tests of the enhanced page, its files and its images, after the question about the running service) do.
// (The sheet that opens again, on its first page, when the user chooses to switch a running service off first: the
// enhanced page's closing test.)
TEST_F(GuiTest, TheCloseBoxEndsTheProgram) {
  ASSERT_TRUE(StartProgram());
  HWND sheet = Sheet();
  PressCloseBox(sheet);
  EXPECT_EQ(WaitForProgramExit(), 0);
  EXPECT_FALSE(IsWindow(sheet));
}

// A failing self-check ends the program without a window; a sheet that cannot be created is tried again, three
// times at most.
TEST_F(GuiTest, FailingSelfCheckEndsTheProgramAndASheetThatCannotBeCreatedIsTriedAgainButNotForEver) {
  const struct {
    PropertySheetFunction sheet;
    bool selfCheckFails;
    int calls;
  } cases[] = {
      {SheetThatNeverComesUp, true, 0}, {SheetThatComesUpSecondTime, false, 2}, {SheetThatNeverComesUp, false, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.calls);
    gSheetCalls = 0;
    SetPropertySheetForTesting(c.sheet);
    SelfCheckForceFailureForTesting(c.selfCheckFails);
    EXPECT_EQ(RunProgram(GetModuleHandleW(nullptr)), 0);
    EXPECT_EQ(gSheetCalls, c.calls);
  }
  SelfCheckForceFailureForTesting(false);
  SetPropertySheetForTesting(nullptr);
}
