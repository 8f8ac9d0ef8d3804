// Standard edition page (dialog 130): formats the whole USB disk as one floppy image.
#include <windows.h>
#include <commctrl.h>

#include "app/gui/instructions.h"
#include "app/gui/resource_ids.h"
#include "app/gui/sheet.h"
#include "app/gui/wintext.h"
#include "pages/pages.h"
#include "pages/standard_texts.h"

namespace {

struct StandardPage {
  HWND window = nullptr;
};

StandardPage gPage;

// The choices the page opens with: 1.44M, not bootable, DOS 7.1 preset in the disabled DOS list.
void SetInitialChoices(HWND window) {
  CheckRadioButton(window, IDC_STD_720K, IDC_STD_1200K, IDC_STD_1440K);
  FillComboBox(window, IDC_STD_DOS_VERSION, kStdDosVersions, 1);
  EnableWindow(GetDlgItem(window, IDC_STD_DOS_VERSION), FALSE);
}

void OnInitDialog(HWND window) {
  gPage.window = window;
  FitSheetToPage(window);
  SetEnglishControlTexts(window, kStandardControlTexts);
  SetInitialChoices(window);
}

void OnNotify(HWND window, const NMHDR& header) {
  if (header.code == PSN_HELP) ShowInstructions(window, kStandardInstructions);
}

}  // namespace

INT_PTR CALLBACK StandardPageProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return 0;
    case WM_NOTIFY:
      OnNotify(window, *reinterpret_cast<const NMHDR*>(lParam));
      return 0;
    default:
      return 0;
  }
}
