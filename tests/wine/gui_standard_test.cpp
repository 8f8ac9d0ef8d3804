// The standard edition page end to end over the simulated machine: every kind plain and bootable, the refusals, a
// disk pulled in the middle of a format, the list after device events, closing the sheet during a format, and
// screenshots of a run.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ui/resource_ids.h"
#include "app/simhost/simhost.h"
#include "boot/boot_programs.h"
#include "fat/fat.h"
#include "floppy/floppy.h"
#include "gui_harness.h"
#include "pages/standard_texts.h"
#include "sys/sim/machine.h"
#include "sys/sim/sim.h"

using namespace gui;

namespace {

constexpr int kStick = 1;  // the fixture's 64 MiB stick, E:
const int kKindButtons[kFloppyKindCount] = {IDC_STD_720K, IDC_STD_1200K, IDC_STD_1440K};
const char kCaption[] = "Format usb disk";  // the completion's caption, in both languages

// The volume texts at the end of the page's list line `index` ("1.Generic Flash Disk(64.0MB\512B): E:(...) "):
// what the page's %s texts show.
std::string DescriptionOnLine(HWND page, int index) {
  std::vector<std::string> lines = ListEntries(page, IDC_STD_DISK_LIST);
  if (index >= static_cast<int>(lines.size())) return "(no line " + std::to_string(index) + ")";
  const std::string& line = lines[static_cast<size_t>(index)];
  size_t at = line.find("): ");
  return at == std::string::npos ? "(no volume texts in " + line + ")" : line.substr(at + 3);
}

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

// A folder of its own under the test program's, made the simulated machine's current directory.
std::string WorkDirectory() {
  std::string dir = ProgramDirectory() + "\\standard-page";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

// Small system files whose sizes differ, so that a file copied in the wrong place shows.
std::vector<uint8_t> SysFileBytes(DosVersion dos, int index) {
  static const size_t kSizes[2][3] = {{3000, 700, 5000}, {4100, 900, 6100}};
  int version = dos == kDos622 ? 0 : 1;
  std::vector<uint8_t> bytes(kSizes[version][index]);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((i * 7 + index * 31 + version) % 251);
  return bytes;
}

bool WriteHostFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return file && std::fclose(file) == 0 && written;
}

void UseTestSysFiles() {
  std::string dir = WorkDirectory();
  CreateDirectoryA((dir + "\\SysFile").c_str(), nullptr);
  for (DosVersion dos : {kDos622, kDos71})
    for (int index = 0; index < 3; ++index) {
      std::string path = dir + "\\SysFile\\OS" + (dos == kDos622 ? "6" : "7") + static_cast<char>('A' + index);
      ASSERT_TRUE(WriteHostFile(path, SysFileBytes(dos, index))) << path;
    }
  SimSetCurrentDirectory(dir);
}

// The stick holds one complete image of `kind` at sector 0: its BPB, the boot program of the DOS version, both
// FATs started, and either an empty root directory or the three system files first, stored from cluster 2 on.
void ExpectFloppyOnStick(FloppyKind kind, DosVersion dos) {
  const FloppyGeometry& g = GeometryOf(kind);
  std::vector<uint8_t> image = SimReadRaw(kStick, 0, g.totalSectors);
  ASSERT_EQ(image.size(), size_t{g.totalSectors} * 512);
  uint8_t expected[512];
  BuildFloppyDbr(kind, "", dos, expected);
  EXPECT_EQ(std::memcmp(image.data(), expected, 512), 0) << "not the boot record of this kind and DOS version";
  for (int fat = 0; fat < 2; ++fat) {
    const uint8_t* entries = &image[512 * (1 + fat * g.sectorsPerFat)];
    EXPECT_EQ(std::vector<uint8_t>(entries, entries + 3), (std::vector<uint8_t>{g.media, 0xFF, 0xFF})) << fat;
  }
  const uint8_t* root = &image[512 * FirstRootSector(kind)];
  if (dos == kDosNone) {
    EXPECT_EQ(root[0], 0) << "a plain image has an empty root directory (no label, no files)";
    return;
  }
  static const char* const kNames[] = {"IO      SYS", "MSDOS   SYS", "COMMAND COM"};
  const uint32_t clusterBytes = 512u * g.sectorsPerCluster;
  for (uint32_t index = 0, cluster = 2; index < 3; ++index) {
    const uint8_t* entry = root + 32 * index;
    std::vector<uint8_t> source = SysFileBytes(dos, static_cast<int>(index));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry), 11), kNames[index]);
    EXPECT_EQ(GetLe32(entry + 28), source.size()) << kNames[index];
    EXPECT_EQ(GetLe16(entry + 26), cluster) << kNames[index];
    size_t at = 512 * (FirstDataSector(kind) + size_t{cluster - 2} * g.sectorsPerCluster);
    ASSERT_LE(at + source.size(), image.size());
    EXPECT_EQ(std::memcmp(&image[at], source.data(), source.size()), 0) << kNames[index] << " content";
    cluster += static_cast<uint32_t>((source.size() + clusterBytes - 1) / clusterBytes);
  }
}

