// USB disk format page (dialog 129): one FAT12 or FAT16 volume with the user's parameters.
#include <windows.h>
#include <commctrl.h>

#include "app/gui/instructions.h"
#include "app/gui/resource_ids.h"
#include "app/gui/sheet.h"
#include "app/gui/wintext.h"
#include "pages/pages.h"
#include "pages/usbformat_texts.h"

namespace {

struct UsbFormatPage {
  HWND window = nullptr;
};

UsbFormatPage gPage;

// The choices the page opens with: two FATs, 512-byte units, no label, 256 root entries, fill byte 0 (not used).
// The hidden DOS-boot group stays at FDD boot, 32 sectors, DOS 6.22, disabled.
void SetInitialChoices(HWND window) {
  SendDlgItemMessageW(window, IDC_USB_LABEL, EM_LIMITTEXT, kUsbLabelMaxChars, 0);
  SendDlgItemMessageW(window, IDC_USB_FILL_BYTE, EM_LIMITTEXT, kUsbFillByteMaxChars, 0);
  FillComboBox(window, IDC_USB_UNIT, kUsbUnits, 0);
  FillComboBox(window, IDC_USB_FAT_COUNT, kUsbFatCounts, 1);
  SetControlText(window, IDC_USB_FILL_BYTE, kUsbInitialFillByte);
  SetControlText(window, IDC_USB_ROOT_ENTRIES, kUsbInitialRootEntries);
  FillComboBox(window, IDC_USB_BOOT_MODE, kUsbBootModes, 0);
  FillComboBox(window, IDC_USB_MBR_SIZE, kUsbMbrSizes, 0);
  FillComboBox(window, IDC_USB_DOS_VERSION, kUsbDosVersions, 0);
  EnableWindow(GetDlgItem(window, IDC_USB_MBR_SIZE), FALSE);
  EnableWindow(GetDlgItem(window, IDC_USB_BOOT_MODE), FALSE);
  EnableWindow(GetDlgItem(window, IDC_USB_DOS_VERSION), FALSE);
}

void OnInitDialog(HWND window) {
  gPage.window = window;
  FitSheetToPage(window);
  SetEnglishControlTexts(window, kUsbFormatControlTexts);
  SetInitialChoices(window);
}

void OnNotify(HWND window, const NMHDR& header) {
  if (header.code == PSN_HELP) ShowInstructions(window, kUsbFormatInstructions);
}

}  // namespace

INT_PTR CALLBACK UsbFormatPageProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
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
