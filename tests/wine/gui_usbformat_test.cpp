// The USB disk format page under Wine: what it shows, what it refuses, and the disks a format leaves behind.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ui/resource_ids.h"
#include "ui/wintext.h"
#include "boot/boot_programs.h"
#include "fat/fat.h"
#include "gui_harness.h"
#include "pages/usbformat_texts.h"
#include "sys/sim/sim.h"
#include "usbformat/texts.h"

using namespace gui;

namespace {

// `text` with the volume texts of the disk in list entry `entry`, as the page names it.
std::string WithDisk(const TextPair& text, int entry) { return Expected(text, ListedDisk(entry).description); }

void ExpectBox(const MessageBoxRecord& box, const TextPair& text, UINT style) {
  gui::ExpectBox(box, Expected(text), Expected(kUsbFormatCaption), style);
}

// Presses the start button and confirms; the boxes after the confirmation are the test's.
void StartFormat(HWND page) {
  AnswerMessageBoxes({IDOK});
  std::string question = QuestionNamingSelectedDisk(kUsbConfirm, page, IDC_USB_DISK_LIST);
  ClickButton(page, IDC_USB_START);
  gui::ExpectBox(WaitForMessageBox(), question, "Plover hint", MB_OKCANCEL | MB_ICONINFORMATION);
}

bool PageIdle(HWND page) { return IsEnabled(page, IDC_USB_START) && IsEnabled(page, IDC_USB_DISK_LIST); }

// Waits for the "completed" box and then for the run's end as the page's own thread sees it. The page goes idle
// and restarts the disk in one step after the box, so by then the arrival of the restarted disk is queued, and
// Settle() returns once the page has refreshed its list with it: a later question names the disk as listed.
void ExpectCompleted(HWND page) {
  ExpectBox(WaitForMessageBox(60000), kUsbFormatCompleted, MB_ICONINFORMATION);
  EXPECT_TRUE(WaitFor([&] {
    bool idle = false;
    OnUiThread([&] { idle = IsEnabled(page, IDC_USB_DISK_LIST); });
    return idle;
  }));
  Settle();
}

bool AllBytes(const std::vector<uint8_t>& bytes, uint8_t value) {
  return !bytes.empty() && std::all_of(bytes.begin(), bytes.end(), [value](uint8_t b) { return b == value; });
}

}  // namespace

// Opened without a disk the page offers the largest unit and asks for a disk. Disks that come and go keep the
// remembered disk within the list.
TEST_F(GuiTest, UsbPageWithoutDiskOffersTheLargestUnitAndKeepsItsRememberedDiskWithinTheList) {
  SimRemoveDisk(1);
  HWND page = OpenPage(2);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(Text(page, IDC_USB_UNIT), "65536 bytes");
  ClickButton(page, IDC_USB_START);
  ExpectBox(WaitForMessageBox(), kUsbNoDiskSelected, MB_ICONERROR);

  ASSERT_TRUE(SimAddDisk(SimStick(2, 'F', 4096)) && SimAddDisk(SimStick(3, 'G', 4096)));
  SimInsertDisk(1);
  Settle();
  SelectListEntry(page, IDC_USB_DISK_LIST, 2);
  SimRemoveDisk(3);
  Settle();
  EXPECT_EQ(ListSelection(page, IDC_USB_DISK_LIST), 1);
  SimRemoveDisk(2);
  SimRemoveDisk(1);
  Settle();
  EXPECT_EQ(ListSelection(page, IDC_USB_DISK_LIST), -1);
  SimInsertDisk(1);
  Settle();
  EXPECT_EQ(ListSelection(page, IDC_USB_DISK_LIST), 0);
}

