// The enhanced page's files dialog under Wine, over the simulated machine: without the multi-floppy service (any
// formatted block, chosen in the dialog) and with it (the presented block). Files are added from the file dialog,
// with a short name asked for a long one, and dropped from Explorer; extracted, deleted, a folder made; a disk that
// another program holds changes nothing. Runs once in English and once in Chinese (LANG).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "disk/queries.h"
#include "disk/sectorio.h"
#include "fatfiles/fatfiles.h"
#include "words/texts.h"
#include "floppy/floppy.h"
#include "gui_harness.h"
#include "pages/files_dialog.h"
#include "pages/files_texts.h"
#include "sys/sim/sim.h"
#include "ui/resource_ids.h"

using namespace gui;

namespace {

// Three formatted 1.44M blocks on the stick, and block 2 holding OLD.TXT.
void LayBlocks() {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  for (uint32_t n = 0; n < 3; ++n)
    ASSERT_TRUE(WriteFloppyImage(disk.get(), n * kBlock144, FloppyKind::k1440K, ("FLPPY" + std::to_string(n)).c_str(),
                                 kDosNone).Succeeded());
  ASSERT_TRUE(AddFatFiles(disk.get(), 2 * kBlock144, "", {{"OLD.TXT", {'o', 'l', 'd'}, std::nullopt}}, false).ok());
}

// The files of block n as the file layer reads them from the disk's bytes.
std::vector<std::string> FilesOf(uint32_t block) {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  std::vector<FatFileEntry> entries;
  EXPECT_TRUE(ListFatDirectory(disk.get(), block * kBlock144, "", &entries).ok());
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

// The list's rows: name and size columns joined by '|'.
std::vector<std::string> Rows(HWND dialog) {
  std::vector<std::string> rows;
  OnUiThread([&] {
    HWND list = GetDlgItem(dialog, IDC_FILES_LIST);
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
    HWND list = GetDlgItem(dialog, IDC_FILES_LIST);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    for (int r : rows) ListView_SetItemState(list, r, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  });
}

HWND OpenFilesDialog() {
  if (!OpenPage(1)) return nullptr;
  Screenshot(Sheet(), "enhanced-files-button");
  ClickButton(CurrentPage(), IDC_ENH_FILES);
  return WaitForDialog();
}

TEST_F(GuiTest, FilesOfAnyBlockWithoutTheService) {
  LayBlocks();
  ScratchFolder host("korvane-files");
  const std::wstring design = WriteHostFile(host / "design.dst", std::string(3000, 'd'));
  const std::wstring spring = WriteHostFile(host / "Spring pattern.dst", "spring");
  const std::wstring chinese = WriteHostFile(host / "花样设计图案.dst", "flower");
  SetFilePickersForTesting([&] { return std::vector<std::wstring>{design, spring}; },
                           [&] { return Utf8ToWide(host.dir.c_str()); });
  HWND dialog = OpenFilesDialog();
  ASSERT_TRUE(dialog);
  EXPECT_FALSE(IsReachable(Sheet())) << "the dialog is not modal";
  EXPECT_EQ(ComboEntries(dialog, IDC_FILES_BLOCK), (std::vector<std::string>{"0: FLPPY0", "1: FLPPY1", "2: FLPPY2"}));
  EXPECT_TRUE(Rows(dialog).empty());
  SelectComboEntry(dialog, IDC_FILES_BLOCK, 2);
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"OLD.TXT|3"}));
  EXPECT_NE(Text(dialog).find("FLPPY2"), std::string::npos);

  // Add...: design.dst goes in as it is; the long name asks for a short one, offered from the name itself.
  ClickButton(dialog, IDC_FILES_ADD);
  EXPECT_EQ(AnswerNameDialog(dialog, "spring.dst", "files-short-name"), "SPRINGPA.DST");
  EXPECT_EQ(FilesOf(2), (std::vector<std::string>{"OLD.TXT", "DESIGN.DST", "SPRING.DST"}));
  EXPECT_EQ(FileOf(2, "SPRING.DST"), (std::vector<uint8_t>{'s', 'p', 'r', 'i', 'n', 'g'}));
  EXPECT_EQ(Rows(dialog).at(1), "DESIGN.DST|3,000");
  EXPECT_EQ(FilesOf(1), std::vector<std::string>{}) << "another block changed";