// --- fsck.fat on the Linux side ------------------------------------------------------------------------------

std::string UnixPath(const std::string& windowsPath) {
  typedef char*(CDECL * UnixFileName)(const wchar_t*);
  auto toUnix = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring wide(windowsPath.begin(), windowsPath.end());
  char* unix = toUnix ? toUnix(wide.c_str()) : nullptr;
  std::string path = unix ? unix : "";
  if (unix) HeapFree(GetProcessHeap(), 0, unix);
  return path;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char buffer[4096];
  text->clear();
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text->append(buffer, got);
  std::fclose(file);
  return true;
}

// Writes the stick's first `sectors` to <work dir>\<name>.img (left there for a look) and runs `fsck.fat -n` on it.
// Wine starts Linux programs but does not wait for them, so the shell moves the report into place once fsck.fat
// has finished. "(not installed)" without fsck.fat, else its report; a failure to run it fails the test.
std::string FsckStickImage(const std::string& name, uint32_t sectors) {
  std::string base = WorkDirectory() + "\\" + name, output;
  EXPECT_TRUE(WriteHostFile(base + ".img", SimReadRaw(kStick, 0, sectors))) << base;
  if (GetFileAttributesA("Z:\\usr\\sbin\\fsck.fat") == INVALID_FILE_ATTRIBUTES) return "(not installed)";
  DeleteFileA((base + ".fsck").c_str());
  std::string img = UnixPath(base + ".img"), out = UnixPath(base + ".fsck");
  std::string command = "/bin/sh -c \"/usr/sbin/fsck.fat -n '" + img + "' >'" + out + ".tmp' 2>&1; mv '" + out +
                        ".tmp' '" + out + "'\"";
  STARTUPINFOA startup = STARTUPINFOA();
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = PROCESS_INFORMATION();
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ADD_FAILURE() << "cannot start /bin/sh: error " << GetLastError();
    return "";
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(base + ".fsck", &output); }, 30000)) << "fsck.fat did not finish";
  return output;
}

