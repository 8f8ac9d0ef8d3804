// The standard edition page end to end over the simulated machine: each kind and DOS choice, the refusals, a
// disk pulled in the middle of a format, the list after device events, closing the sheet during a format, and
// screenshots of a run.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "ui/resource_ids.h"
#include "fat/fat.h"
#include "floppy/floppy.h"
#include "gui_harness.h"
#include "pages/standard_texts.h"
#include "sys/sim/machine.h"
#include "sys/sim/sim.h"

using namespace gui;

namespace {

const int kKindButtons[kFloppyKindCount] = {IDC_STD_720K, IDC_STD_1200K, IDC_STD_1440K};
const char kCaption[] = "Format usb disk";  // the completion's caption, in both languages

// Presses the start button; the confirmation must name the disk selected before the click.
void ClickStart(HWND page) {
  std::string question = QuestionNamingSelectedDisk(kStdConfirm, page, IDC_STD_DISK_LIST);
  ClickButton(page, IDC_STD_START);
  ExpectBox(WaitForMessageBox(), question, "Plover hint", MB_OKCANCEL | MB_ICONINFORMATION);
}

// Idle: a new format can be started and the list picked from.
bool PageIdle(HWND page) { return IsEnabled(page, IDC_STD_START) && IsEnabled(page, IDC_STD_DISK_LIST); }

// Waits until the page is idle again after the box that ended its run.
void WaitForIdle(HWND page) {
  EXPECT_TRUE(WaitFor([&] { return PageIdle(page); }));
  Settle();
}

// --- DOS system files and the expected image ---------------------------------------------------------------------

// The DOS system files the bootable choices copy, in a folder made the simulated machine's current directory.
void PutTestSysFiles(const ScratchFolder& dir) {
  CreateDirectoryA((dir / "SysFile").c_str(), nullptr);
  for (const char* name : {"OS6A", "OS6B", "OS6C", "OS7A", "OS7B", "OS7C"})
    WriteHostFile(dir / "SysFile" + "\\" + name, std::vector<uint8_t>(700, 0x5A));
}

// The stick holds the image the page's choices name: the boot record of the kind and DOS version, and the three
// system files in the root directory or none. The layout itself is the core's (native floppy and system file
// tests, fsck.fat, mtools and QEMU in the floppy oracle).
void ExpectFloppyOnStick(FloppyKind kind, DosVersion dos) {
  uint8_t expected[512];
  BuildFloppyDbr(kind, "", dos, expected);
  EXPECT_EQ(std::memcmp(SimReadRaw(kStick, 0, 1).data(), expected, 512), 0) << "not the boot record of the choice";
  std::vector<uint8_t> root = SimReadRaw(kStick, FirstRootSector(kind), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&root[64]), 11), dos == kDosNone ? std::string(11, '\0')
                                                                                        : "COMMAND COM");
}

// --- Driving the page ----------------------------------------------------------------------------------------

// Picks the kind and the DOS choice as a user would. Without DOS the box is ticked, 6.22 picked and the box
// unticked again: an unticked box makes the image plain whatever the list shows.
void ChooseFormat(HWND page, FloppyKind kind, DosVersion dos) {
  ClickButton(page, kKindButtons[static_cast<int>(kind)]);
  Tick(page, IDC_STD_DOS_BOOT, true);
  EXPECT_TRUE(IsEnabled(page, IDC_STD_DOS_VERSION));
  SelectComboEntry(page, IDC_STD_DOS_VERSION, dos == kDos71 ? 1 : 0);
  if (dos == kDosNone) {
    Tick(page, IDC_STD_DOS_BOOT, false);
    EXPECT_FALSE(IsEnabled(page, IDC_STD_DOS_VERSION));
  }
}

// Presses the start button, confirms, and returns the completion message once the page is idle again.
MessageBoxRecord RunFormat(HWND page) {
  AnswerMessageBoxes({IDOK});
  ClickStart(page);
  MessageBoxRecord done = WaitForMessageBox();
  WaitForIdle(page);
  return done;
}

