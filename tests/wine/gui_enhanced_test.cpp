// The enhanced edition page under Wine, over the simulated machine: the multi-floppy service, block formats,
// switching and renaming blocks, the busy indicator and the question when the sheet closes with the service on.
// Runs once in English and once in Chinese (LANG).
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "blocks/blocks.h"
#include "pages/busy_indicator.h"
#include "blocks/texts.h"
#include "pages/service_texts.h"
#include "gui_harness.h"
#include "ui/resource_ids.h"
#include "pages/enhanced_texts.h"
#include "sys/sim/machine.h"
#include "sys/sim/sim.h"

using namespace gui;

namespace {

constexpr uint32_t kStickBlocks = 64 * 2048 / kBlock144;

// A click that restarts the volume: the page handles the device events it raised after the click itself.
void ClickAndSettle(HWND page, int id) {
  ClickButton(page, id);
  Settle();
}

void SwitchService(HWND page, bool on, const TextPair& outcome) {
  AnswerMessageBoxes({IDOK});
  Tick(page, IDC_ENH_SERVICE, on);
  ExpectBox(WaitForMessageBox(), Expected(outcome), "Plover hint", MB_ICONINFORMATION);
  WaitForEnhancedRunEnd(page);
}

// Runs a format from its button, answering OK to the question; the outcome box is returned.
MessageBoxRecord Format(HWND page, int button) {
  AnswerMessageBoxes({IDOK, IDOK});
  std::string question = QuestionNamingSelectedDisk(kFormatConfirm, page, IDC_ENH_DISK_LIST);
  ClickButton(page, button);
  ExpectBox(WaitForMessageBox(), question, "Plover Hint", MB_OKCANCEL | MB_ICONINFORMATION);
  MessageBoxRecord outcome = WaitForMessageBox();
  WaitForEnhancedRunEnd(page);
  return outcome;
}

// Reads the squares as the page drew them: every square red inside, and the left edge of exactly one of them green.
// Returns the framed square, -1 when the drawing is not that.
int FramedSquare(HWND page) {
  int framed = -1, frames = 0;
  bool red = true;
  OnUiThread([&] {
    for (int i = 0; i < kBusySquares; ++i) {
      HWND square = GetDlgItem(page, IDC_ENH_BUSY_FIRST + i);
      RECT client;
      GetClientRect(square, &client);
      HDC dc = GetDC(square);
      red = red && GetPixel(dc, client.right / 2, client.bottom / 2) == RGB(200, 50, 50);
      if (GetPixel(dc, 0, client.bottom / 2) == RGB(0, 255, 0)) {
        framed = i;
        ++frames;
      }
      ReleaseDC(square, dc);
    }
  });
  return red && frames == 1 ? framed : -1;
}

// The indicator runs: shown, drawn, and its frame moves on while the worker waits for the disk.
void ExpectIndicatorRunning(HWND page) {
  for (int i = 0; i < kBusySquares; ++i) EXPECT_TRUE(IsVisible(page, IDC_ENH_BUSY_FIRST + i));
  int first = -1;
  EXPECT_TRUE(WaitFor([&] { return (first = FramedSquare(page)) != -1; }, 10000)) << "the indicator is not drawn";
  EXPECT_TRUE(WaitFor([&] {
    int now = FramedSquare(page);
    return now != -1 && now != first;
  }, 10000)) << "the frame did not move";
}

}  // namespace

