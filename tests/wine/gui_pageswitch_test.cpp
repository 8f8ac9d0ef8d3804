// No page can be left while its run goes on, under Wine over the simulated machine. Each kind of run (the service
// start and stop, a block batch and a single block format, a change in the files dialog, the standard page's and the
// USB page's formats) is caught mid-run, and the user tries Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PageDown and a click on
// another tab: the page stays in front, and every sector the run writes lands where the run meant it, with a block
// presented by the driver or the disk presented unchanged. Runs once in English and once in Chinese (LANG).
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "blocks/blocks.h"
#include "blocks/texts.h"
#include "disk/sectorio.h"
#include "gui_harness.h"
#include "pages/run_progress.h"
#include "pages/service_texts.h"
#include "pages/usbformat_texts.h"
#include "sys/sim/machine.h"
#include "sys/sim/sim.h"
#include "ui/resource_ids.h"

using namespace gui;

namespace {

constexpr uint32_t kBlocks = 5;
constexpr uint32_t kWriteDelayMs = 200;
constexpr char kFolderEntry[] = "PAGES      ";

// Holds the simulated machine once the stick has taken `writes` write calls since its stats were reset (0: at
// once), so the run's worker waits at its next access to the machine: the run surely goes on while the test acts,
// however slow the emulation. Writes are slowed until then, so that the hold falls between two of them.
struct Held {
  uint64_t writes;
  bool held = WaitFor([this] { return Take(); }, 60000);  // after `writes`, which it reads
  explicit Held(uint64_t count) : writes(count) { EXPECT_TRUE(held) << "the run wrote nothing"; }
  ~Held() {
    SimDelayWrites(kStick, 0);
    if (held) SimState().mutex.unlock();
  }
  bool Take() {
    SimState().mutex.lock();
    if (SimStats(kStick).writeCalls >= writes) return true;
    SimState().mutex.unlock();
    return false;
  }
};

struct Gesture {
  const char* name;
  std::vector<int> modifiers;
  int key;  // 0: a click on the next tab
};

const Gesture kGestures[] = {{"Ctrl+Tab", {VK_CONTROL}, VK_TAB}, {"Ctrl+Shift+Tab", {VK_CONTROL, VK_SHIFT}, VK_TAB},
                             {"Ctrl+PageDown", {VK_CONTROL}, VK_NEXT}, {"a click on another tab", {}, 0}};

// The keyboard focus on a control the user could reach with the Tab key.
void FocusOn(HWND dialog, int id) {
  HWND control = Control(dialog, id);
  EXPECT_TRUE(IsReachable(control)) << "control " << id;
  OnUiThread([control] { SetFocus(control); });
}

// Every gesture while a run holds page `tab`: the page stays in front. Where the run holds the tabs (a block format
// disables them, a modal dialog the whole sheet) a user cannot click one, and the click is not tried.
void TryToLeave(int tab, bool tabsHeld) {
  SCOPED_TRACE("page " + std::to_string(tab));
  for (const Gesture& gesture : kGestures) {
    SCOPED_TRACE(gesture.name);
    if (gesture.key != 0) {
      PressKeyWith(gesture.modifiers, gesture.key);
    } else {
      EXPECT_EQ(IsReachable(TabControl()), !tabsHeld);
      if (!tabsHeld) SwitchTab((tab + 1) % 3);
    }
    // A page that changes mid-run waits for the held machine (the harness finds the UI thread stuck).
    ASSERT_FALSE(::testing::Test::HasFailure());
    ASSERT_EQ(CurrentTab(), tab);
  }
}

std::vector<uint8_t> StickBlocks() { return SimReadRaw(kStick, 0, kBlocks * kBlock144); }

// Every block but `changed` holds the bytes it held before the run.
void ExpectOnlyBlockChanged(const std::vector<uint8_t>& before, uint32_t changed) {
  const std::vector<uint8_t> after = StickBlocks();
  const size_t bytes = size_t{kBlock144} * kSectorSize;
  for (uint32_t n = 0; n < kBlocks; ++n) {
    if (n == changed) continue;
    EXPECT_TRUE(std::equal(before.begin() + n * bytes, before.begin() + (n + 1) * bytes, after.begin() + n * bytes))
        << "block " << n << " was written";
  }
}

void SwitchServiceTryingToLeave(HWND page, bool on, const TextPair& outcome) {
  {
    Held held(0);
    AnswerMessageBoxes({IDOK});
    Tick(page, IDC_ENH_SERVICE, on);
    EXPECT_FALSE(IsEnabled(page, IDC_ENH_SERVICE)) << "the switch is free during its run";
    FocusOn(page, IDC_ENH_DISK_LIST);
    TryToLeave(1, false);
  }
  if (::testing::Test::HasFatalFailure()) return;
  EXPECT_EQ(WaitForMessageBox().text, Expected(outcome));
  WaitForEnhancedRunEnd(page);
}

void BlockFormatTryingToLeave(HWND page, int button, const char* screenshot) {
  SimResetStats(kStick);
  SimDelayWrites(kStick, kWriteDelayMs);
  AnswerMessageBoxes({IDOK, IDOK});
  ClickButton(page, button);
  {
    Held held(1);
    EXPECT_TRUE(WaitFor([&] { return Text(page, IDC_ENH_BATCH_FORMAT) == Expected(kRunStopButton); }));
    FocusOn(page, IDC_ENH_BATCH_FORMAT);
    TryToLeave(1, true);
    if (screenshot) Screenshot(Sheet(), screenshot);
  }
  if (::testing::Test::HasFatalFailure()) return;
  WaitForMessageBox();  // the question
  EXPECT_EQ(WaitForMessageBox().text, Expected(kFormatSuccess));
  WaitForEnhancedRunEnd(page);
}

// The standard page's or the USB page's format, from its start button; the text of its outcome.
void DiskFormatTryingToLeave(HWND page, int tab, int startButton, int diskList, const char* screenshot,
                             std::string* outcome) {
  SelectListEntry(page, diskList, 0);
  SimResetStats(kStick);
  SimDelayWrites(kStick, kWriteDelayMs);
  AnswerMessageBoxes({IDOK});
  ClickButton(page, startButton);
  WaitForMessageBox();  // the question
  {
    Held held(1);
    FocusOn(page, startButton);  // the Stop button while the format runs
    TryToLeave(tab, false);
    if (screenshot) Screenshot(Sheet(), screenshot);
  }
  if (::testing::Test::HasFatalFailure()) return;
  *outcome = WaitForMessageBox().text;
  EXPECT_TRUE(WaitFor([&] { return IsEnabled(page, diskList); }));
  Settle();
}

}  // namespace

