// Enhanced edition page (dialog 131): floppy blocks on a USB disk and the multi-floppy service.
#include <windows.h>
#include <commctrl.h>

#include "app/gui/instructions.h"
#include "app/gui/resource_ids.h"
#include "app/gui/sheet.h"
#include "app/gui/wintext.h"
#include "pages/enhanced_texts.h"
#include "pages/pages.h"

namespace {

struct EnhancedPage {
  HWND window = nullptr;
};

EnhancedPage gPage;

// The choices the page opens with: 1.44M blocks, not bootable with DOS 7.1 preset in the disabled DOS list, block
// number 1, identifiers of at most 8 characters.
void SetInitialChoices(HWND window) {
  FillComboBox(window, IDC_ENH_DOS_VERSION, kEnhDosVersions, 1);
  EnableWindow(GetDlgItem(window, IDC_ENH_DOS_VERSION), FALSE);
  FillComboBox(window, IDC_ENH_KIND, kEnhFloppyKinds, 2);
  SetControlText(window, IDC_ENH_BLOCK_NUMBER, kEnhInitialBlockNumber);
  SetControlText(window, IDC_ENH_STATUS, Tr(kEnhStatusAtStart));
  SendDlgItemMessageW(window, IDC_ENH_IDENTIFIER, EM_LIMITTEXT, kEnhIdentifierMaxChars, 0);
}

void OnInitDialog(HWND window) {
  gPage.window = window;
  FitSheetToPage(window);
  SetEnglishControlTexts(window, kEnhancedControlTexts);
  SetInitialChoices(window);
}

void OnNotify(HWND window, const NMHDR& header) {
  if (header.code == PSN_HELP) ShowInstructions(window, kEnhancedInstructions);
}

}  // namespace

INT_PTR CALLBACK EnhancedPageProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
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
