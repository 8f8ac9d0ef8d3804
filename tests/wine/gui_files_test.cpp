// The enhanced page's files dialog under Wine, over the simulated machine: without the multi-floppy service (any
// formatted block, chosen in the dialog) and with it (the presented block). Files are added from the file dialog,
// with a short name asked for a long one, and dropped from Explorer; extracted, deleted, a folder made; a disk that
// another program holds changes nothing. Runs once in English and once in Chinese (LANG).
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "blocks/blocks.h"
#include "blocks/texts.h"
#include "disk/queries.h"
#include "disk/sectorio.h"
#include "fatfiles/fatfiles.h"
#include "words/texts.h"
#include "floppy/floppy.h"
#include "gui_harness.h"
#include "pages/files_dialog.h"
#include "pages/files_texts.h"
#include "sys/sim/sim.h"

using namespace gui;

namespace {

constexpr int kStick = 1;
constexpr uint32_t kBlock144 = 3072;
constexpr int kFilesButtonId = 1080, kBlockCombo = 1402, kList = 1404, kAdd = 1405, kExtract = 1406,
              kDelete = 1407, kNewFolder = 1408, kFree = 1409, kNameEdit = 1412;

// Three formatted 1.44M blocks on the stick, and block 2 holding OLD.TXT.
void LayBlocks() {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  for (uint32_t n = 0; n < 3; ++n)
    ASSERT_TRUE(WriteFloppyImage(disk.get(), n * kBlock144, FloppyKind::k1440K, ("FLPPY" + std::to_string(n)).c_str(),
                                 kDosNone).Succeeded());
  ASSERT_TRUE(AddFatFiles(disk.get(), 2 * kBlock144, "", {{"OLD.TXT", {'o', 'l', 'd'}, std::nullopt}}, false).ok());
}

// The files of block n as the file layer reads them from the disk's bytes.
std::vector<std::string> FilesOf(uint32_t block, const std::string& folder = "") {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  std::vector<FatFileEntry> entries;
  EXPECT_TRUE(ListFatDirectory(disk.get(), block * kBlock144, folder, &entries).ok());
  std::vector<std::string> names;
  for (const FatFileEntry& e : entries) names.push_back(e.name);
  return names;
}

std::vector<uint8_t> FileOf(uint32_t block, const std::string& path) {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  std::vector<uint8_t> data;
  EXPECT_TRUE(ReadFatFile(disk.get(), block * kBlock144, path, &data).ok()) << path;
  return data;
}

// The list's rows: name, size and date columns joined by '|'.
std::vector<std::string> Rows(HWND dialog) {
  std::vector<std::string> rows;
  OnUiThread([&] {
    HWND list = GetDlgItem(dialog, kList);
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < count; ++r) {
      std::string row;
      for (int c = 0; c < 2; ++c) {
        wchar_t text[128] = {};
        LVITEMW item{};
        item.iSubItem = c;
        item.pszText = text;
        item.cchTextMax = 127;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
        row += (c ? "|" : "") + WideToUtf8(text);
      }
      rows.push_back(row);
    }
  });
  return rows;
}

void SelectRows(HWND dialog, const std::vector<int>& rows) {
  OnUiThread([&] {
    HWND list = GetDlgItem(dialog, kList);
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    for (int r : rows) {
      LVITEMW item{};
      item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
    }
  });
}

std::wstring HostFile(const std::string& dir, const std::string& nameUtf8, const std::string& bytes) {
  std::wstring path = Utf8ToWide((dir + "\\" + nameUtf8).c_str());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return path;
}

std::string ReadHost(const std::string& path) {
  std::string bytes(4096, '\0');
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD got = 0;
  ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  bytes.resize(got);
  return bytes;
}

