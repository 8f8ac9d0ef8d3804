// The USB disk format page under Wine: what it shows, what it refuses, and the disks a format leaves behind.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/gui/message.h"
#include "app/gui/resource_ids.h"
#include "app/gui/wintext.h"
#include "boot/boot_programs.h"
#include "disk/bpb.h"
#include "disk/discovery.h"
#include "gui_harness.h"
#include "pages/usbformat_texts.h"
#include "sys/sim/sim.h"
#include "usbformat/texts.h"

using namespace gui;

namespace {

constexpr int kUsbTab = 2;
constexpr int kDosBootGroup[] = {IDC_USB_DOS_BOOT, IDC_USB_BOOT_MODE_CAPTION, IDC_USB_BOOT_MODE, IDC_USB_MBR_SIZE,
                                 IDC_USB_DOS_VERSION};

HWND OpenPage() {
  if (!StartProgram()) return nullptr;
  SwitchTab(kUsbTab);
  return CurrentPage();
}

void AddDisk(int number, uint64_t sectors, char letter, bool refusesCapacity = false) {
  SimDiskSpec disk;
  disk.number = number;
  disk.sectorCount = sectors;
  disk.refusesScsiPassThrough = refusesCapacity;
  SimVolumeSpec volume;
  volume.letter = letter;
  disk.volumes.push_back(volume);
  ASSERT_TRUE(SimAddDisk(disk));
}

// The volume texts of the disk in list entry `entry`, as the page names it.
std::string DescriptionOf(int entry) {
  DiskTable table;
  DiscoverDisks(&table);
  return table.slots[entry].description;
}

std::string WithDisk(const TextPair& text, const std::string& description) {
  char line[256];
  std::snprintf(line, sizeof line, Expected(text).c_str(), description.c_str());
  return line;
}

void ExpectBox(const MessageBoxRecord& box, const std::string& text, UINT style) {
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.caption, Expected(kUsbFormatCaption));
  EXPECT_EQ(box.style, style);
}

// Presses the start button and confirms; the boxes after the confirmation are the test's.
void StartFormat(HWND page) {
  AnswerMessageBoxes({IDOK});
  ClickButton(page, IDC_USB_START);
  MessageBoxRecord box = WaitForMessageBox();
  EXPECT_EQ(box.text, Expected(kUsbConfirm));
  EXPECT_EQ(box.caption, "Plover hint");
  EXPECT_EQ(box.style, static_cast<UINT>(MB_OKCANCEL | MB_ICONINFORMATION));
}

// The outcome box of a format; once it is there the page goes idle on the same message.
MessageBoxRecord FormatOutcome() {
  MessageBoxRecord box = WaitForMessageBox(60000);
  Settle();
  return box;
}

bool AllBytes(const std::vector<uint8_t>& bytes, uint8_t value) {
  for (uint8_t b : bytes)
    if (b != value) return false;
  return !bytes.empty();
}

uint64_t WritesToAnyDisk() { return SimStats(1).writeCalls + SimStats(2).writeCalls + SimStats(3).writeCalls; }

// Message boxes with the status line as it read when each came up.
struct SeenBox {
  std::string text;
  UINT style;
  std::string status;
};
std::mutex gSeenMutex;
std::vector<SeenBox> gSeen;

int RecordWithStatus(HWND owner, const char* text, const char*, UINT style) {
  std::lock_guard<std::mutex> lock(gSeenMutex);
  gSeen.push_back(SeenBox{text, style, GetControlText(owner, IDC_USB_STATUS)});
  return IDOK;
}

}  // namespace

TEST_F(GuiTest, UsbPageOpensWithTheUnitOfTheFirstDiskAndAsksForADiskWhenThereIsNone) {
  SimRemoveDisk(1);
  HWND page = OpenPage();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(ListEntries(page, IDC_USB_DISK_LIST).empty());
  EXPECT_EQ(Text(page, IDC_USB_UNIT), "65536 bytes");
  ClickButton(page, IDC_USB_START);
  ExpectBox(WaitForMessageBox(), Expected(kUsbNoDiskSelected), MB_ICONERROR);
  EXPECT_TRUE(TakeMessageBoxes().empty());
  PressSheetButton(IDCANCEL);
  ASSERT_EQ(WaitForProgramExit(), 0);

  SimInsertDisk(1);
  page = OpenPage();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ListSelection(page, IDC_USB_DISK_LIST), 0);
  EXPECT_EQ(Text(page, IDC_USB_UNIT), "2048 bytes");  // 64 MiB: the smallest unit the page offers for it
  EXPECT_EQ(Text(page, IDC_USB_STATUS), Expected(kUsbStatusInitial));
  for (int id : kDosBootGroup) EXPECT_FALSE(IsVisible(page, id)) << "control " << id;
}

