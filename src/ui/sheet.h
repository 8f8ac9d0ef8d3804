// Process-wide state of the property sheet, shared by the start-up, the pages and their worker threads.
#pragma once

#include <windows.h>

// The module every resource (dialogs, icons) is loaded from; set once at start-up.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// The sheet's frame window: stored by the sheet callback on every call, valid from the sheet's initialisation
// until it closes, and replaced when the sheet opens again. The enhanced page reads it to hold the sheet for a run.
HWND SheetWindow();
void SetSheetWindow(HWND sheet);

// The sheet end flag. 1 (true): the program ends when the sheet has closed; 0: the sheet opens again. The sheet
// callback sets it at initialisation; the enhanced edition page clears it when the user chooses to stop a running
// multi-floppy service before leaving.
bool SheetEndFlag();
void SetSheetEndFlag(bool end);

// The sheet's buttons: OK, Cancel, Help and Apply (hidden: the sheet has none, but it is moved with the others).
inline constexpr int kApplyButtonId = 0x3021;
inline constexpr int kSheetButtonIds[] = {IDOK, IDCANCEL, IDHELP, kApplyButtonId};

// Grows the sheet (frame, tab control, buttons) so that the page fits in it. The sheet sizes itself in the dialog
// units of its own font, while the pages use a larger font of their own, so a page can come out bigger than the
// space the sheet made for it. Each page calls this when it initialises; it changes nothing when the page fits.
void FitSheetToPage(HWND page);

// The page's answer to PSN_KILLACTIVE, which the sheet sends before it shows another page (a tab clicked,
// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PageDown, Ctrl+PageUp) and before OK. While the page's run is active the answer is
// a refusal: the page stays in front. Changing pages is not harmless mid-run: the enhanced page tells the filter
// driver to present the disk unchanged when it is hidden, and to present its block again when it comes back, and
// either would move the rest of a run's writes to another place on the disk. Returns the dialog procedure's result.
INT_PTR AnswerPageLeaving(HWND page, bool runActive);
