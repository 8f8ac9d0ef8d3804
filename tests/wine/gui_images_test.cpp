// Floppy images into and out of blocks from the enhanced page under Wine, over the simulated machine, with the
// multi-floppy service off and on: a wrong size and a run past the last block refused before any write, a file
// that is no floppy asked about, three files imported in name order from block 5, a range exported back, a file
// dropped on the block list. Runs once in English and once in Chinese (LANG).
#include <windows.h>

#include <string>
#include <vector>

#include "disk/sectorio.h"
#include "floppy/floppy.h"
#include "gui_harness.h"
#include "pages/enhanced_texts.h"
#include "pages/files_dialog.h"
#include "sys/sim/sim.h"
#include "ui/resource_ids.h"
#include "ui/wintext.h"

using namespace gui;

namespace {

constexpr uint32_t kImageSectors = 2880;

std::vector<uint8_t> Block(uint32_t n, uint32_t sectors = kBlock144) {
  return SimReadRaw(kStick, uint64_t{n} * kBlock144, sectors);
}

// Blocks 0 to 7 formatted as FLPPY0..FLPPY7; three images SET1..SET3 (each with its own last sector) and one of
// the right size that is no floppy, as files.
std::vector<std::vector<uint8_t>> LayBlocksAndImages() {
  DeviceHandle disk(OpenDevice("physicaldrive1"));
  auto lay = [&](uint32_t block, const std::string& label) {
    EXPECT_TRUE(
        WriteFloppyImage(disk.get(), block * kBlock144, FloppyKind::k1440K, label.c_str(), kDosNone).Succeeded());
  };
  for (uint32_t n = 0; n < 8; ++n) lay(n, "FLPPY" + std::to_string(n));
  std::vector<std::vector<uint8_t>> images;
  for (int i = 1; i <= 3; ++i) {
    lay(30, "SET" + std::to_string(i));
    images.push_back(Block(30, kImageSectors));
    std::fill(images.back().end() - 512, images.back().end(), static_cast<uint8_t>(0x40 + i));
  }
  images.push_back(std::vector<uint8_t>(kImageSectors * 512, 0x5A));
  return images;
}

// Without the service the page asks for the first block (and an export for the last); the dialog is looked at.
void AnswerBlocks(bool service, const std::string& from, const std::string& to = "") {
  if (service && to.empty()) return;
  HWND ask = WaitForDialog();
  ASSERT_TRUE(ask && ask != Sheet());
  Screenshot(ask, to.empty() ? "images-import-from" : "images-export-range");
  SetEditText(ask, IDC_IMAGE_FROM, from);
  if (!to.empty()) SetEditText(ask, IDC_IMAGE_TO, to);
  ClickButton(ask, IDOK);
  ASSERT_TRUE(WaitForWindowGone(ask));
}

MessageBoxRecord TakeBox(const std::string& expected, const std::string& screenshot) {
  MessageBoxRecord box = WaitForMessageBox();
  EXPECT_EQ(box.text.substr(0, expected.size()), expected);
  if (!screenshot.empty()) ScreenshotMessageBox(box, screenshot);
  return box;
}

// The import run's end: its hold on the page comes and goes.
void WaitForRun(HWND page) {
  Settle();
  EXPECT_TRUE(WaitFor([&] { return IsEnabled(page, IDC_ENH_IMPORT); }));
  Settle();
}

void WalkImages(bool service) {
  const std::vector<std::vector<uint8_t>> images = LayBlocksAndImages();
  if (service) AttachFilterPresenting(kStick, 5);
  ScratchFolder host("korvane-images");
  // Picked in another order than their names'.
  const std::vector<std::wstring> files = {WriteHostFile(host / "c-set3.img", images[2]),
                                           WriteHostFile(host / "a-set1.img", images[0]),
                                           WriteHostFile(host / "b-junk.img", images[3])};
  const std::wstring shortFile = WriteHostFile(host / "short.img", std::vector<uint8_t>(1000, 1));
  CreateDirectoryA((host / "out").c_str(), nullptr);
  const std::wstring exportDir = Utf8ToWide((host / "out").c_str());
  std::vector<std::wstring> picked;
  SetFilePickersForTesting([&] { return picked; }, [&] { return exportDir; });
  HWND page = OpenPage(1);
  ASSERT_TRUE(page);
  if (service) {
    EXPECT_EQ(ComboSelection(page, IDC_ENH_BLOCK_LIST), 5);
  }
  Screenshot(Sheet(), "images-buttons");
  auto blocks4to8 = [] { return SimReadRaw(kStick, 4 * kBlock144, 5 * kBlock144); };
  const std::vector<uint8_t> before = blocks4to8(), block4 = Block(4), block8 = Block(8);

  // Refused before anything is written: a wrong size in the middle, a run past the last block (block 41).
  picked = {files[1], shortFile, files[0]};
  AnswerMessageBoxes({IDOK});
  ClickButton(page, IDC_ENH_IMPORT);
  AnswerBlocks(service, "5");
  TakeBox(Expected(kEnhImageWrongSize, "short.img", "1000", "1.44M", "1474560"), service ? "" : "images-wrong-size");
  if (!service) {
    AnswerMessageBoxes({IDOK});
    DropFiles(Control(page, IDC_ENH_BLOCK_LIST), {files[1], files[0], files[2]});
    AnswerBlocks(service, "40");
    TakeBox(Expected(kEnhImagePastLast, 40u, 3u, 41u, "1.44M"), "images-past-last");
  }
  EXPECT_TRUE(blocks4to8() == before) << "a refused batch wrote";

  // The file that is no floppy: No writes nothing; Yes, then one question for the batch, writes all three.
  picked = files;
  const std::string notFloppy = Expected(kEnhImageNotFloppy, "b-junk.img", "1.44M", 6u);
  AnswerMessageBoxes({IDNO});
  ClickButton(page, IDC_ENH_IMPORT);
  AnswerBlocks(service, "5");
  TakeBox(notFloppy, service ? "" : "images-not-floppy");
  EXPECT_TRUE(blocks4to8() == before) << "No wrote";
  AnswerMessageBoxes({IDYES, IDOK, IDOK});
  ClickButton(page, IDC_ENH_IMPORT);
  AnswerBlocks(service, "5");
  TakeBox(notFloppy, "");
  MessageBoxRecord confirm = TakeBox(Expected(kEnhImportConfirm, 3u, Expected(kEnhBlockRange, 5u, 7u).c_str(),
                                         "FLPPY5, FLPPY6, FLPPY7"),
                                     service ? "" : "images-confirm");
  EXPECT_NE(confirm.text.find(ListEntries(page, IDC_ENH_DISK_LIST).at(0)), std::string::npos) << "the disk";
  TakeBox(Expected(kEnhImportDone, 3u, Expected(kEnhBlockRange, 5u, 7u).c_str()), service ? "" : "images-done");
  WaitForRun(page);
  EXPECT_EQ(Block(5, kImageSectors), images[0]);
  EXPECT_EQ(Block(6, kImageSectors), images[3]);
  EXPECT_EQ(Block(7, kImageSectors), images[2]);
  EXPECT_EQ(Block(4), block4);
  EXPECT_EQ(Block(8), block8);
  if (service) {
    EXPECT_EQ(SimFilter(kStick).presentedBlock, 5u) << "the presented block is presented again";
    EXPECT_EQ(ComboEntries(page, IDC_ENH_BLOCK_LIST).size(), 7u) << "the scan ends at the image that is no floppy";
  }

  // Exported back: 5 to 7 into a folder where 006.img exists (No keeps it); the others byte for byte.
  const std::wstring kept = WriteHostFile(host / "out\\006.img", std::vector<uint8_t>{1, 2, 3});
  AnswerMessageBoxes({IDNO, IDOK});
  ClickButton(page, IDC_ENH_EXPORT);
  AnswerBlocks(service, "5", "7");
  TakeBox(Expected(kEnhExportReplace, WideToUtf8(kept.c_str()).c_str()), service ? "" : "images-export-replace");
  TakeBox(Expected(kEnhExportDone, 2u, WideToUtf8(exportDir.c_str()).c_str()), service ? "" : "images-export-done");
  EXPECT_EQ(ReadHostFile(host / "out\\005-SET1.img"), images[0]);
  EXPECT_EQ(ReadHostFile(host / "out\\006.img"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(ReadHostFile(host / "out\\007-SET3.img"), images[2]);
  if (service) {
    EXPECT_EQ(SimFilter(kStick).presentedBlock, 5u);
  }

  // SET2 dropped on the block list goes into the selected block, 6 (a floppy again: the scan lists 7 once more).
  if (service) SelectComboEntry(page, IDC_ENH_BLOCK_LIST, 6);
  AnswerMessageBoxes({IDOK, IDOK});
  const std::wstring set2 = WriteHostFile(host / "set2.img", images[1]);
  DropFiles(Control(page, IDC_ENH_BLOCK_LIST), {set2});
  AnswerBlocks(service, "6");
  TakeBox(Expected(kEnhImportConfirm, 1u, "6", "No.6:Unformatted"), "");
  TakeBox(Expected(kEnhImportDone, 1u, "6"), "");
  WaitForRun(page);
  EXPECT_EQ(Block(6, kImageSectors), images[1]);
  EXPECT_EQ(Block(5, kImageSectors), images[0]);
  if (service) {
    EXPECT_EQ(ComboEntries(page, IDC_ENH_BLOCK_LIST).size(), 9u);
  }

  SetFilePickersForTesting(nullptr, nullptr);
  if (service) {
    AnswerMessageBoxes({IDNO});  // the sheet asks to stop the service on the way out
    PressSheetButton(IDCANCEL);
    WaitForMessageBox();
    EXPECT_EQ(WaitForProgramExit(), 0);
  }
}

}  // namespace

TEST_F(GuiTest, ImagesInAndOutOfBlocksWithoutTheService) { WalkImages(false); }

TEST_F(GuiTest, ImagesInAndOutOfBlocksWithTheService) { WalkImages(true); }
