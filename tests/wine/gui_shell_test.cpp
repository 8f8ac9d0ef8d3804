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

// What a user sees of a control: its window class and the style bits that make it what it is.
enum Kind { kGroup, kRadio, kCheck, kPush, kDefault, kList, kLabel, kEdit, kDigits, kUpper, kCombo, kSorted };
struct ControlCase {
  int id;
  Kind kind;
  bool visible;
};

struct PageCase {
  int tab;
  const char* name;
  TextPair title;
  const Instructions* help;
  int helpSteps;
  std::vector<ControlText> texts;
  std::vector<ControlCase> controls;
};

const PageCase kPageCases[] = {
    {0, "standard", kStandardPageTitle, &kStandardInstructions, 3,
     {std::begin(kStandardControlTexts), std::end(kStandardControlTexts)},
     {{1011, kGroup, true}, {1037, kList, true}, {1036, kGroup, true}, {1034, kRadio, true}, {1038, kRadio, true},
      {1035, kRadio, true}, {1063, kCheck, true}, {1070, kSorted, true}, {1032, kDefault, true},
      {1073, kGroup, true}, {1033, kLabel, true}, {1014, kGroup, true}}},
    {1, "enhanced", kEnhancedPageTitle, &kEnhancedInstructions, 9,
     {std::begin(kEnhancedControlTexts), std::end(kEnhancedControlTexts)},
     {{1038, kGroup, true}, {1004, kList, true}, {1021, kCheck, true}, {1028, kGroup, true}, {1039, kLabel, true},
      {1025, kCombo, true}, {1015, kDefault, true}, {1016, kPush, true}, {1026, kPush, true}, {1027, kUpper, true},
      {1040, kGroup, true}, {1061, kLabel, true}, {1043, kCombo, true}, {1047, kLabel, true}, {1046, kDigits, true},
      {1064, kCheck, true}, {1071, kCombo, true}, {1020, kPush, true}, {1001, kPush, true}, {1048, kLabel, false},
      {1055, kLabel, false}, {1041, kGroup, true}, {1009, kLabel, true}, {1006, kDigits, false},
      {1014, kPush, false}, {1000, kList, false}, {1002, kPush, false}}},
    {2, "usbformat", kUsbFormatPageTitle, &kUsbFormatInstructions, 7,
     {std::begin(kUsbFormatControlTexts), std::end(kUsbFormatControlTexts)},
     {{1008, kGroup, true}, {1006, kGroup, true}, {1004, kList, true}, {1000, kGroup, true}, {1019, kLabel, true},
      {1021, kSorted, true}, {1013, kLabel, true}, {1017, kCombo, true}, {1001, kLabel, true}, {1003, kEdit, true},
      {1012, kLabel, true}, {1010, kDigits, true}, {1007, kCheck, true}, {1022, kUpper, true}, {1002, kPush, true},
      {1076, kGroup, true}, {1009, kLabel, true}, {1062, kCheck, false}, {1066, kLabel, false},
      {1065, kSorted, false}, {1069, kCombo, false}, {1067, kSorted, false}}},
};

void ExpectKind(HWND page, const ControlCase& c) {
  SCOPED_TRACE("control " + std::to_string(c.id));
  HWND control = Control(page, c.id);
  if (!control) return;
  const std::string cls = ClassName(control);
  const LONG_PTR style = Style(control);
  const LONG_PTR buttonTypes[] = {BS_GROUPBOX, BS_AUTORADIOBUTTON, BS_AUTOCHECKBOX, BS_PUSHBUTTON, BS_DEFPUSHBUTTON};
  if (c.kind <= kDefault) {
    EXPECT_EQ(cls, "Button");
    EXPECT_EQ(style & BS_TYPEMASK, buttonTypes[c.kind]);
  } else if (c.kind == kLabel) {
    EXPECT_EQ(cls, "Static");
  } else if (c.kind == kList) {
    EXPECT_EQ(cls, "ListBox");
    // List line i is disk table slot i: the list must notify and must not sort.
    EXPECT_TRUE(style & LBS_NOTIFY);
    EXPECT_FALSE(style & LBS_SORT);
  } else if (c.kind <= kUpper) {
    EXPECT_EQ(cls, "Edit");
    EXPECT_EQ((style & ES_NUMBER) != 0, c.kind == kDigits);
    EXPECT_EQ((style & ES_UPPERCASE) != 0, c.kind == kUpper);
  } else {
    EXPECT_EQ(cls, "ComboBox");
    EXPECT_EQ(style & 3, CBS_DROPDOWN);
    EXPECT_EQ((style & CBS_SORT) != 0, c.kind == kSorted);
  }
  EXPECT_EQ((style & WS_VISIBLE) != 0, c.visible);
}

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

