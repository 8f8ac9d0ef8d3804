#include "ui/instructions.h"

#include "ui/resource_ids.h"
#include "ui/sheet.h"
#include "ui/wintext.h"

namespace {

INT_PTR OnInitDialog(HWND dialog, const Instructions& instructions) {
  SetWindowTextUtf8(dialog, Tr(instructions.title));
  SetControlText(dialog, IDC_HELP_TEXT, Tr(instructions.text));
  SetControlText(dialog, IDC_HELP_UNUSED_LABEL, "");
  // Focus the text with the caret at its start: the dialog manager would otherwise select the whole text.
  HWND text = GetDlgItem(dialog, IDC_HELP_TEXT);
  SetFocus(text);
  SendMessageW(text, EM_SETSEL, 0, 0);
  return FALSE;
}

// Only IDCANCEL (Escape or the close box) ends the dialog; Enter stays in the read-only text.
INT_PTR CALLBACK InstructionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog, *reinterpret_cast<const Instructions*>(lParam));
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowInstructions(HWND page, const Instructions& instructions) {
  DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_INSTRUCTIONS), page, InstructionsProc,
                  reinterpret_cast<LPARAM>(&instructions));
}