// What fsck.fat says beyond its banner and summary. Its one complaint about these images is the DBR's label
// field of 11 blanks (no label), which fsck.fat 4.2 reads as an invalid label; the 1.2M DBR says NO NAME.
std::string FsckRemarks(const std::string& output, FloppyKind kind) {
  std::string remarks;
  for (size_t start = 0, end; start < output.size(); start = end + 1) {
    end = std::min(output.find('\n', start), output.size());
    std::string line = output.substr(start, end - start);
    bool banner = line.empty() || line.rfind("fsck.fat ", 0) == 0 || line == "Leaving filesystem unchanged." ||
                  line.find(" clusters") != std::string::npos;
    bool blankLabel = kind != FloppyKind::k1200K && (line == "Label '' stored in boot sector is not valid." ||
                                                     line == "  Auto-removing label from boot sector.");
    if (!banner && !blankLabel) remarks += line + "\n";
  }
  return remarks;
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

// Every kind, plain and with each DOS version: the image on the stick, fsck.fat on it, the device restarted once,
// nothing written past the image, and the page's texts through the run.
TEST_F(GuiTest, StandardPageFormatsEveryKindPlainAndBootable) {
  UseTestSysFiles();
  ASSERT_TRUE(StartProgram());
  HWND page = Page(0);
  const TextPair* kindHints[] = {&kStd720KHint, &kStd1200KHint, &kStd1440KHint};
  for (int k = 0; k < kFloppyKindCount; ++k)
    for (DosVersion dos : {kDosNone, kDos622, kDos71}) {
      FloppyKind kind = static_cast<FloppyKind>(k);
      std::string name = std::string("standard-") + FloppyKindName(kind) +
                         (dos == kDosNone ? "" : dos == kDos622 ? "-dos622" : "-dos71");
      SCOPED_TRACE(name);
      const uint32_t total = GeometryOf(kind).totalSectors;
      SimWriteRaw(kStick, 0, std::vector<uint8_t>(size_t{total} * 512 + 512 * 8, 0xCC));
      SimResetStats(kStick);
      std::string before = DescriptionOnLine(page, 0);

      SelectListEntry(page, IDC_STD_DISK_LIST, 0);
      EXPECT_EQ(Text(page, IDC_STD_START), Expected(kStdReadyButton, before.c_str()));
      EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(kStdDiskWarning, before.c_str()));
      ChooseFormat(page, kind, dos);
      EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(*kindHints[k]));

      ExpectBox(RunFormat(page), Expected(kStdFormatDone, before.c_str()), kCaption, MB_ICONINFORMATION);
      EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(kStdSelectDisk));
      EXPECT_EQ(ListSelection(page, IDC_STD_DISK_LIST), 0);
      EXPECT_EQ(Text(page, IDC_STD_START), Expected(kStdBeginDiskButton, DescriptionOnLine(page, 0).c_str()));

      ExpectFloppyOnStick(kind, dos);
      SimDiskStats stats = SimStats(kStick);
      EXPECT_EQ(stats.lowestSectorWritten, 0u);
      EXPECT_LT(stats.highestSectorWritten, total) << "written past the image";
      EXPECT_EQ(SimReadRaw(kStick, total, 1)[0], 0xCC) << "the sector after the image changed";
      EXPECT_EQ(stats.restarts, 1u) << "the stick's device was not restarted";
      EXPECT_EQ(SimOpenHandleCount(), 0);
      std::string fsck = FsckStickImage(name + "-" + LanguageTag(), total);
      if (fsck == "(not installed)") {
        std::printf("fsck.fat is not installed: only the layout was checked\n");
        continue;
      }
      EXPECT_EQ(FsckRemarks(fsck, kind), "") << fsck;
      EXPECT_NE(fsck.find(dos == kDosNone ? ": 0 files, " : ": 3 files, "), std::string::npos) << fsck;
    }
}