// Holds the simulated machine on the UI thread. The page's thread goes on using it (the lock is recursive) while
// the format thread stops at its first disk access, so the test can look at the page in the middle of a run.
// While it is held the test thread must reach the machine only through OnUiThread.
struct WorkerPause {
  WorkerPause() { OnUiThread([] { SimState().mutex.lock(); }); }
  ~WorkerPause() { OnUiThread([] { SimState().mutex.unlock(); }); }
};

}  // namespace

// Each kind button and each DOS choice once (720K plain, 1.2M with DOS 6.22, 1.44M with DOS 7.1): the page's texts
// through the run, the image its choices name on the stick, the device restarted once, no handle left open.
TEST_F(GuiTest, StandardPageFormatsEveryKindPlainAndBootable) {
  ScratchFolder dir("korvane-standard");
  PutTestSysFiles(dir);
  HWND page = OpenPage(0);
  ASSERT_TRUE(page);
  const TextPair* kindHints[] = {&kStd720KHint, &kStd1200KHint, &kStd1440KHint};
  const DosVersion doses[] = {kDosNone, kDos622, kDos71};
  for (int k = 0; k < kFloppyKindCount; ++k) {
    FloppyKind kind = static_cast<FloppyKind>(k);
    SCOPED_TRACE(FloppyKindName(kind));
    SimResetStats(kStick);
    std::string before = ListedDisk(0).description;

    SelectListEntry(page, IDC_STD_DISK_LIST, 0);
    EXPECT_EQ(Text(page, IDC_STD_START), Expected(kStdReadyButton, before.c_str()));
    EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(kStdDiskWarning, before.c_str()));
    ChooseFormat(page, kind, doses[k]);
    EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(*kindHints[k]));

    ExpectBox(RunFormat(page), Expected(kStdFormatDone, before.c_str()), kCaption, MB_ICONINFORMATION);
    EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(kStdSelectDisk));
    EXPECT_EQ(ListSelection(page, IDC_STD_DISK_LIST), 0);
    EXPECT_EQ(Text(page, IDC_STD_START), Expected(kStdBeginDiskButton, ListedDisk(0).description));

    ExpectFloppyOnStick(kind, doses[k]);
    EXPECT_EQ(SimStats(kStick).restarts, 1u) << "the stick's device was not restarted";
    EXPECT_EQ(SimOpenHandleCount(), 0);
  }
}