// The page opens with the unit of the first disk, names the selected one, hints and warns once; the format writes
// the chosen FATs, root entries and label and restarts the stick.
TEST_F(GuiTest, UsbPageNamesTheSelectedDiskHintsWarnsOnceAndFormatsWithTheChosenFatsRootAndLabel) {
  HWND page = OpenPage(2);
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(Screenshot(Sheet(), "usbformat-before"));
  EXPECT_EQ(Text(page, IDC_USB_UNIT), "2048 bytes");  // the smallest unit that suits the 64 MiB stick
  SelectListEntry(page, IDC_USB_DISK_LIST, 0);
  EXPECT_EQ(Text(page, IDC_USB_START), WithDisk(kUsbStartSelected, 0));
  EXPECT_EQ(Text(page, IDC_USB_STATUS), WithDisk(kUsbDataLossStatus, 0));
  OnUiThread([&] { SetFocus(GetDlgItem(page, IDC_USB_ROOT_ENTRIES)); });
  EXPECT_EQ(Text(page, IDC_USB_STATUS), Expected(kUsbHintRootEntries));
  Tick(page, IDC_USB_FILL, true);  // the page warns once
  ExpectBox(WaitForMessageBox(), kUsbFillWarning, MB_ICONWARNING);
  Tick(page, IDC_USB_FILL, false);
  EXPECT_TRUE(TakeMessageBoxes().empty()) << "warned more than once";

  SetEditText(page, IDC_USB_ROOT_ENTRIES, "512");  // the most the page accepts
  TypeText(page, IDC_USB_LABEL, "data");
  TypeText(page, IDC_USB_FAT_COUNT, "1");  // typed, not picked: the entry it names counts
  StartFormat(page);
  ExpectCompleted(page);
  EXPECT_EQ(Text(page, IDC_USB_STATUS), Expected(kUsbEndedStatus));
  EXPECT_EQ(Text(page, IDC_USB_START), Expected(kUsbStartAfterFormatSelected));
  EXPECT_TRUE(PageIdle(page));
  EXPECT_GE(SimStats(1).restarts, 1u);
  EXPECT_TRUE(Screenshot(Sheet(), "usbformat-after"));
  // The hidden DOS-boot group keeps its defaults: 32 sectors per track, the DOS 6.22 boot program.
  std::vector<uint8_t> dbr = SimReadRaw(1, 0, 1);
  EXPECT_EQ(dbr[bpb::kSectorsPerCluster], 4);
  EXPECT_EQ(dbr[bpb::kNumberOfFats], 1);
  EXPECT_EQ(GetLe16(&dbr[bpb::kRootEntries]), 512);
  EXPECT_EQ(GetLe16(&dbr[bpb::kSectorsPerTrack]), 32);
  EXPECT_EQ(std::memcmp(&dbr[bpb::kBootProgram], kBootProgramDos622, sizeof kBootProgramDos622), 0);
  std::vector<uint8_t> root = SimReadRaw(1, 1 + GetLe16(&dbr[bpb::kSectorsPerFat]), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(root.data()), 12), std::string("data\0\0\0\0\0\0\0\x08", 12));
}