TEST_F(GuiTest, NoPageCanBeLeftWhileItsRunGoesOn) {
  ScratchFolder driver("korvane-pageswitch", true);
  HWND enhanced = OpenPage(1);
  ASSERT_NO_FATAL_FAILURE(SwitchServiceTryingToLeave(enhanced, true, kServiceStarted));
  ASSERT_TRUE(SimFilter(kStick).attached);

  Tick(enhanced, IDC_ENH_VERIFY, false);
  SetEditText(enhanced, IDC_ENH_COUNT, std::to_string(kBlocks));
  ASSERT_NO_FATAL_FAILURE(BlockFormatTryingToLeave(enhanced, IDC_ENH_BATCH_FORMAT, nullptr));

  // Block 2 presented: its single format writes inside it, and so does a folder made in the files dialog.
  SelectComboEntry(enhanced, IDC_ENH_BLOCK_LIST, 2);
  Settle();
  ASSERT_EQ(SimFilter(kStick).presentedBlock, 2u);
  TypeText(enhanced, IDC_ENH_IDENTIFIER, "single");
  std::vector<uint8_t> before = StickBlocks();
  ASSERT_NO_FATAL_FAILURE(BlockFormatTryingToLeave(enhanced, IDC_ENH_SINGLE_FORMAT, "pageswitch-enhanced-stays"));
  ExpectOnlyBlockChanged(before, 2);
  EXPECT_EQ(BlockLabel(kStick, 2), "SINGLE");

  SelectComboEntry(enhanced, IDC_ENH_BLOCK_LIST, 2);
  Settle();
  ASSERT_EQ(SimFilter(kStick).presentedBlock, 2u);
  before = StickBlocks();
  ClickButton(enhanced, IDC_ENH_FILES);
  HWND files = WaitForDialog();
  ASSERT_TRUE(files);
  ASSERT_NO_FATAL_FAILURE(TryToLeave(1, true));
  ClickButton(files, IDC_FILES_NEW_FOLDER);
  AnswerNameDialog(files, "pages");
  ClickButton(files, IDCANCEL);
  ASSERT_TRUE(WaitForWindowGone(files));
  Settle();
  ExpectOnlyBlockChanged(before, 2);
  const std::vector<uint8_t> root = SimReadRaw(kStick, 2 * kBlock144 + kRootSector144, 1);
  EXPECT_NE(std::search(root.begin(), root.end(), kFolderEntry, kFolderEntry + 11), root.end()) << "no folder";

  // The other pages write the whole disk from sector 0, with the driver told that the enhanced page is hidden:
  // block 2 stays selected, but the disk is presented unchanged, and must stay so until the format has ended.
  SwitchTab(0);
  ASSERT_EQ(SimFilter(kStick).mode, 1u);
  before = StickBlocks();
  std::string outcome;
  HWND standard = CurrentPage();
  ASSERT_NO_FATAL_FAILURE(
      DiskFormatTryingToLeave(standard, 0, IDC_STD_START, IDC_STD_DISK_LIST, "pageswitch-standard-stays", &outcome));
  ExpectOnlyBlockChanged(before, 0);
  EXPECT_TRUE(IsValidBlockBootRecord(SimReadRaw(kStick, 0, 1).data(), FloppyKind::k1440K));
  EXPECT_EQ(SimFilter(kStick).mode, 1u);

  SwitchTab(2);
  HWND usb = CurrentPage();
  Tick(usb, IDC_USB_VERIFY, false);
  before = StickBlocks();
  ASSERT_NO_FATAL_FAILURE(DiskFormatTryingToLeave(usb, 2, IDC_USB_START, IDC_USB_DISK_LIST, nullptr, &outcome));
  EXPECT_EQ(outcome, Expected(kUsbFormatCompleted));
  ExpectOnlyBlockChanged(before, 0);

  SwitchTab(1);
  Settle();
  ASSERT_NO_FATAL_FAILURE(SwitchServiceTryingToLeave(enhanced, false, kServiceStopped));
  EXPECT_FALSE(SimFilter(kStick).attached);
}
