// The simulated Windows program: its machine file, and Korvane-sim.exe run as a process. (Its device events reach
// the pages as WM_DEVICECHANGE in every GUI test that adds or removes a disk.)
#include <windows.h>
#include <prsht.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/gui/gui_texts.h"
#include "ui/wintext.h"
#include "app/simhost/machine_file.h"
#include "pages/service_texts.h"
#include "gui_harness.h"
#include "sys/sim/sim.h"

using namespace gui;

namespace {

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Korvane-sim.exe copied into a scratch directory and started there, so that what it creates stays there.
struct SimProgram {
  PROCESS_INFORMATION process = PROCESS_INFORMATION();
  bool Start(const ScratchFolder& dir) {
    const char* built = std::getenv("KORVANE_SIM_EXE");
    const std::string from = WindowsPath(built ? built : ""), exe = dir / "Korvane-sim.exe";
    if (!built || !CopyFileA(from.c_str(), exe.c_str(), FALSE)) {
      ADD_FAILURE() << "cannot copy $KORVANE_SIM_EXE (" << (built ? built : "not set") << ")";
      return false;
    }
    // The build puts the filter driver beside the program; so does this copy.
    const std::string driver = from.substr(0, from.find_last_of("\\/") + 1) + "Dunmarle.sys";
    CopyFileA(driver.c_str(), (dir / "Dunmarle.sys").c_str(), FALSE);
    STARTUPINFOA startup = STARTUPINFOA();
    startup.cb = sizeof startup;
    std::string command = "\"" + exe + "\"";
    return CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.dir.c_str(), &startup,
                          &process) != FALSE;
  }
  ~SimProgram() {
    if (!process.hProcess) return;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  // A visible dialog of the process with this title (the sheet or a message box).
  HWND WaitForWindow(const std::string& title) {
    HWND found = nullptr;
    WaitFor([&] {
      DWORD pid = 0;
      found = FindWindowW(L"#32770", Utf8ToWide(title.c_str()).c_str());
      return found && GetWindowThreadProcessId(found, &pid) && pid == process.dwProcessId && IsWindowVisible(found);
    }, 60000);
    return found;
  }
  int WaitForExit() {
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
  }
};

// A disk as one line: number, bus, vendor and product (- when absent), sector size and count, real sectors, image
// (+ when created) and volumes letter@start+count.
std::string Describe(const SimDiskSpec& d) {
  std::string line = std::to_string(d.number) + " " + std::to_string(d.busType) + " [" +
                     (d.hasVendor ? d.vendor : "-") + "][" + (d.hasProduct ? d.product : "-") + "] " +
                     std::to_string(d.sectorSize) + " " + std::to_string(d.sectorCount) + " " +
                     std::to_string(d.realSectors) + " " + d.imagePath + (d.createImage ? "+" : "");
  for (const SimVolumeSpec& v : d.volumes)
    line += std::string(" ") + v.letter + "@" + std::to_string(v.startSector) + "+" + std::to_string(v.sectorCount);
  return line;
}

}  // namespace

TEST(SimMachineFile, ReadsDisksWithQuotedNamesVolumesImagesAndComments) {
  const std::string text =
      "# the machine\r\n"
      "disk 0 ata - \"SIM SYSTEM DISK\" 512 16384 memory C   # system disk\r\n"
      "\r\n"
      "disk 1 usb \"Generic \" \" Flash Disk\" 512 524288 stick.img E\r\n"
      "disk 2 scsi \"Kingston\" - 2048 0 D:\\images\\big.img f@63+2880,G@4096\n"
      "vista\n"
      "codepage 936\n"
      "hold e\n"
      "fail writes 1 100 8\n"
      "fail reads 2 4096\n"
      "short 1\n"
      "pull 1 30\n"
      "real 1 262144\n";
  std::vector<SimDiskSpec> disks;
  std::string error;
  SimMachineRules rules;
  ASSERT_TRUE(ParseSimMachine(text, "C:\\sim", &disks, &error, &rules)) << error;
  ASSERT_EQ(disks.size(), 3u);
  // A stick that wraps at half its claimed size; size 0 takes the existing image as it is.
  const std::string expected[] = {
      std::to_string(kSimBusAta) + " [-][SIM SYSTEM DISK] 512 16384 0  C@0+0",
      std::to_string(kSimBusUsb) + " [Generic ][ Flash Disk] 512 524288 262144 C:\\sim\\stick.img+ E@0+0",
      std::to_string(kSimBusScsi) + " [Kingston][-] 2048 0 0 D:\\images\\big.img F@63+2880 G@4096+0"};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Describe(disks[i]), std::to_string(i) + " " + expected[i]);
  EXPECT_TRUE(rules.vista);
  EXPECT_EQ(rules.oemCodePage, 936u);
  EXPECT_EQ(rules.heldVolumes, "E");
  std::string faults;  // without a count every sector from the first fails
  for (const SimMachineFault& f : rules.faults)
    faults += std::to_string(f.kind) + " " + std::to_string(f.disk) + " " + std::to_string(f.first) + " " +
              std::to_string(f.count) + ", ";
  EXPECT_EQ(faults, "0 1 100 8, 1 2 4096 18446744073709551615, 2 1 0 18446744073709551615, 3 1 30 "
                    "18446744073709551615, ");
}