// Files dropped from Explorer: a WM_DROPFILES with the paths, as the shell sends it.
void Drop(HWND dialog, const std::vector<std::wstring>& paths) {
  size_t chars = 1;
  for (const std::wstring& p : paths) chars += p.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  wchar_t* out = reinterpret_cast<wchar_t*>(drop + 1);
  for (const std::wstring& p : paths) {
    std::memcpy(out, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
    out += p.size() + 1;
  }
  GlobalUnlock(memory);
  PostMessageW(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  Settle();
}

// Answers the name dialog that came up over `dialog`: `name` typed and OK, or Cancel without one.
void AnswerNameDialog(HWND dialog, const char* name) {
  HWND ask = WaitForDialog();
  ASSERT_TRUE(ask && ask != dialog);
  if (name) TypeText(ask, kNameEdit, name);
  ClickButton(ask, name ? IDOK : IDCANCEL);
  ASSERT_TRUE(WaitForWindowGone(ask));
  Settle();
}

HWND OpenFilesDialog() {
  if (!OpenPage(1)) return nullptr;
  Screenshot(Sheet(), "enhanced-files-button");
  ClickButton(CurrentPage(), kFilesButtonId);
  return WaitForDialog();
}

TEST_F(GuiTest, FilesOfAnyBlockWithoutTheService) {
  LayBlocks();
  ScratchFolder host("korvane-files");
  const std::string& dir = host.dir;
  const std::wstring design = HostFile(dir, "design.dst", std::string(3000, 'd'));
  const std::wstring spring = HostFile(dir, "Spring pattern.dst", "spring");
  const std::wstring chinese = HostFile(dir, "花样设计图案.dst", "flower");
  SetFilePickersForTesting([&] { return std::vector<std::wstring>{design, spring}; },
                           [&] { return Utf8ToWide(dir.c_str()); });
  HWND dialog = OpenFilesDialog();
  ASSERT_TRUE(dialog);
  EXPECT_FALSE(IsReachable(Sheet())) << "the dialog is not modal";
  EXPECT_EQ(ComboEntries(dialog, kBlockCombo), (std::vector<std::string>{"0: FLPPY0", "1: FLPPY1", "2: FLPPY2"}));
  EXPECT_TRUE(Rows(dialog).empty());
  SelectComboEntry(dialog, kBlockCombo, 2);
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"OLD.TXT|3"}));
  EXPECT_NE(Text(dialog).find("FLPPY2"), std::string::npos);

  // Add...: design.dst goes in as it is; the long name asks for a short one, offered from the name itself.
  ClickButton(dialog, kAdd);
  HWND ask = WaitForDialog();
  ASSERT_TRUE(ask && ask != dialog);
  EXPECT_EQ(Text(ask, kNameEdit), "SPRINGPA.DST");
  Screenshot(ask, "files-short-name");
  TypeText(ask, kNameEdit, "spring.dst");
  ClickButton(ask, IDOK);
  ASSERT_TRUE(WaitForWindowGone(ask));
  Settle();
  EXPECT_EQ(FilesOf(2), (std::vector<std::string>{"OLD.TXT", "DESIGN.DST", "SPRING.DST"}));
  EXPECT_EQ(FileOf(2, "SPRING.DST"), (std::vector<uint8_t>{'s', 'p', 'r', 'i', 'n', 'g'}));
  EXPECT_EQ(Rows(dialog).at(1), "DESIGN.DST|3,000");
  EXPECT_EQ(FilesOf(1), std::vector<std::string>{}) << "another block changed";

  // Dropped from Explorer: six Chinese characters are no 8.3 name in any code page; cancelling the question adds
  // nothing.
  Drop(dialog, {chinese});
  ASSERT_NO_FATAL_FAILURE(AnswerNameDialog(dialog, nullptr));
  EXPECT_EQ(FilesOf(2).size(), 3u);
  // Dropping a file that is there already asks before it is replaced.
  AnswerMessageBoxes({IDYES});
  Drop(dialog, {design});
  EXPECT_EQ(WaitForMessageBox().text, Expected(kFilesReplace, "DESIGN.DST"));
  EXPECT_EQ(FilesOf(2).size(), 3u);

  // New folder, then into it and back.
  ClickButton(dialog, kNewFolder);
  ASSERT_NO_FATAL_FAILURE(AnswerNameDialog(dialog, "work"));
  EXPECT_EQ(FilesOf(2).back(), "WORK");
  EXPECT_EQ(Rows(dialog).back(), "WORK|" + Expected(kFilesFolderSize));
  Screenshot(dialog, "files-dialog");

  // Extract...: OLD.TXT lands in the folder picked; Delete asks and deletes.
  SelectRows(dialog, {0});
  AnswerMessageBoxes({IDOK});
  ClickButton(dialog, kExtract);
  MessageBoxRecord box = WaitForMessageBox();
  EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(ReadHost(dir + "\\OLD.TXT"), "old");
  SelectRows(dialog, {0, 1});
  AnswerMessageBoxes({IDOK});
  ClickButton(dialog, kDelete);
  EXPECT_EQ(WaitForMessageBox().text, Expected(kFilesConfirmDelete, "OLD.TXT, DESIGN.DST"));
  EXPECT_EQ(FilesOf(2), (std::vector<std::string>{"SPRING.DST", "WORK"}));
  EXPECT_NE(Text(dialog, kFree).find("1,45"), std::string::npos);

  // A disk that another program holds: the change is refused and nothing is written.
  SimHoldVolume('E', true);
  std::vector<uint8_t> before = SimReadRaw(kStick, 2 * kBlock144, 2880);
  SelectRows(dialog, {0});
  AnswerMessageBoxes({IDOK, IDOK});
  ClickButton(dialog, kDelete);
  WaitForMessageBox();
  EXPECT_EQ(WaitForMessageBox().text, Expected(kFilesInUse));
  EXPECT_EQ(SimReadRaw(kStick, 2 * kBlock144, 2880), before);
  SimHoldVolume('E', false);

  // 花样.dst is an 8.3 name in the OEM code page of Chinese Windows (936) and goes in as its bytes; the code pages
  // without these characters ask for a short name.
  const std::wstring flower = HostFile(dir, "花样.dst", "flower");
  Drop(dialog, {flower});
  if (SysGetOemCodePage() == 936) {
    Settle();
    const std::vector<std::string> files = FilesOf(2), rows = Rows(dialog);
    EXPECT_NE(std::find(files.begin(), files.end(), "\xBB\xA8\xD1\xF9.DST"), files.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(), "花样.DST|6"), rows.end());
  } else {
    ASSERT_NO_FATAL_FAILURE(AnswerNameDialog(dialog, nullptr));
  }

  ClickButton(dialog, IDCANCEL);
  ASSERT_TRUE(WaitForWindowGone(dialog));
  SetFilePickersForTesting(nullptr, nullptr);
}