// The sheet and its three pages as they open: the caption, the tabs, the buttons and icons, every control with its
// kind, place, text in the user's language and preset choice.
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
  EXPECT_NE(SendMessageW(sheet, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(sheet, WM_GETICON, ICON_SMALL, 0), 0);
  PostMessageW(sheet, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitFor([&] { return IsIconic(sheet) != FALSE; })) << "the sheet cannot be minimised";
  PostMessageW(sheet, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(WaitFor([&] { return IsIconic(sheet) == FALSE; }));

  std::vector<HWND> pages = ShowEveryPage();
  for (const PageCase& page : kPageCases) {
    SCOPED_TRACE(page.name);
    EXPECT_EQ(TabTitle(page.tab), Expected(page.title));
    HWND window = pages[static_cast<size_t>(page.tab)];
    ASSERT_NE(window, nullptr);
    for (const ControlCase& c : page.controls) ExpectKind(window, c);
    for (const ControlText& t : page.texts) EXPECT_EQ(Text(window, t.id), Expected(t.text)) << "control " << t.id;
    // In English no visible control may keep a Chinese resource text.
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (ExpectedLanguage() != Language::English || !(Style(child) & WS_VISIBLE)) continue;
      const std::string text = Text(child);
      EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char ch) { return ch >= 0; }))
          << "control " << GetDlgCtrlID(child) << " shows " << text;
    }
  }

  // The enhanced page's controls stand where the layout puts them (dialog units; the dialog manager converts the
  // position and the size each on its own).
  const int positions[][5] = {
      {1038, 4, 0, 218, 63},   {1004, 10, 10, 207, 34},  {1021, 10, 48, 207, 11},  {1028, 4, 67, 218, 42},
      {1039, 6, 79, 65, 8},    {1015, 152, 76, 67, 14},  {1016, 152, 91, 67, 14},  {1026, 9, 91, 60, 14},
      {1027, 72, 92, 79, 12},  {1040, 4, 111, 218, 65},  {1061, 8, 122, 62, 8},    {1047, 8, 137, 72, 8},
      {1046, 83, 135, 62, 12}, {1064, 8, 151, 74, 10},   {1020, 148, 119, 70, 14}, {1001, 148, 134, 70, 14},
      {1048, 131, 165, 8, 8},  {1055, 208, 165, 8, 8},   {1041, 4, 178, 218, 56},  {1009, 8, 187, 210, 43},
  };
  for (const auto& p : positions) {
    RECT expected = {p[1], p[2], p[3], p[4]}, actual;
    MapDialogRect(pages[1], &expected);
    GetWindowRect(Control(pages[1], p[0]), &actual);
    MapWindowPoints(nullptr, pages[1], reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left) << "control " << p[0];
    EXPECT_EQ(actual.top, expected.top) << "control " << p[0];
    EXPECT_EQ(actual.right - actual.left, expected.right) << "control " << p[0];
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom) << "control " << p[0];
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
  EXPECT_EQ(ComboEntries(usb, IDC_USB_UNIT).size(), 8u);
  EXPECT_EQ(ComboEntries(usb, IDC_USB_UNIT).back(), "65536 bytes");
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
  SimDiskSpec stick = Stick(2, 'F', 3000);
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
    int steps = 0;
    while (text.find("    " + std::to_string(steps + 1) + ". ") != std::string::npos) ++steps;
    EXPECT_EQ(steps, page.helpSteps);
    EXPECT_TRUE(text.find("\r\n") != std::string::npos);

    const LONG_PTR style = Style(Control(dialog, IDC_HELP_TEXT));
    EXPECT_EQ(style & (ES_READONLY | ES_MULTILINE | WS_VSCROLL), ES_READONLY | ES_MULTILINE | WS_VSCROLL);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      EXPECT_FALSE(IsWindowVisible(child) && Text(child) == "Static") << "\"Static\" shows";
    EXPECT_EQ(Text(dialog, IDC_HELP_UNUSED_LABEL), "");
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

// The enhanced edition page clears the end flag when the user chooses to switch a running service off first: the
// sheet then opens again, on its first page. OK, Cancel and the close box each end the program with exit code 0.
TEST_F(GuiTest, SheetOpensAgainWhileTheEndFlagIsClearedAndOkCancelAndTheCloseBoxEndTheProgram) {
  ASSERT_TRUE(StartProgram());
  HWND first = Sheet();
  SwitchTab(2);
  SetSheetEndFlag(false);
  PressSheetButton(IDOK);
  ASSERT_TRUE(WaitFor([&] { return Sheet() != first && Sheet() && IsWindowVisible(Sheet()); }));
  Settle();
  EXPECT_TRUE(ProgramRunning());
  EXPECT_EQ(CurrentTab(), 0);
  EXPECT_TRUE(SheetEndFlag());
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way == 0 ? "Cancel" : way == 1 ? "OK" : "close box");
    ASSERT_TRUE(way == 0 || StartProgram());
    HWND sheet = Sheet();
    if (way == 2)
      PressCloseBox(sheet);
    else
      PressSheetButton(way == 0 ? IDCANCEL : IDOK);
    EXPECT_EQ(WaitForProgramExit(), 0);
    EXPECT_FALSE(IsWindow(sheet));
  }
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