TEST(SimMachineFile, FaultsNameTheirLine) {
  const char* const cases[][2] = {
      {"disk 1 usb a b 512 100 memory E\ndisk 2 firewire a b 512 100 memory F", "line 2: unknown bus \"firewire\""},
      {"disk 1 usb \"Generic  512 100 memory E", "line 1: unterminated quote"},
      {"disk 1 usb a b 512 100 memory", "line 1: a disk takes 8 fields after \"disk\", found 7"},
      {"disc 1 usb a b 512 100 memory E", "line 1: expected \"disk\", found \"disc\""},
      {"fail erases 1 100", "line 1: fail takes writes or reads"},
      {"fail writes 1 x", "line 1: bad number \"x\""},
      {"pull 1", "line 1: a pull line takes a disk number and a count"},
      {"real 1 0", "line 1: real takes a disk number and a sector count"},
      {"codepage gbk", "line 1: codepage takes a code page number such as 437 or 936"},
      {"real 3 100", "real: no disk 3"},
      {"disk 1 usb a b 500 100 memory E", "line 1: bad sector size \"500\""},
      {"disk 1 usb a b 512 0 memory E", "line 1: a memory disk needs a size between 1 sector and 1 GiB"},
      {"disk 1 usb a b 512 100 memory E@x", "line 1: bad volume list \"E@x\""},
      {"disk 100 usb a b 512 100 memory E", "line 1: bad disk number \"100\""},
      {"disk 1 usb a b 512 100 memory E\ndisk 1 usb a b 512 100 memory F", "disk 1 is given twice"},
      {"disk 1 usb a b 512 100 memory E\ndisk 2 usb a b 512 100 memory e", "drive letter E: is given twice"},
  };
  for (const auto& c : cases) {
    std::vector<SimDiskSpec> disks;
    std::string error;
    EXPECT_FALSE(ParseSimMachine(c[0], "C:\\sim", &disks, &error)) << c[0];
    EXPECT_EQ(error, c[1]) << c[0];
  }
}

// The simulated program started as the README starts it: no machine file, so the default stick is created beside
// it; it shows the sheet and each of its three pages, and ends with exit code 0 when the user presses OK.
TEST(SimProgram, StartsOnTheDefaultStickAndEndsWithExitCodeZero) {
  ScratchFolder dir("korvane-sim");
  SimProgram program;
  ASSERT_TRUE(program.Start(dir));
  HWND sheet = program.WaitForWindow(kSheetCaption);
  ASSERT_NE(sheet, nullptr) << "the sheet did not come up";
  EXPECT_EQ(FileSize(dir / "Korvane-sim-stick.img"), 256ll << 20);
  EXPECT_NE(GetFileAttributesA((dir / "sim-windows").c_str()), INVALID_FILE_ATTRIBUTES);
  for (int index : {1, 2, 0}) {
    SendMessageW(sheet, PSM_SETCURSEL, index, 0);
    HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    EXPECT_TRUE(page && IsWindowVisible(page) && GetWindow(page, GW_CHILD)) << "page " << index << " is not shown";
  }
  PostMessageW(GetDlgItem(sheet, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0);
}

TEST(SimProgram, ReadsItsMachineFileAndRefusesAFaultyOne) {
  {
    ScratchFolder dir("korvane-sim");
    WriteHostFile(dir / "Korvane-sim.machine", "disk 1 usb \"Kingston\" \"DataTraveler\" 512 4096 stick.img E\n");
    SimProgram program;
    ASSERT_TRUE(program.Start(dir));
    HWND sheet = program.WaitForWindow(kSheetCaption);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(FileSize(dir / "stick.img"), 4096ll * 512);
    EXPECT_EQ(FileSize(dir / "Korvane-sim-stick.img"), -1) << "the default stick was made all the same";
    PostMessageW(sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0);
  }
  {
    ScratchFolder dir("korvane-sim");
    WriteHostFile(dir / "Korvane-sim.machine", "disk 1 usb a b 512 4096 memory E\ndisk 2 usb a b 512 4096\n");
    SimProgram program;
    ASSERT_TRUE(program.Start(dir));
    HWND box = program.WaitForWindow("Korvane-sim");
    ASSERT_NE(box, nullptr) << "no message box about the faulty file";
    EXPECT_NE(GetWindowTextUtf8(GetDlgItem(box, 0xFFFF)).find("Korvane-sim.machine, line 2:"), std::string::npos);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.WaitForExit(), 1);
  }
}

// As scripts/run.sh starts it: the driver the build placed beside the program lets the enhanced page's service
// switch start.
TEST(SimProgram, TheServiceSwitchStartsWithTheBuiltDriverBesideTheProgram) {
  ScratchFolder dir("korvane-sim");
  SimProgram program;
  ASSERT_TRUE(program.Start(dir));
  ASSERT_GT(FileSize(dir / "Dunmarle.sys"), 0) << "no Dunmarle.sys beside Korvane-sim.exe";
  HWND sheet = program.WaitForWindow(kSheetCaption);
  ASSERT_NE(sheet, nullptr);
  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
  HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  ASSERT_NE(page, nullptr);
  PostMessageW(GetDlgItem(page, 1021), BM_CLICK, 0, 0);
  HWND box = program.WaitForWindow(kServiceCaption.en);
  ASSERT_NE(box, nullptr) << "the service run told nothing";
  std::string text = GetWindowTextUtf8(GetDlgItem(box, 0xFFFF));
  EXPECT_TRUE(text.find("**") == 0) << text;  // the started message in either language
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitFor([&] { return IsDlgButtonChecked(page, 1021) == BST_CHECKED; }, 10000));
}
