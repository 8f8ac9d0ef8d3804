// The one message box of the program: every page tells the user through it.
#pragma once

#include <windows.h>

// A modal message box owned by `owner`, with UTF-8 text and caption and a MessageBox style (MB_ICONERROR,
// MB_OKCANCEL | MB_ICONINFORMATION, ...). Returns the button pressed (IDOK, IDCANCEL, IDYES, ...).
int ShowMessage(HWND owner, const char* textUtf8, const char* captionUtf8, UINT style);

// Test seam: while set, ShowMessage calls the hook instead of showing a box and returns its answer. The hook runs
// on the thread that called ShowMessage.
typedef int (*MessageBoxHook)(HWND owner, const char* textUtf8, const char* captionUtf8, UINT style);
void SetMessageBoxHookForTesting(MessageBoxHook hook);