TEST_F(GuiTest, UsbPageNamesTheSelectedDiskHintsAtEachFieldAndWarnsOnceWhenFillIsTicked) {
  HWND page = OpenPage();
  ASSERT_NE(page, nullptr);
  SelectListEntry(page, IDC_USB_DISK_LIST, 0);
  EXPECT_EQ(Text(page, IDC_USB_START), WithDisk(kUsbStartSelected, DescriptionOf(0)));
  EXPECT_EQ(Text(page, IDC_USB_STATUS), WithDisk(kUsbDataLossStatus, DescriptionOf(0)));

  const std::pair<int, TextPair> hints[] = {{IDC_USB_LABEL, kUsbHintLabel}, {IDC_USB_ROOT_ENTRIES, kUsbHintRootEntries},
                                            {IDC_USB_UNIT, kUsbHintUnit}, {IDC_USB_FAT_COUNT, kUsbHintFatCount},
                                            {IDC_USB_FILL_BYTE, kUsbHintFill}};
  for (const auto& hint : hints) {
    OnUiThread([&] { SetFocus(GetDlgItem(page, hint.first)); });
    EXPECT_EQ(Text(page, IDC_USB_STATUS), Expected(hint.second)) << "control " << hint.first;
  }

  Tick(page, IDC_USB_FILL, true);
  MessageBoxRecord warning = WaitForMessageBox();
  ExpectBox(warning, Expected(kUsbFillWarning), MB_ICONWARNING);
  EXPECT_TRUE(TakeMessageBoxes().empty()) << "the warning came more than once";
  Tick(page, IDC_USB_FILL, false);
  EXPECT_TRUE(TakeMessageBoxes().empty()) << "unticking warned";
  EXPECT_TRUE(IsEnabled(page, IDC_USB_FILL_BYTE));
}