// Each refusal shows its own message, writes nothing to any disk, leaves no handle open and the page idle; a volume
// held by another program is one (how the run locks volumes is the core's: native volume lock run tests). A stick
// too small for 1.44M still takes a 720K image.
TEST_F(GuiTest, StandardPageRefusalsLeaveEveryDiskUntouched) {
  SimDiskSpec bigSectors = SimStick(2, 'F', 32768), noCapacity = SimStick(3, 'G', 131072);
  bigSectors.sectorSize = 2048;
  noCapacity.refusesScsiPassThrough = true;
  ASSERT_TRUE(SimAddDisk(bigSectors) && SimAddDisk(noCapacity) && SimAddDisk(SimStick(4, 'H', 2000)));
  HWND page = OpenPage(0);
  ASSERT_TRUE(page);
  ASSERT_EQ(ListEntries(page, IDC_STD_DISK_LIST).size(), 4u);

  const std::string formatCaption = Expected(kStdFormatCaption);
  const struct {
    const char* name;
    int entry;
    uint32_t openError;  // the stick's open fails with it (0: opens)
    bool volumeHeld;     // another program holds E: on a machine that refuses writes into unlocked volumes
    int answer;          // to the confirmation
    std::string text, caption;
    UINT style;
  } refusals[] = {
      {"cancelled", 0, 0, false, IDCANCEL, "", "", 0},
      {"in use", 0, kSysErrorSharingViolation, false, IDOK, Expected(kStdDiskInUse), formatCaption, MB_ICONERROR},
      {"not there", 0, kSysErrorFileNotFound, false, IDOK, Expected(kStdOpenFailed), formatCaption,
       MB_RETRYCANCEL | MB_ICONERROR},
      {"2048-byte sectors", 1, 0, false, IDOK, Expected(kStdSectorTooLarge, 2048), kCaption, MB_ICONERROR},
      {"no capacity", 2, 0, false, IDOK, Expected(kStdNoCapacity), formatCaption, MB_ICONERROR},
      {"smaller than 1.44M", 3, 0, false, IDOK, Expected(kStdTooSmall), formatCaption, MB_ICONERROR},
      {"volume held", 0, 0, true, IDOK, Expected(kStdDiskInUse), formatCaption, MB_ICONERROR},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.name);
    SimFailOpen(kStick, r.openError);
    SimSetVistaVolumeRule(r.volumeHeld);
    SimHoldVolume('E', r.volumeHeld);
    SelectListEntry(page, IDC_STD_DISK_LIST, r.entry);
    std::string warning = Text(page, IDC_STD_STATUS);
    AnswerMessageBoxes({r.answer});
    if (r.style == (MB_RETRYCANCEL | MB_ICONERROR)) AnswerMessageBoxes({IDRETRY});  // retrying tries nothing
    ClickStart(page);
    if (r.style) ExpectBox(WaitForMessageBox(), r.text, r.caption, r.style);
    Settle();
    EXPECT_TRUE(TakeMessageBoxes().empty()) << "more than the refusal was shown";
    EXPECT_TRUE(WaitFor([&] { return PageIdle(page); }));
    // A run that started ends asking for a disk, as after a format.
    EXPECT_EQ(Text(page, IDC_STD_STATUS), r.volumeHeld ? Expected(kStdSelectDisk) : warning);
    EXPECT_EQ(SimOpenHandleCount(), 0);
    for (int disk = 1; disk <= 4; ++disk) EXPECT_EQ(SimStats(disk).writeCalls, 0u) << "disk " << disk;
    EXPECT_EQ(SimClassInstallCalls().size(), 0u) << "a device was restarted";
  }
  SimFailOpen(kStick, 0);
  SimHoldVolume('E', false);
  SimSetVistaVolumeRule(false);

  SelectListEntry(page, IDC_STD_DISK_LIST, 3);
  std::string small = ListedDisk(3).description;
  ChooseFormat(page, FloppyKind::k720K, kDosNone);
  ExpectBox(RunFormat(page), Expected(kStdFormatDone, small.c_str()), kCaption, MB_ICONINFORMATION);
  EXPECT_EQ(GetLe16(SimReadRaw(4, 0, 1).data() + bpb::kTotalSectors16), 1440);
}