  // Dropped from Explorer: six Chinese characters are no 8.3 name in any code page; cancelling the question adds
  // nothing.
  DropFiles(dialog, {chinese});
  AnswerNameDialog(dialog, nullptr);
  EXPECT_EQ(FilesOf(2).size(), 3u);
  // Dropping a file that is there already asks before it is replaced.
  AnswerMessageBoxes({IDYES});
  DropFiles(dialog, {design});
  EXPECT_EQ(WaitForMessageBox().text, Expected(kFilesReplace, "DESIGN.DST"));
  EXPECT_EQ(FilesOf(2).size(), 3u);

  // New folder, then into it and back.
  ClickButton(dialog, IDC_FILES_NEW_FOLDER);
  AnswerNameDialog(dialog, "work");
  EXPECT_EQ(FilesOf(2).back(), "WORK");
  EXPECT_EQ(Rows(dialog).back(), "WORK|" + Expected(kFilesFolderSize));
  Screenshot(dialog, "files-dialog");

  // Extract...: OLD.TXT lands in the folder picked; Delete asks and deletes.
  SelectRows(dialog, {0});
  AnswerMessageBoxes({IDOK});
  ClickButton(dialog, IDC_FILES_EXTRACT);
  MessageBoxRecord box = WaitForMessageBox();
  EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(ReadHostFile(host / "OLD.TXT"), (std::vector<uint8_t>{'o', 'l', 'd'}));
  SelectRows(dialog, {0, 1});
  AnswerMessageBoxes({IDOK});
  ClickButton(dialog, IDC_FILES_DELETE);
  EXPECT_EQ(WaitForMessageBox().text, Expected(kFilesConfirmDelete, "OLD.TXT, DESIGN.DST"));
  EXPECT_EQ(FilesOf(2), (std::vector<std::string>{"SPRING.DST", "WORK"}));
  EXPECT_NE(Text(dialog, IDC_FILES_FREE).find("1,45"), std::string::npos);

  // A disk that another program holds: the change is refused and nothing is written.
  SimHoldVolume('E', true);
  std::vector<uint8_t> before = SimReadRaw(kStick, 2 * kBlock144, 2880);
  SelectRows(dialog, {0});
  AnswerMessageBoxes({IDOK, IDOK});
  ClickButton(dialog, IDC_FILES_DELETE);
  WaitForMessageBox();
  EXPECT_EQ(WaitForMessageBox().text, Expected(kFilesInUse));
  EXPECT_EQ(SimReadRaw(kStick, 2 * kBlock144, 2880), before);
  SimHoldVolume('E', false);

  // 花样.dst is an 8.3 name in the OEM code page of Chinese Windows (936) and goes in as its bytes; the code pages
  // without these characters ask for a short name.
  const std::wstring flower = WriteHostFile(host / "花样.dst", "flower");
  DropFiles(dialog, {flower});
  if (SysGetOemCodePage() == 936) {
    Settle();
    const std::vector<std::string> files = FilesOf(2), rows = Rows(dialog);
    EXPECT_NE(std::find(files.begin(), files.end(), "\xBB\xA8\xD1\xF9.DST"), files.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(), "花样.DST|6"), rows.end());
  } else {
    AnswerNameDialog(dialog, nullptr);
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
  std::vector<std::string> blocks = ComboEntries(dialog, IDC_FILES_BLOCK);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].substr(0, 3), "2: ");
  EXPECT_FALSE(IsEnabled(dialog, IDC_FILES_BLOCK));
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"OLD.TXT|3"}));
  SelectRows(dialog, {0});
  AnswerMessageBoxes({IDOK});
  ClickButton(dialog, IDC_FILES_DELETE);
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