// Every refusal before the thread starts: the disk is not written, no handle stays open, the page stays usable.
TEST_F(GuiTest, UsbPageRefusalsBeforeTheFormatLeaveEveryDiskUntouched) {
  AddDisk(2, 100, 'F');
  AddDisk(3, 2048, 'G', true);  // reports no capacity
  HWND page = OpenPage();
  ASSERT_NE(page, nullptr);
  struct Case {
    const char* name;
    int entry;
    std::function<void()> prepare;
    TextPair text;
    UINT style;
  };
  const Case cases[] = {
      {"disk in use", 0, [] { SimFailOpen(1, kSysErrorSharingViolation); }, kUsbDiskInUse, MB_ICONERROR},
      {"disk gone", 0, [] { SimFailOpen(1, kSysErrorFileNotFound); }, kUsbInsertDisk, MB_RETRYCANCEL | MB_ICONERROR},
      {"no capacity", 2, [] {}, kUsbDiskWithoutCapacity, MB_ICONERROR},
      {"513 root entries", 0, [&] { TypeText(page, IDC_USB_ROOT_ENTRIES, "513"); }, kUsbTooManyRootEntries,
       MB_ICONERROR},
      {"3 FATs typed", 0, [&] { TypeText(page, IDC_USB_FAT_COUNT, "3"); }, kNoFatCountSelected, MB_ICONERROR},
      {"unit typed", 0, [&] { TypeText(page, IDC_USB_UNIT, "3000 bytes"); }, kNoUnitSizeSelected, MB_ICONERROR},
      {"65536 bytes on 100 sectors", 1, [&] { SelectComboEntry(page, IDC_USB_UNIT, 7); }, kUsbClusterTooLarge,
       MB_ICONERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetEditText(page, IDC_USB_ROOT_ENTRIES, "256");
    SelectComboEntry(page, IDC_USB_FAT_COUNT, 1);
    SelectComboEntry(page, IDC_USB_UNIT, 2);
    SelectListEntry(page, IDC_USB_DISK_LIST, c.entry);
    c.prepare();
    StartFormat(page);
    ExpectBox(WaitForMessageBox(), Expected(c.text), c.style);
    SimFailOpen(1, 0);
    EXPECT_EQ(WritesToAnyDisk(), 0u);
    EXPECT_EQ(SimOpenHandleCount(), 0);
    EXPECT_TRUE(IsEnabled(page, IDC_USB_START) && IsEnabled(page, IDC_USB_DISK_LIST));
    EXPECT_TRUE(TakeMessageBoxes().empty());
  }

  SimResetStats(1);
  SelectListEntry(page, IDC_USB_DISK_LIST, 0);
  AnswerMessageBoxes({IDCANCEL});
  ClickButton(page, IDC_USB_START);
  EXPECT_EQ(WaitForMessageBox().text, Expected(kUsbConfirm));
  EXPECT_EQ(SimStats(1).opens, 0u) << "Cancel still opened the disk";
  EXPECT_EQ(Text(page, IDC_USB_STATUS), WithDisk(kUsbDataLossStatus, DescriptionOf(0)));
}

TEST_F(GuiTest, UsbPageFormatsTheStickWithTheChosenRootAndLabelAndRestartsIt) {
  HWND page = OpenPage();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(Screenshot(Sheet(), "usbformat-before"));
  SetEditText(page, IDC_USB_ROOT_ENTRIES, "512");  // the most the page accepts
  TypeText(page, IDC_USB_LABEL, "data");
  SelectListEntry(page, IDC_USB_DISK_LIST, 0);
  StartFormat(page);
  ExpectBox(FormatOutcome(), Expected(kUsbFormatCompleted), MB_ICONINFORMATION);

  EXPECT_EQ(Text(page, IDC_USB_STATUS), Expected(kUsbEndedStatus));
  EXPECT_EQ(Text(page, IDC_USB_START), Expected(kUsbStartAfterFormatSelected));
  EXPECT_TRUE(IsEnabled(page, IDC_USB_START) && IsEnabled(page, IDC_USB_DISK_LIST));
  EXPECT_GE(SimStats(1).restarts, 1u);
  for (int id : kDosBootGroup) EXPECT_FALSE(IsVisible(page, id)) << "control " << id;
  EXPECT_TRUE(Screenshot(Sheet(), "usbformat-after"));

  // The hidden DOS-boot group keeps its defaults: no MBR, 32 sectors per track, the DOS 6.22 boot program.
  std::vector<uint8_t> dbr = SimReadRaw(1, 0, 1);
  EXPECT_EQ(dbr[bpb::kSectorsPerCluster], 4);
  EXPECT_EQ(dbr[bpb::kNumberOfFats], 2);
  EXPECT_EQ(GetLe16(&dbr[bpb::kRootEntries]), 512);
  EXPECT_EQ(GetLe16(&dbr[bpb::kSectorsPerTrack]), 32);
  EXPECT_EQ(GetLe32(&dbr[bpb::kHiddenSectors]), 0u);
  EXPECT_EQ(std::memcmp(&dbr[bpb::kBootProgram], kBootProgramDos622, sizeof kBootProgramDos622), 0);
  EXPECT_EQ(FatTypeOfBootSector(dbr.data()), kFat16);

  uint32_t rootSector = 1 + 2u * GetLe16(&dbr[bpb::kSectorsPerFat]);
  std::vector<uint8_t> root = SimReadRaw(1, rootSector, 32);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(root.data()), 11), std::string("data\0\0\0\0\0\0\0", 11));
  EXPECT_EQ(root[11], 0x08);
  EXPECT_TRUE(AllBytes(std::vector<uint8_t>(root.begin() + 32, root.end()), 0));
}

TEST_F(GuiTest, UsbPageFillsTheDataAreaWithTheTypedByte) {
  constexpr uint32_t kSectors = 4096;
  AddDisk(2, kSectors, 'F');
  HWND page = OpenPage();
  ASSERT_NE(page, nullptr);
  SelectListEntry(page, IDC_USB_DISK_LIST, 1);
  Tick(page, IDC_USB_FILL, true);
  WaitForMessageBox();  // the warning
  const std::pair<const char*, uint8_t> fills[] = {{"A5", 0xA5}, {"7", 0x07}, {"", 0x00}};
  for (const auto& fill : fills) {
    SCOPED_TRACE(fill.first);
    SimWriteRaw(2, 0, std::vector<uint8_t>(kSectors * 512, 0x5A));
    SetEditText(page, IDC_USB_FILL_BYTE, fill.first);
    StartFormat(page);
    ExpectBox(FormatOutcome(), Expected(kUsbFormatCompleted), MB_ICONINFORMATION);
    std::vector<uint8_t> dbr = SimReadRaw(2, 0, 1);
    uint32_t dataStart = 1 + 2u * GetLe16(&dbr[bpb::kSectorsPerFat]) + GetLe16(&dbr[bpb::kRootEntries]) / 16;
    EXPECT_TRUE(AllBytes(SimReadRaw(2, dataStart, 1), fill.second));
    EXPECT_TRUE(AllBytes(SimReadRaw(2, kSectors - 2, 1), fill.second));
    EXPECT_TRUE(AllBytes(SimReadRaw(2, kSectors - 1, 1), 0x5A)) << "the volume's last sector was filled";
    EXPECT_TRUE(AllBytes(SimReadRaw(2, dataStart - 1, 1), 0)) << "the fill reached the root directory";
  }
}