TEST_F(GuiTest, EnhancedPageStartsTheServiceFormatsSwitchesRenamesAndStopsIt) {
  ScratchFolder files("korvane-enhanced", true);
  HWND page = OpenPage(1);
  ASSERT_TRUE(page);
  ASSERT_EQ(ListSelection(page, IDC_ENH_DISK_LIST), 0);
  EXPECT_FALSE(IsChecked(page, IDC_ENH_SERVICE));
  EXPECT_FALSE(IsEnabled(page, IDC_ENH_DOS_VERSION));
  ClickButton(page, IDC_ENH_DOS_BOOT);
  EXPECT_TRUE(IsEnabled(page, IDC_ENH_DOS_VERSION));
  ClickButton(page, IDC_ENH_DOS_BOOT);
  EXPECT_FALSE(IsEnabled(page, IDC_ENH_DOS_VERSION));

  SwitchService(page, true, kServiceStarted);
  SimFilterState filter = SimFilter(kStick);
  EXPECT_TRUE(filter.attached);
  EXPECT_EQ(filter.sectorsPerBlock, kBlock144);
  EXPECT_TRUE(IsChecked(page, IDC_ENH_SERVICE));
  EXPECT_EQ(Text(page, IDC_ENH_COUNT), std::to_string(kStickBlocks));
  EXPECT_EQ(Text(page, IDC_ENH_COUNT_CAPTION), Expected(kBlockCountLabel, kStickBlocks));
  EXPECT_EQ(ListEntries(page, IDC_ENH_DISK_LIST).at(0).substr(0, 2), "+ ");

  // Five blocks, listed by the labels the batch gave them.
  SetEditText(page, IDC_ENH_COUNT, "5");
  ExpectBox(Format(page, IDC_ENH_BATCH_FORMAT), Expected(kFormatSuccess), "Plover Hint", MB_ICONINFORMATION);
  EXPECT_EQ(ComboEntries(page, IDC_ENH_BLOCK_LIST),
            (std::vector<std::string>{"FLPPY0", "FLPPY1", "FLPPY2", "FLPPY3", "FLPPY4", "NO.5:UNFORMATTED"}));
  EXPECT_EQ(ComboSelection(page, IDC_ENH_BLOCK_LIST), 0);
  EXPECT_EQ(Text(page, IDC_ENH_STATUS), Expected(kScanResultHint, 5));
  Screenshot(Sheet(), "enhanced-blocks");

  // Next and previous: the driver presents the block (what the system then sees on E: is the driver's: native
  // simulated driver tests and the Wine driver test).
  ClickAndSettle(page, IDC_ENH_NEXT);
  EXPECT_EQ(SimFilter(kStick).presentedBlock, 1u);
  EXPECT_EQ(Text(page, IDC_ENH_BLOCK_NUMBER), "1");
  EXPECT_EQ(Text(page, IDC_ENH_IDENTIFIER), "FLPPY1");
  EXPECT_EQ(ComboSelection(page, IDC_ENH_BLOCK_LIST), 1);
  ClickAndSettle(page, IDC_ENH_PREVIOUS);
  EXPECT_EQ(SimFilter(kStick).presentedBlock, 0u);
  ClickAndSettle(page, IDC_ENH_NEXT);
  ClickAndSettle(page, IDC_ENH_NEXT);
  ASSERT_EQ(SimFilter(kStick).presentedBlock, 2u);

  // Another page in front: the driver hears that this one is not in use; back here, block 2 is still presented.
  SwitchTab(0);
  EXPECT_EQ(SimFilter(kStick).mode, 1u);
  SwitchTab(1);
  Settle();
  EXPECT_EQ(SimFilter(kStick).mode, 0u);
  EXPECT_EQ(SimFilter(kStick).presentedBlock, 2u);
  EXPECT_EQ(ComboSelection(page, IDC_ENH_BLOCK_LIST), 2);
  EXPECT_EQ(Text(page, IDC_ENH_IDENTIFIER), "FLPPY2");

  // Single format of the presented block 2 with the identifier typed.
  SetEditText(page, IDC_ENH_IDENTIFIER, "single");
  ExpectBox(Format(page, IDC_ENH_SINGLE_FORMAT), Expected(kFormatSuccess), "Plover Hint", MB_ICONINFORMATION);
  EXPECT_EQ(BlockLabel(kStick, 2), "SINGLE");
  EXPECT_EQ(ComboEntries(page, IDC_ENH_BLOCK_LIST).at(2), "SINGLE");
  EXPECT_EQ(ComboSelection(page, IDC_ENH_BLOCK_LIST), 0);
  EXPECT_EQ(SimFilter(kStick).presentedBlock, 0u);

  // Renaming the presented block 0: the identifier goes to the disk in the system's OEM code page (936 under Chinese
  // Windows, 437 under English) and the block list decodes it; a character the code page lacks is refused with
  // nothing written (the bytes and the refusals' words are the core's: native block tests).
  const bool zh = ExpectedLanguage() == Language::Chinese;
  const std::string identifier = zh ? "\u4e2d\u6587" : "\u00c9T\u00c9";
  SetEditText(page, IDC_ENH_IDENTIFIER, identifier);
  ClickAndSettle(page, IDC_ENH_RENAME);
  EXPECT_TRUE(TakeMessageBoxes().empty());
  SwitchTab(0);
  SwitchTab(1);
  Settle();
  EXPECT_EQ(ComboEntries(page, IDC_ENH_BLOCK_LIST).at(0), identifier);
  SimResetStats(kStick);
  SetEditText(page, IDC_ENH_IDENTIFIER, zh ? "\ud55c" : "\u4e2d");  // Hangul is not in GBK, Chinese not in 437
  ClickButton(page, IDC_ENH_RENAME);
  MessageBoxRecord refused = WaitForMessageBox();
  EXPECT_NE(refused.text.find(zh ? "\u4ee3\u7801\u9875936" : "code page 437"), std::string::npos) << refused.text;
  EXPECT_EQ(refused.style, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(SimStats(kStick).writeCalls, 0u);
  EXPECT_TRUE(ScreenshotMessageBox(refused, "enhanced-identifier-refused"));

  // 720K blocks: the driver learns 2048 sectors per block, and the 1.44M images no longer count as blocks.
  SelectComboEntry(page, IDC_ENH_KIND, 0);
  Settle();
  EXPECT_EQ(Text(page, IDC_ENH_BATCH_FORMAT), Expected(kEnhMakeKindButton, "720K"));
  EXPECT_EQ(SimFilter(kStick).sectorsPerBlock, 2048u);
  EXPECT_EQ(ComboEntries(page, IDC_ENH_BLOCK_LIST), (std::vector<std::string>{"NO.0:UNFORMATTED"}));
  EXPECT_EQ(Text(page, IDC_ENH_STATUS), Expected(kScanResultHint, 0));

  SwitchService(page, false, kServiceStopped);
  EXPECT_FALSE(IsChecked(page, IDC_ENH_SERVICE));
  EXPECT_FALSE(SimFilter(kStick).attached);
}

// While a worker waits for the disk the busy indicator runs and the switch is refused; closing with the service on
// asks first.
TEST_F(GuiTest, BusyIndicatorRunsWhileAWorkerWaitsForTheDiskAndClosingWithTheServiceOnAsksFirst) {
  ScratchFolder files("korvane-enhanced", true);
  const std::string exitQuestion = Expected(kEnhExitQuestion, ListedDisk(0).hardwareKey);
  HWND page = OpenPage(1);
  ASSERT_TRUE(page);
  EXPECT_FALSE(IsVisible(page, IDC_ENH_BUSY_FIRST));
  {
    // The simulated machine held: every disk, registry and device access of the program waits, as on a disk that
    // is slow to answer, while the page's own thread (which only paints) goes on.
    std::lock_guard<SysLock> held(SimState().mutex);
    AnswerMessageBoxes({IDOK});
    ClickButton(page, IDC_ENH_SERVICE);
    ASSERT_TRUE(WaitFor([&] { return IsVisible(page, IDC_ENH_BUSY_FIRST); }));
    for (int id : {IDC_ENH_SERVICE, IDC_ENH_BATCH_FORMAT, IDC_ENH_SINGLE_FORMAT})
      EXPECT_FALSE(IsEnabled(page, id)) << id;
    ExpectIndicatorRunning(page);
    Screenshot(Sheet(), "enhanced-service-running");
  }
  ExpectBox(WaitForMessageBox(), Expected(kServiceStarted), "Plover hint", MB_ICONINFORMATION);
  WaitForEnhancedRunEnd(page);
  EXPECT_TRUE(IsChecked(page, IDC_ENH_SERVICE));
  EXPECT_FALSE(IsVisible(page, IDC_ENH_BUSY_FIRST));

  SetEditText(page, IDC_ENH_COUNT, "3");
  std::string question = QuestionNamingSelectedDisk(kFormatConfirm, page, IDC_ENH_DISK_LIST);
  {
    std::lock_guard<SysLock> held(SimState().mutex);
    AnswerMessageBoxes({IDOK, IDOK});
    ClickButton(page, IDC_ENH_BATCH_FORMAT);
    ASSERT_TRUE(WaitFor([&] { return IsVisible(page, IDC_ENH_BUSY_FIRST) && !IsWindowEnabled(TabControl()); }));
    ExpectIndicatorRunning(page);
    Screenshot(Sheet(), "enhanced-format-running");
  }
  ExpectBox(WaitForMessageBox(), question, "Plover Hint", MB_OKCANCEL | MB_ICONINFORMATION);
  ExpectBox(WaitForMessageBox(), Expected(kFormatSuccess), "Plover Hint", MB_ICONINFORMATION);
  WaitForEnhancedRunEnd(page);
  EXPECT_FALSE(IsVisible(page, IDC_ENH_BUSY_FIRST));
  EXPECT_EQ(ComboEntries(page, IDC_ENH_BLOCK_LIST).size(), 4u);

  // Closing with the service on asks first: Yes opens the sheet again, No ends the program and leaves it on.
  HWND first = Sheet();
  AnswerMessageBoxes({IDYES});
  PressSheetButton(IDOK);
  ExpectBox(WaitForMessageBox(), exitQuestion, "Plover hint", MB_YESNO | MB_ICONERROR);
  ASSERT_TRUE(WaitFor([&] { return Sheet() && Sheet() != first && IsWindowVisible(Sheet()); }));
  Settle();
  EXPECT_TRUE(ProgramRunning());
  EXPECT_EQ(CurrentTab(), 0);
  SwitchTab(1);
  EXPECT_TRUE(IsChecked(CurrentPage(), IDC_ENH_SERVICE));
  AnswerMessageBoxes({IDNO});
  PressSheetButton(IDCANCEL);
  ExpectBox(WaitForMessageBox(), exitQuestion, "Plover hint", MB_YESNO | MB_ICONERROR);
  EXPECT_EQ(WaitForProgramExit(), 0);
  EXPECT_TRUE(SimFilter(kStick).attached);  // the user chose to leave it on
}

// Batches on the stick. A slow one shows the block and the percent, nothing but the Stop button can be reached, and
// a stop leaves the blocks before it complete and lists no block that is not. Typing into the kind box leaves no
// kind chosen: a batch writes 1.44M images into 1.5 MiB blocks, and the batch button, the Stop button during the
// run, gets back the name it had. The verify check box catches a stick that keeps only half of what it claims,
// before any block is written.
TEST_F(GuiTest, BatchesShowTheirProgressStopWriteWithNoKindChosenAndVerifyTheStick) {
  ASSERT_TRUE(AddStickThatWrapsAtHalf());
  HWND page = OpenPage(1);
  ASSERT_TRUE(page);
  SelectListEntry(page, IDC_ENH_DISK_LIST, 0);
  Settle();
  EXPECT_TRUE(IsChecked(page, IDC_ENH_VERIFY)) << "on by default";
  Tick(page, IDC_ENH_VERIFY, false);
  SetEditText(page, IDC_ENH_COUNT, "20");
  // The run waits inside its first block until the Stop click has landed, however fast the machine runs it.
  SimPauseWritesAfter(kStick, 5);
  AnswerMessageBoxes({IDOK, IDOK});
  const std::string question = QuestionNamingSelectedDisk(kFormatConfirm, page, IDC_ENH_DISK_LIST);
  ClickButton(page, IDC_ENH_BATCH_FORMAT);
  ExpectBox(WaitForMessageBox(), question, "Plover Hint", MB_OKCANCEL | MB_ICONINFORMATION);
  ASSERT_TRUE(WaitFor([&] { return Text(page, IDC_ENH_STATUS).find("%") != std::string::npos; }, 30000));
  EXPECT_EQ(Text(page, IDC_ENH_BATCH_FORMAT), Expected(kRunStopButton));
  EXPECT_FALSE(IsWindowEnabled(TabControl()));
  for (int id : {IDC_ENH_DISK_LIST, IDC_ENH_SINGLE_FORMAT}) EXPECT_FALSE(IsEnabled(page, id)) << id;
  ASSERT_TRUE(WaitFor([&] { return SimStats(kStick).writeCalls >= 5; }, 30000));
  Screenshot(Sheet(), "enhanced-format-progress");
  ClickButton(page, IDC_ENH_BATCH_FORMAT);
  ASSERT_TRUE(WaitFor([&] { return Text(page, IDC_ENH_BATCH_FORMAT) == Expected(kRunStoppingButton); }, 30000))
      << "the Stop click did not land";
  SimResumeWrites(kStick);
  MessageBoxRecord box = WaitForMessageBox(60000);
  WaitForEnhancedRunEnd(page);
  uint32_t complete = 0;
  while (IsValidBlockBootRecord(SimReadRaw(kStick, uint64_t{complete} * kBlock144, 1).data(), FloppyKind::k1440K))
    ++complete;
  ASSERT_GT(complete, 0u);
  EXPECT_LT(complete, 20u);
  EXPECT_EQ(BlockLabel(kStick, complete - 1), "FLPPY" + std::to_string(complete - 1))
      << "the last valid block is whole";
  EXPECT_EQ(box.text, Expected(kBlockFormatStopped, complete, complete));
  EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(IsEnabled(page, IDC_ENH_DISK_LIST));

  SimWriteRaw(kStick, 0, std::vector<uint8_t>(size_t{complete} * kBlock144 * kSectorSize, 0));
  const std::string caption = Text(page, IDC_ENH_BATCH_FORMAT);
  TypeText(page, IDC_ENH_KIND, "2.88M");
  Settle();
  ASSERT_EQ(ComboSelection(page, IDC_ENH_KIND), -1);
  SetEditText(page, IDC_ENH_COUNT, "2");
  ExpectBox(Format(page, IDC_ENH_BATCH_FORMAT), Expected(kFormatSuccess), "Plover Hint", MB_ICONINFORMATION);
  EXPECT_EQ(Text(page, IDC_ENH_BATCH_FORMAT), caption);
  EXPECT_TRUE(IsValidBlockBootRecord(SimReadRaw(kStick, kBlock144, 1).data(), FloppyKind::k1440K));

  SelectComboEntry(page, IDC_ENH_KIND, 2);
  Tick(page, IDC_ENH_VERIFY, true);
  SelectListEntry(page, IDC_ENH_DISK_LIST, 1);
  Settle();
  SetEditText(page, IDC_ENH_COUNT, "10");
  MessageBoxRecord wraps = Format(page, IDC_ENH_BATCH_FORMAT);
  EXPECT_EQ(wraps.text, Expected(kBlockCapacityFailed, 0ull, 0u));
  EXPECT_EQ(wraps.style, static_cast<UINT>(MB_ICONERROR));
  Screenshot(Sheet(), "enhanced-verify-wraps");
  Tick(page, IDC_ENH_VERIFY, false);
  EXPECT_EQ(Format(page, IDC_ENH_BATCH_FORMAT).text, Expected(kFormatSuccess)) << "unchecked, the lie goes unnoticed";
}

TEST_F(GuiTest, ServiceStartsThatCannotGoThroughAndASingleFormatWithoutTheService) {
  ScratchFolder files("korvane-enhanced");
  HWND page = OpenPage(1);
  ASSERT_TRUE(page);

  // Each start that cannot go through says why and leaves the switch off; what it leaves in the registry and on
  // the device is the core's (native service switch and install tests). No driver file first.
  AnswerMessageBoxes({IDOK});
  Tick(page, IDC_ENH_SERVICE, true);
  ExpectBox(WaitForMessageBox(), Expected(kServiceDriverMissing), "Plover hint", MB_ICONINFORMATION);
  WaitForEnhancedRunEnd(page);
  EXPECT_FALSE(IsChecked(page, IDC_ENH_SERVICE));

  // A single format would land on the start of the whole disk without the service: refused, nothing written.
  SimResetStats(kStick);
  ClickButton(page, IDC_ENH_SINGLE_FORMAT);
  ExpectBox(WaitForMessageBox(), Expected(kStartService), "Plover Hint", MB_ICONERROR);
  WaitForEnhancedRunEnd(page);
  EXPECT_EQ(SimStats(kStick).writeCalls, 0u);

  // A system that does not load the driver (an unsigned one on 64-bit Windows): an error, the disk as it was.
  files.PutDriver();
  SimSetFilterDriverLoads(false);
  AnswerMessageBoxes({IDOK});
  Tick(page, IDC_ENH_SERVICE, true);
  ExpectBox(WaitForMessageBox(), Expected(kServiceDriverNotLoaded), "Plover hint", MB_ICONERROR);
  WaitForEnhancedRunEnd(page);
  EXPECT_FALSE(IsChecked(page, IDC_ENH_SERVICE));
  SimSetFilterDriverLoads(true);

  // Another program holds the disk: the filter waits for a reboot, and the switch says so; once the disk is free a
  // second start goes through.
  SimHoldDisk(kStick, true);
  SwitchService(page, true, kServiceStartNeedsRestart);
  EXPECT_FALSE(IsChecked(page, IDC_ENH_SERVICE));
  SimHoldDisk(kStick, false);
  SwitchService(page, true, kServiceStarted);
  EXPECT_TRUE(IsChecked(page, IDC_ENH_SERVICE));

  // The stick pulled out: the list empties, the status asks for a disk, and the switch has none to work on.
  SimRemoveDisk(kStick);
  Settle();
  EXPECT_TRUE(ListEntries(page, IDC_ENH_DISK_LIST).empty());
  EXPECT_EQ(Text(page, IDC_ENH_STATUS), Expected(kEnhStatusAfterDeviceChange));
  Tick(page, IDC_ENH_SERVICE, true);
  ExpectBox(WaitForMessageBox(), Expected(kServiceNoDisk), "Plover Hint", MB_ICONERROR);
  WaitForEnhancedRunEnd(page);
  EXPECT_FALSE(IsChecked(page, IDC_ENH_SERVICE));
}

TEST_F(GuiTest, DisksWithSectorsLargerThan512BytesAreNeitherBatchNorSingleFormatted) {
  SimReset();
  SimDiskSpec stick = SimStick(kStick, 'E', 32768);
  stick.sectorSize = 2048;
  ASSERT_TRUE(SimAddDisk(stick));
  HWND page = OpenPage(1);
  ASSERT_TRUE(page);
  ASSERT_EQ(ListSelection(page, IDC_ENH_DISK_LIST), 0);

  // A run refused before it held the sheet leaves the batch button with the kind it names.
  SelectComboEntry(page, IDC_ENH_KIND, 0);
  Settle();
  const std::string caption = Text(page, IDC_ENH_BATCH_FORMAT);
  const std::string refusal = Expected(kSectorSizeNotSupported, 2048);
  for (int button : {IDC_ENH_BATCH_FORMAT, IDC_ENH_SINGLE_FORMAT}) {
    ClickButton(page, button);
    ExpectBox(WaitForMessageBox(), refusal, "Format usb disk", MB_ICONERROR);
    WaitForEnhancedRunEnd(page);
    EXPECT_EQ(Text(page, IDC_ENH_BATCH_FORMAT), caption) << button;
  }
  EXPECT_EQ(SimStats(kStick).writeCalls, 0u);
}
