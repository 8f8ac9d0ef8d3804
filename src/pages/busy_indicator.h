// The enhanced page's busy indicator: eight small squares (1048 to 1055) that show a green frame running from left
// to right over red squares, one square every half second, while a service run or a block format run goes on.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kBusySquares = 8;
constexpr int kBusyFirstSquareId = 1048;
constexpr uint32_t kBusyTimerId = 6;
constexpr uint32_t kBusyTimerPeriodMs = 500;
constexpr COLORREF kBusyFillColour = RGB(200, 50, 50);
constexpr COLORREF kBusyFrameColour = RGB(0, 255, 0);
constexpr int kBusyFramePenWidth = 3;

// Makes the squares draw themselves (owner-drawn), so a repaint of the page keeps the indicator as the last tick
// left it, and hides them. Called when the page initialises.
void PrepareBusyIndicator(HWND page);

// On: shows the squares and starts timer 6 (500 ms) on the page. Off: stops the timer and hides the squares.
// Must run on the page's thread, which owns the timer.
void ShowBusyIndicator(HWND page, bool on);

// Paints one square for WM_DRAWITEM; false when the item is not one of the squares.
bool DrawBusySquare(const DRAWITEMSTRUCT& item);
