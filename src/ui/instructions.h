// The instruction dialog (dialog 103) that a page opens when the sheet's Help button is pressed.
#pragma once

#include <windows.h>

#include "ui/help_texts.h"

// Shows the page's title and text in the current language, modal to the page; returns when the user closed the
// dialog with Escape or the close box.
void ShowInstructions(HWND page, const Instructions& instructions);
