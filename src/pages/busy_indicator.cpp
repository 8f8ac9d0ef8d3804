#include "pages/busy_indicator.h"

#include "ui/resource_ids.h"

namespace {

// The square the last tick framed (-1 before the first tick), and the page-wide tick counter, which carries on from
// run to run. Both live on the page's thread: the timer and the paint requests arrive there.
int gFramedSquare = -1;
uint32_t gTick = 0;

// The square (0 to 7) that gets the green frame at this tick; advances the tick counter, which starts again after
// the eighth square.
int NextBusySquare(uint32_t* tick) {
  if (*tick > static_cast<uint32_t>(kBusySquares - 1)) *tick = 0;
  return static_cast<int>((*tick)++);
}

// GDI objects the drawing takes, each given back when it goes out of scope.
struct WindowDc {
  HWND window;
  HDC dc;
  explicit WindowDc(HWND w) : window(w), dc(GetDC(w)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc) ReleaseDC(window, dc);
  }
};

struct GdiObject {
  HGDIOBJ object;
  explicit GdiObject(HGDIOBJ o) : object(o) {}
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  ~GdiObject() {
    if (object) DeleteObject(object);
  }
};

// Selects an object into a device context for as long as it lives; a drawn-on DC must not keep our pen when the
// pen is deleted.
struct Selection {
  HDC dc;
  HGDIOBJ previous;
  Selection(HDC d, HGDIOBJ object) : dc(d), previous(SelectObject(d, object)) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (previous) SelectObject(dc, previous);
  }
};

// The whole square red; the framed one gets its client rectangle outlined corner to corner in green.
void PaintSquare(HDC dc, const RECT& client, bool framed) {
  GdiObject fill(CreateSolidBrush(kBusyFillColour));
  if (fill.object) FillRect(dc, &client, static_cast<HBRUSH>(fill.object));
  if (!framed) return;
  GdiObject pen(CreatePen(PS_SOLID, kBusyFramePenWidth, kBusyFrameColour));
  if (!pen.object) return;
  Selection selected(dc, pen.object);
  const LONG right = client.right - client.left, bottom = client.bottom - client.top;
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, 0, bottom);
  LineTo(dc, right, bottom);
  LineTo(dc, right, 0);
  LineTo(dc, 0, 0);
}

void PaintSquareWindow(HWND square, bool framed) {
  if (!square) return;
  WindowDc dc(square);
  if (!dc.dc) return;
  RECT client;
  GetClientRect(square, &client);
  PaintSquare(dc.dc, client, framed);
}

void CALLBACK BusyTimerProc(HWND page, UINT, UINT_PTR, DWORD) {
  gFramedSquare = NextBusySquare(&gTick);
  for (int i = 0; i < kBusySquares; ++i)
    PaintSquareWindow(GetDlgItem(page, kBusyFirstSquareId + i), i == gFramedSquare);
}

}  // namespace

void PrepareBusyIndicator(HWND page) {
  for (int i = 0; i < kBusySquares; ++i) {
    HWND square = GetDlgItem(page, kBusyFirstSquareId + i);
    if (!square) continue;
    LONG_PTR style = GetWindowLongPtrW(square, GWL_STYLE);
    SetWindowLongPtrW(square, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_OWNERDRAW);
    ShowWindow(square, SW_HIDE);
  }
}

void ShowBusyIndicator(HWND page, bool on) {
  for (int i = 0; i < kBusySquares; ++i) ShowWindow(GetDlgItem(page, kBusyFirstSquareId + i), on ? SW_SHOW : SW_HIDE);
  if (on)
    SetTimer(page, kBusyTimerId, kBusyTimerPeriodMs, BusyTimerProc);
  else
    KillTimer(page, kBusyTimerId);
}

bool DrawBusySquare(const DRAWITEMSTRUCT& item) {
  int square = static_cast<int>(item.CtlID) - kBusyFirstSquareId;
  if (square < 0 || square >= kBusySquares) return false;
  PaintSquare(item.hDC, item.rcItem, square == gFramedSquare);
  return true;
}