TEST_F(GuiTest, FilesOfThePresentedBlockWithTheService) {
  LayBlocks();
  AttachFilterPresenting(kStick, 2);
  HWND dialog = OpenFilesDialog();
  ASSERT_TRUE(dialog);
  std::vector<std::string> blocks = ComboEntries(dialog, kBlockCombo);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].substr(0, 3), "2: ");
  EXPECT_FALSE(IsEnabled(dialog, kBlockCombo));
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"OLD.TXT|3"}));
  SelectRows(dialog, {0});
  AnswerMessageBoxes({IDOK});
  ClickButton(dialog, kDelete);
  WaitForMessageBox();
  EXPECT_TRUE(Rows(dialog).empty());
  ClickButton(dialog, IDCANCEL);
  ASSERT_TRUE(WaitForWindowGone(dialog));
  EXPECT_EQ(SimFilter(kStick).presentedBlock, 2u);
  // The sheet asks to stop the service on the way out; No ends the program.
  AnswerMessageBoxes({IDNO});
  PressSheetButton(IDCANCEL);
  WaitForMessageBox();
  EXPECT_EQ(WaitForProgramExit(), 0);
  ASSERT_EQ(SelectBlock("physicaldrive1", 0), 1);
  EXPECT_TRUE(FilesOf(2).empty());
}

}  // namespace
