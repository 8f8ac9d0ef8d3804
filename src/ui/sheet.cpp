#include "ui/sheet.h"

#include <commctrl.h>

#include <atomic>

namespace {

std::atomic<HINSTANCE> gInstance{nullptr};
std::atomic<HWND> gSheet{nullptr};
std::atomic<bool> gEndFlag{false};

}  // namespace

HINSTANCE ModuleInstance() { return gInstance.load(); }
void SetModuleInstance(HINSTANCE instance) { gInstance.store(instance); }

HWND SheetWindow() { return gSheet.load(); }
void SetSheetWindow(HWND sheet) { gSheet.store(sheet); }

bool SheetEndFlag() { return gEndFlag.load(); }
void SetSheetEndFlag(bool end) { gEndFlag.store(end); }

INT_PTR AnswerPageLeaving(HWND page, bool runActive) {
  SetWindowLongPtrW(page, DWLP_MSGRESULT, runActive ? TRUE : FALSE);
  return TRUE;
}

namespace {

void GrowWindow(HWND window, int dx, int dy) {
  RECT rect;
  GetWindowRect(window, &rect);
  SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left + dx, rect.bottom - rect.top + dy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MoveChild(HWND parent, HWND child, int dx, int dy) {
  if (!child) return;
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  SetWindowPos(child, nullptr, rect.left + dx, rect.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void FitSheetToPage(HWND page) {
  HWND sheet = GetParent(page);
  HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
  if (!sheet || !tab) return;
  RECT display;
  GetClientRect(tab, &display);
  SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  RECT pageRect;
  GetWindowRect(page, &pageRect);
  int dx = (pageRect.right - pageRect.left) - (display.right - display.left);
  int dy = (pageRect.bottom - pageRect.top) - (display.bottom - display.top);
  if (dx < 0) dx = 0;
  if (dy < 0) dy = 0;
  if (dx == 0 && dy == 0) return;
  GrowWindow(sheet, dx, dy);
  GrowWindow(tab, dx, dy);
  for (int id : kSheetButtonIds) MoveChild(sheet, GetDlgItem(sheet, id), dx, dy);
}
