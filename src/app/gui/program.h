// Start-up of the Windows program: the language, the three-page property sheet and its end.
#pragma once

#include <windows.h>
#include <prsht.h>

// Chooses the language from the user's default language, runs the start-up self-check and shows the property sheet
// until the program may end. Returns the program's exit code, 0. A failing self-check ends it without a window.
int RunProgram(HINSTANCE instance);

// Test seam: runs sheets through `run` instead of PropertySheetW; nullptr restores the real one.
typedef INT_PTR(WINAPI* PropertySheetFunction)(LPCPROPSHEETHEADERW header);
void SetPropertySheetForTesting(PropertySheetFunction run);