// Every refusal, before the thread starts or (a volume another program holds) before its first write: no disk is
// written or restarted, no handle stays open, the page stays usable. How the run locks volumes is the core's
// (native volume lock run tests).
TEST_F(GuiTest, UsbPageRefusalsBeforeTheFormatLeaveEveryDiskUntouched) {
  SimDiskSpec noCapacity = SimStick(3, 'G', 2048);
  noCapacity.refusesScsiPassThrough = true;
  ASSERT_TRUE(SimAddDisk(SimStick(2, 'F', 100)) && SimAddDisk(noCapacity));
  HWND page = OpenPage(2);
  ASSERT_NE(page, nullptr);
  const struct {
    const char* name;
    int entry;
    std::function<void()> prepare;
    TextPair text;
    UINT style;
  } cases[] = {
      {"disk in use", 0, [] { SimFailOpen(1, kSysErrorSharingViolation); }, kUsbDiskInUse, MB_ICONERROR},
      {"disk gone", 0, [] { SimFailOpen(1, kSysErrorFileNotFound); }, kUsbInsertDisk, MB_RETRYCANCEL | MB_ICONERROR},
      {"no capacity", 2, [] {}, kUsbDiskWithoutCapacity, MB_ICONERROR},
      {"513 root entries", 0, [&] { TypeText(page, IDC_USB_ROOT_ENTRIES, "513"); }, kUsbTooManyRootEntries,
       MB_ICONERROR},
      {"3 FATs typed", 0, [&] { TypeText(page, IDC_USB_FAT_COUNT, "3"); }, kNoFatCountSelected, MB_ICONERROR},
      {"0 root entries", 0, [&] { SetEditText(page, IDC_USB_ROOT_ENTRIES, "0"); }, kNoRootEntries, MB_ICONERROR},
      {"unit typed", 0, [&] { TypeText(page, IDC_USB_UNIT, "16"); }, kNoUnitSizeSelected, MB_ICONERROR},
      {"65536 bytes on 100 sectors", 1, [&] { SelectComboEntry(page, IDC_USB_UNIT, 7); }, kUsbClusterTooLarge,
       MB_ICONERROR},
      {"volume held", 0, [] { SimSetVistaVolumeRule(true), SimHoldVolume('E', true); }, kUsbDiskInUse, MB_ICONERROR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetEditText(page, IDC_USB_ROOT_ENTRIES, "256");
    SelectComboEntry(page, IDC_USB_FAT_COUNT, 1);
    SelectComboEntry(page, IDC_USB_UNIT, 2);
    SelectListEntry(page, IDC_USB_DISK_LIST, c.entry);
    c.prepare();
    StartFormat(page);
    ExpectBox(WaitForMessageBox(), c.text, c.style);
    SimFailOpen(1, 0);
    EXPECT_EQ(SimStats(1).writeCalls + SimStats(2).writeCalls + SimStats(3).writeCalls, 0u);
    EXPECT_EQ(SimStats(1).restarts, 0u);
    EXPECT_TRUE(WaitFor([&] { return PageIdle(page); }));
    Settle();
    EXPECT_EQ(SimOpenHandleCount(), 0);
  }
  SimHoldVolume('E', false);
  SimSetVistaVolumeRule(false);

  // A label the OEM code page cannot hold (936 under Chinese Windows, 437 under English) is refused before the
  // question, and so is one whose bytes are more than the entry's 11.
  const bool zh = ExpectedLanguage() == Language::Chinese;
  const std::pair<std::string, std::string> labels[] = {
      {zh ? "\ud55c" : "\u4e2d", "usbformat-label-refused"},
      {"\u4e2d\u6587\u4e2d\u6587\u4e2d\u6587", "usbformat-label-too-long"}};
  SimResetStats(1);
  for (const auto& label : labels) {
    if (!zh && label.second == "usbformat-label-too-long") continue;
    SetEditText(page, IDC_USB_LABEL, label.first);
    ClickButton(page, IDC_USB_START);
    MessageBoxRecord box = WaitForMessageBox();
    EXPECT_NE(box.text.find(zh ? "\u4ee3\u7801\u9875936" : "code page 437"), std::string::npos) << box.text;
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(SimStats(1).opens + SimStats(1).writeCalls, 0u);
    EXPECT_TRUE(ScreenshotMessageBox(box, label.second));
  }
  SetEditText(page, IDC_USB_LABEL, "");

  SimResetStats(1);
  SelectListEntry(page, IDC_USB_DISK_LIST, 0);
  AnswerMessageBoxes({IDCANCEL});
  std::string question = QuestionNamingSelectedDisk(kUsbConfirm, page, IDC_USB_DISK_LIST);
  ClickButton(page, IDC_USB_START);
  EXPECT_EQ(WaitForMessageBox().text, question);
  EXPECT_EQ(SimStats(1).opens, 0u) << "Cancel still opened the disk";
}

// The fill: the data area filled with the typed byte (where it ends, past 2 GiB too, is the core's: native writer
// tests, large oracle), a bad sector in it reported as a failed format. A fill on a slow stick shows the percent,
// the start button is the Stop button, and a stopped format says so and stops writing.
TEST_F(GuiTest, UsbPageFillsTheDataAreaShowsItsProgressAndStops) {
  constexpr uint32_t kSectors = 4096;
  ASSERT_TRUE(SimAddDisk(SimStick(2, 'F', kSectors)));
  HWND page = OpenPage(2);
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(IsChecked(page, IDC_USB_VERIFY)) << "on by default";
  SelectListEntry(page, IDC_USB_DISK_LIST, 1);
  Tick(page, IDC_USB_FILL, true);
  ExpectBox(WaitForMessageBox(), kUsbFillWarning, MB_ICONWARNING);
  const std::pair<const char*, uint8_t> fills[] = {{"A5", 0xA5}, {"7", 0x07}, {"", 0x00}};
  for (const auto& fill : fills) {
    SCOPED_TRACE(fill.first);
    SimWriteRaw(2, 0, std::vector<uint8_t>(kSectors * 512, 0x5A));
    SetEditText(page, IDC_USB_FILL_BYTE, fill.first);
    StartFormat(page);
    ExpectCompleted(page);
    std::vector<uint8_t> dbr = SimReadRaw(2, 0, 1);
    uint32_t dataStart = 1 + 2u * GetLe16(&dbr[bpb::kSectorsPerFat]) + GetLe16(&dbr[bpb::kRootEntries]) / 16;
    EXPECT_TRUE(AllBytes(SimReadRaw(2, dataStart, 1), fill.second));
  }
  // A bad sector in the data area: the fill stops there and the format is reported as failed, not completed.
  // The box names the disk as the run found it; read while the format runs, the volume would show no size.
  SimFailWritesIn(2, kSectors - 100, 1);
  const std::string failed = WithDisk(kUsbFormatFailed, 1);
  StartFormat(page);
  EXPECT_EQ(WaitForMessageBox(60000).text, failed);
  Settle();

  SelectListEntry(page, IDC_USB_DISK_LIST, 0);
  SetEditText(page, IDC_USB_FILL_BYTE, "E5");
  SimDelayWrites(1, 30);
  StartFormat(page);
  ASSERT_TRUE(WaitFor([page] { return Text(page, IDC_USB_STATUS).find('%') != std::string::npos; }, 30000));
  SimPauseWritesAfter(1, 0);  // the fill waits at its next write until the Stop click has landed
  EXPECT_EQ(Text(page, IDC_USB_START), Expected(kRunStopButton));
  EXPECT_FALSE(IsEnabled(page, IDC_USB_DISK_LIST));
  EXPECT_TRUE(Screenshot(Sheet(), "usbformat-progress"));
  ClickButton(page, IDC_USB_START);
  ASSERT_TRUE(WaitFor([page] { return Text(page, IDC_USB_START) == Expected(kRunStoppingButton); }, 30000));
  SimResumeWrites(1);
  ExpectBox(WaitForMessageBox(60000), kUsbFormatStopped, MB_ICONERROR);
  Settle();
  SimDelayWrites(1, 0);
  EXPECT_TRUE(PageIdle(page));
  EXPECT_FALSE(AllBytes(SimReadRaw(1, 64 * 2048 - 2, 1), 0xE5)) << "the fill went on after the stop";
}

// A stick that keeps only half of what it claims is refused before the format writes; without the check box the
// format goes through. Choices the thread finds the volume cannot be built from: the page says why, then that the
// format failed, names the disk and restarts it all the same.
TEST_F(GuiTest, UsbPageVerifyCatchesAStickThatWrapsAndReportsChoicesTheVolumeCannotBeBuiltFrom) {
  ASSERT_TRUE(AddStickThatWrapsAtHalf());
  ASSERT_TRUE(SimAddDisk(SimStick(3, 'G', 128)));
  HWND page = OpenPage(2);
  ASSERT_NE(page, nullptr);
  SelectListEntry(page, IDC_USB_DISK_LIST, 1);
  StartFormat(page);
  EXPECT_EQ(WaitForMessageBox(60000).text, Expected(kUsbCapacityFailed, 0ull));
  Settle();
  EXPECT_TRUE(Screenshot(Sheet(), "usbformat-verify-wraps"));
  Tick(page, IDC_USB_VERIFY, false);
  StartFormat(page);
  ExpectCompleted(page);

  Tick(page, IDC_USB_VERIFY, true);
  SimResetStats(1);
  // Confirmed, refused by the thread, then reported as failed.
  auto format = [&](int entry, int unit, const std::string& refusal, const std::string& caption, UINT style) {
    SelectListEntry(page, IDC_USB_DISK_LIST, entry);
    SelectComboEntry(page, IDC_USB_UNIT, unit);
    StartFormat(page);
    gui::ExpectBox(WaitForMessageBox(60000), refusal, caption, style);
    MessageBoxRecord failed = WaitForMessageBox(60000);
    Settle();
    EXPECT_EQ(failed.text, WithDisk(kUsbFormatFailed, entry));
  };
  // 512-byte units on 64 MiB would need 130,039 clusters; 1,024-byte units fit FAT16.
  format(0, 0, Expected(kUnitNotLess, 1024), "Format usb disk", MB_ICONINFORMATION);  // in both languages
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  EXPECT_GE(SimStats(1).restarts, 1u);
  // 65,536-byte units pass the page's check on 128 sectors but leave no cluster for data.
  format(2, 7, Expected(kNoDataArea), Expected(kUsbFormatCaption), MB_ICONERROR);
  EXPECT_EQ(SimStats(3).writeCalls, 0u);
}
