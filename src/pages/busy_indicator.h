// The enhanced page's busy indicator: eight small squares (1048 to 1055) that show a green frame running from left
// to right over red squares, one square every half second, while a service run or a block format run goes on.
#pragma once

#include <windows.h>

// Makes the squares draw themselves (owner-drawn), so a repaint of the page keeps the indicator as the last tick
// left it, and hides them. Called when the page initialises.
void PrepareBusyIndicator(HWND page);

// On: shows the squares and starts timer 6 (500 ms) on the page. Off: stops the timer and hides the squares.
// Must run on the page's thread, which owns the timer.
void ShowBusyIndicator(HWND page, bool on);

// Paints one square for WM_DRAWITEM; false when the item is not one of the squares.
bool DrawBusySquare(const DRAWITEMSTRUCT& item);
