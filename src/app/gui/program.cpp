#include "app/gui/program.h"

#include <commctrl.h>

#include <atomic>
#include <string>

#include "app/gui/gui_texts.h"
#include "ui/resource_ids.h"
#include "ui/sheet.h"
#include "ui/wintext.h"
#include "base/selfcheck.h"
#include "base/texts.h"
#include "base/trace.h"
#include "pages/pages.h"

namespace {

// An icon handle is given, the pages come as an array of records, no Apply button, a callback, a Help button.
constexpr DWORD kSheetFlags = PSH_USEHICON | PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK | PSH_HASHELP;
static_assert(kSheetFlags == 0x38A, "sheet flags");

constexpr int kPageCount = 3;

// A sheet that fails before its initialisation is opened again; when that keeps failing the program ends rather
// than spinning for ever.
constexpr int kMaxFailedStarts = 3;

struct PageRecord {
  int dialog;
  DLGPROC procedure;
  TextPair title;
};

// Sheet order, left to right.
const PageRecord kPages[kPageCount] = {
    {IDD_STANDARD_PAGE, StandardPageProc, kStandardPageTitle},
    {IDD_ENHANCED_PAGE, EnhancedPageProc, kEnhancedPageTitle},
    {IDD_USBFORMAT_PAGE, UsbFormatPageProc, kUsbFormatPageTitle},
};

wchar_t gCaption[64];
std::atomic<bool> gSheetInitialised{false};
std::atomic<PropertySheetFunction> gPropertySheet{nullptr};

int CALLBACK SheetCallback(HWND window, UINT message, LPARAM) {
  SetSheetWindow(window);  // empty at PSCB_PRECREATE, the sheet from PSCB_INITIALIZED on
  if (message != PSCB_INITIALIZED) return 1;
  HICON icon = LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(IDI_PROGRAM));
  PostMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  PostMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | WS_MINIMIZEBOX);
  SetSheetEndFlag(true);
  gSheetInitialised = true;
  return 1;
}

// The sheet walks the page array by each record's dwSize, so the array holds records of exactly that size: the
// record up to the (empty) header title fields, 48 bytes in the 32-bit program.
static_assert(sizeof(void*) != 4 || sizeof(PROPSHEETPAGEW_V2) == 48, "page record size");

void FillPageRecords(PROPSHEETPAGEW_V2 (&pages)[kPageCount], std::wstring (&titles)[kPageCount]) {
  for (int i = 0; i < kPageCount; ++i) {
    titles[i] = Utf8ToWide(Tr(kPages[i].title));
    PROPSHEETPAGEW_V2& page = pages[i];
    page = PROPSHEETPAGEW_V2();
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE | PSP_HASHELP;
    page.hInstance = ModuleInstance();
    page.pszTemplate = MAKEINTRESOURCEW(kPages[i].dialog);
    page.pfnDlgProc = kPages[i].procedure;
    page.pszTitle = titles[i].c_str();
    page.lParam = 0;
  }
}

INT_PTR OpenSheet(const PROPSHEETHEADERW& header) {
  PropertySheetFunction run = gPropertySheet.load();
  return run ? run(&header) : PropertySheetW(&header);
}

// Opens the sheet again while the end flag is 0: after a sheet that never came up, and after the enhanced edition
// page sent the user back to switch a running multi-floppy service off.
void RunSheetUntilEnd(const PROPSHEETHEADERW& header) {
  SetSheetEndFlag(false);
  int failedStarts = 0;
  for (;;) {
    gSheetInitialised = false;
    OpenSheet(header);
    if (SheetEndFlag()) return;
    if (gSheetInitialised) {
      failedStarts = 0;
      continue;
    }
    TraceLastError("PropertySheet");
    if (++failedStarts >= kMaxFailedStarts) return;
  }
}

int RunSheet(HWND parent) {
  PROPSHEETPAGEW_V2 pages[kPageCount];
  std::wstring titles[kPageCount];
  FillPageRecords(pages, titles);

  PROPSHEETHEADERW header = PROPSHEETHEADERW();
  header.dwSize = PROPSHEETHEADERW_V1_SIZE;
  header.dwFlags = kSheetFlags;
  header.hwndParent = parent;
  header.hInstance = ModuleInstance();

  if (!SelfCheckPasses()) return 0;

  lstrcpynW(gCaption, Utf8ToWide(kSheetCaption).c_str(), sizeof gCaption / sizeof gCaption[0]);
  header.pszCaption = gCaption;
  header.nPages = kPageCount;
  header.nStartPage = 0;
  header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEW>(pages);
  HICON icon = static_cast<HICON>(
      LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 64, 64, LR_DEFAULTCOLOR));
  header.hIcon = icon;
  header.pfnCallback = SheetCallback;

  RunSheetUntilEnd(header);
  if (icon) DestroyIcon(icon);
  return 0;
}

}  // namespace

int RunProgram(HINSTANCE instance) {
  UiLanguage = LanguageFromLangId(GetUserDefaultLangID());
  SetModuleInstance(instance);
  return RunSheet(nullptr);
}

void SetPropertySheetForTesting(PropertySheetFunction run) { gPropertySheet.store(run); }