// Formats that end without a volume: the page says why, then that the format failed, names the disk and restarts
// it all the same.
TEST_F(GuiTest, UsbPageReportsFormatsThatCannotBeBuiltOrWritten) {
  AddDisk(2, 128, 'F');
  HWND page = OpenPage();
  ASSERT_NE(page, nullptr);
  SetMessageBoxHookForTesting(RecordWithStatus);
  auto formatAndTakeBoxes = [&](int entry, int unit, size_t boxes) {
    SelectListEntry(page, IDC_USB_DISK_LIST, entry);
    SelectComboEntry(page, IDC_USB_UNIT, unit);
    ClickButton(page, IDC_USB_START);
    EXPECT_TRUE(WaitFor([boxes] {
      std::lock_guard<std::mutex> lock(gSeenMutex);
      return gSeen.size() == boxes;
    }));
    Settle();
    std::lock_guard<std::mutex> lock(gSeenMutex);
    std::vector<SeenBox> seen = gSeen;
    gSeen.clear();
    return seen;
  };
  std::string failed = WithDisk(kUsbFormatFailed, DescriptionOf(0));

  // 512-byte units on 64 MiB: FAT16 would need 130,039 clusters; 1,024-byte units do.
  std::vector<SeenBox> seen = formatAndTakeBoxes(0, 0, 3);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].text, Expected(kUnitNotLess).substr(0, Expected(kUnitNotLess).size() - 2) + "1024");
  EXPECT_EQ(seen[1].style, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(seen[1].status, Expected(kFat16ExceededStatus));
  EXPECT_EQ(seen[2].text, failed);
  EXPECT_EQ(SimStats(1).writeCalls, 0u);
  EXPECT_GE(SimStats(1).restarts, 1u);
  EXPECT_EQ(Text(page, IDC_USB_STATUS), Expected(kUsbEndedStatus));

  // 65,536-byte units pass the check on 128 sectors, but leave no cluster for data.
  seen = formatAndTakeBoxes(1, 7, 3);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].text, Expected(kNoDataArea));
  EXPECT_EQ(seen[1].style, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(seen[2].text, WithDisk(kUsbFormatFailed, DescriptionOf(1)));
  EXPECT_EQ(SimStats(2).writeCalls, 0u);

  // The stick fails under the FATs: the DBR stays written.
  SimFailWritesFrom(1, 1);
  SimResetStats(1);
  seen = formatAndTakeBoxes(0, 2, 2);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, failed);
  EXPECT_EQ(seen[1].style, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(SimReadRaw(1, 0, 1)[510], 0x55);
  EXPECT_GE(SimStats(1).restarts, 1u);
  EXPECT_TRUE(IsEnabled(page, IDC_USB_START));
}

TEST_F(GuiTest, UsbPageKeepsItsRememberedDiskWithinTheListAsDisksComeAndGo) {
  AddDisk(2, 4096, 'F');
  AddDisk(3, 4096, 'G');
  AddDisk(4, 4096, 'H');
  HWND page = OpenPage();
  ASSERT_NE(page, nullptr);
  SelectListEntry(page, IDC_USB_DISK_LIST, 3);
  SimRemoveDisk(4);
  SimRemoveDisk(3);
  Settle();
  EXPECT_EQ(ListEntries(page, IDC_USB_DISK_LIST).size(), 2u);
  EXPECT_EQ(ListSelection(page, IDC_USB_DISK_LIST), 1);
  SimRemoveDisk(2);
  SimRemoveDisk(1);
  Settle();
  EXPECT_EQ(ListSelection(page, IDC_USB_DISK_LIST), -1);
  SimInsertDisk(1);
  Settle();
  EXPECT_EQ(ListSelection(page, IDC_USB_DISK_LIST), 0);
}