// A format caught mid-run, three times over. During the first the list is off, the start button is the Stop
// button, the options stay usable, and the sheet does not close (OK, the close box) until the run has ended
// (screenshots before, during and after). The second is stopped by the start button before its first write. In the
// third the stick is pulled: the failure names it although the list lost it, and the page is idle again. With no
// disk the button only says so; an arrival that brings three disks selects the last of them, and removing the
// selected disk moves the selection onto the new last line.
TEST_F(GuiTest, StandardPageDuringAFormatItsStopAPulledStickAndTheListAfterDeviceEvents) {
  HWND page = OpenPage(0), sheet = Sheet();
  ASSERT_TRUE(page);
  SelectListEntry(page, IDC_STD_DISK_LIST, 0);
  const std::string description = ListedDisk(0).description;
  EXPECT_TRUE(Screenshot(sheet, "standard-before-format"));
  {
    WorkerPause pause;
    AnswerMessageBoxes({IDOK});
    ClickStart(page);
    EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(kStdFormatting, description.c_str()));
    EXPECT_EQ(Text(page, IDC_STD_START), Expected(kRunStopButton)) << "the start button stops the run";
    EXPECT_FALSE(IsEnabled(page, IDC_STD_DISK_LIST));
    for (int id : {IDC_STD_720K, IDC_STD_1200K, IDC_STD_1440K, IDC_STD_DOS_BOOT}) EXPECT_TRUE(IsEnabled(page, id));
    EXPECT_TRUE(Screenshot(sheet, "standard-during-format"));
    SwitchTab(2);
    PressSheetButton(IDOK);
    EXPECT_TRUE(ProgramRunning() && IsWindowVisible(sheet)) << "OK closed the sheet during a format";
    EXPECT_EQ(CurrentTab(), 0) << "the sheet should show the page that is formatting";
    PressCloseBox(sheet);
    EXPECT_TRUE(ProgramRunning() && IsWindowVisible(sheet)) << "the close box closed the sheet during a format";
  }
  ExpectBox(WaitForMessageBox(), Expected(kStdFormatDone, description.c_str()), kCaption, MB_ICONINFORMATION);
  WaitForIdle(page);
  EXPECT_TRUE(Screenshot(sheet, "standard-after-format"));

  SimResetStats(kStick);
  {
    WorkerPause pause;
    AnswerMessageBoxes({IDOK});
    ClickStart(page);
    ClickButton(page, IDC_STD_START);
    EXPECT_EQ(Text(page, IDC_STD_START), Expected(kRunStoppingButton));
    EXPECT_FALSE(IsEnabled(page, IDC_STD_START));
  }
  ExpectBox(WaitForMessageBox(), Expected(kStdFormatStopped), Expected(kStdFormatCaption), MB_ICONERROR);
  WaitForIdle(page);
  EXPECT_EQ(SimStats(kStick).sectorsWritten, 0u) << "the run was stopped before its first write";

  const std::string formatted = ListedDisk(0).description;
  {
    WorkerPause pause;
    AnswerMessageBoxes({IDOK});
    ClickStart(page);
    EXPECT_FALSE(PageIdle(page));
    OnUiThread([] { SimRemoveDisk(kStick); });
  }
  ExpectBox(WaitForMessageBox(), Expected(kStdFormatFailed, formatted.c_str()), kCaption, MB_ICONINFORMATION);
  WaitForIdle(page);
  EXPECT_TRUE(ListEntries(page, IDC_STD_DISK_LIST).empty());
  EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(kStdSelectDisk));
  EXPECT_EQ(Text(page, IDC_STD_START), Expected(kStdBeginButton));
  EXPECT_EQ(SimOpenHandleCount(), 0);

  ClickButton(page, IDC_STD_START);
  ExpectBox(WaitForMessageBox(), Expected(kStdNoDiskSelected), Expected(kStdFormatCaption), MB_ICONERROR);
  Settle();
  EXPECT_TRUE(TakeMessageBoxes().empty()) << "no confirmation may follow";
  for (int disk = 2; disk <= 4; ++disk) ASSERT_TRUE(SimAddDisk(SimStick(disk, static_cast<char>('D' + disk), 4096)));
  SimInsertDisk(2);  // one arrival event for all three
  Settle();
  ASSERT_EQ(ListEntries(page, IDC_STD_DISK_LIST).size(), 3u);
  EXPECT_EQ(ListSelection(page, IDC_STD_DISK_LIST), 2);
  SimRemoveDisk(4);
  Settle();
  std::vector<std::string> lines = ListEntries(page, IDC_STD_DISK_LIST);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].rfind("3.", 0), 0u) << lines[1];
  EXPECT_EQ(ListSelection(page, IDC_STD_DISK_LIST), 1);
  PressSheetButton(IDOK);
  EXPECT_EQ(WaitForProgramExit(), 0);
}