// Each refusal shows its own message, writes nothing to any disk, leaves no handle open and the page idle. A stick
// too small for 1.44M still takes a 720K image.
TEST_F(GuiTest, StandardPageRefusalsLeaveEveryDiskUntouched) {
  SimDiskSpec bigSectors = Stick(2, 'F', 32768), noCapacity = Stick(3, 'G', 131072);
  bigSectors.sectorSize = 2048;
  noCapacity.refusesScsiPassThrough = true;
  ASSERT_TRUE(SimAddDisk(bigSectors) && SimAddDisk(noCapacity) && SimAddDisk(Stick(4, 'H', 2000)));
  ASSERT_TRUE(StartProgram());
  HWND page = Page(0);
  ASSERT_EQ(ListEntries(page, IDC_STD_DISK_LIST).size(), 4u);

  const std::string formatCaption = Expected(kStdFormatCaption);
  const struct {
    const char* name;
    int entry;
    uint32_t openError;  // the stick's open fails with it (0: opens)
    int answer;          // to the confirmation
    std::string text, caption;
    UINT style;
  } refusals[] = {
      {"cancelled", 0, 0, IDCANCEL, "", "", 0},
      {"in use", 0, kSysErrorSharingViolation, IDOK, Expected(kStdDiskInUse), formatCaption, MB_ICONERROR},
      {"not there", 0, kSysErrorFileNotFound, IDOK, Expected(kStdOpenFailed), formatCaption,
       MB_RETRYCANCEL | MB_ICONERROR},
      {"2048-byte sectors", 1, 0, IDOK, Expected(kStdSectorTooLarge, 2048), kCaption, MB_ICONERROR},
      {"no capacity", 2, 0, IDOK, Expected(kStdNoCapacity), formatCaption, MB_ICONERROR},
      {"smaller than 1.44M", 3, 0, IDOK, Expected(kStdTooSmall), formatCaption, MB_ICONERROR},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.name);
    SimFailOpen(kStick, r.openError);
    SelectListEntry(page, IDC_STD_DISK_LIST, r.entry);
    std::string warning = Text(page, IDC_STD_STATUS);
    AnswerMessageBoxes({r.answer});
    if (r.style == (MB_RETRYCANCEL | MB_ICONERROR)) AnswerMessageBoxes({IDRETRY});  // retrying tries nothing
    ClickStart(page);
    if (r.style) ExpectBox(WaitForMessageBox(), r.text, r.caption, r.style);
    Settle();
    EXPECT_TRUE(TakeMessageBoxes().empty()) << "more than the refusal was shown";
    EXPECT_TRUE(PageIdle(page));
    EXPECT_EQ(Text(page, IDC_STD_STATUS), warning);
    EXPECT_EQ(SimOpenHandleCount(), 0);
    for (int disk = 1; disk <= 4; ++disk) EXPECT_EQ(SimStats(disk).writeCalls, 0u) << "disk " << disk;
    EXPECT_EQ(SimClassInstallCalls().size(), 0u) << "a device was restarted";
  }
  SimFailOpen(kStick, 0);

  SelectListEntry(page, IDC_STD_DISK_LIST, 3);
  std::string small = DescriptionOnLine(page, 3);
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
  ASSERT_TRUE(StartProgram());
  HWND page = Page(0), sheet = Sheet();
  SelectListEntry(page, IDC_STD_DISK_LIST, 0);
  const std::string description = DescriptionOnLine(page, 0);
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
    EXPECT_EQ(Text(page, IDC_STD_STATUS), Expected(kStdFormatting, description.c_str()));
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

  const std::string formatted = DescriptionOnLine(page, 0);
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
  for (int disk = 2; disk <= 4; ++disk) ASSERT_TRUE(SimAddDisk(Stick(disk, static_cast<char>('D' + disk), 4096)));
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

// On a machine that refuses writes into mounted, unlocked volumes (Windows Vista and later) the format holds the
// stick's volume for the run and gives it back; a volume another program holds ends the run with the in-use
// message and the stick untouched.
TEST_F(GuiTest, StandardPageHoldsTheVolumeForTheFormatAndRefusesOneInUse) {
  SimSetVistaVolumeRule(true);
  ASSERT_TRUE(StartProgram());
  HWND page = Page(0);
  SelectListEntry(page, IDC_STD_DISK_LIST, 0);
  ExpectBox(RunFormat(page), Expected(kStdFormatDone, DescriptionOnLine(page, 0).c_str()), kCaption,
            MB_ICONINFORMATION);
  ExpectFloppyOnStick(FloppyKind::k1440K, kDosNone);
  EXPECT_FALSE(SimVolumeLocked('E'));
  EXPECT_TRUE(SimVolumeMounted('E'));

  SimHoldVolume('E', true);
  SimWriteRaw(kStick, 0, std::vector<uint8_t>(512, 0xCC));
  SimResetStats(kStick);
  SelectListEntry(page, IDC_STD_DISK_LIST, 0);
  ExpectBox(RunFormat(page), Expected(kStdDiskInUse), Expected(kStdFormatCaption), MB_ICONERROR);
  EXPECT_EQ(SimStats(kStick).writeCalls + SimStats(kStick).restarts, 0u);
  EXPECT_EQ(SimReadRaw(kStick, 0, 1)[0], 0xCC);
  EXPECT_FALSE(SimVolumeLocked('E'));
  EXPECT_EQ(SimOpenHandleCount(), 0);
}
