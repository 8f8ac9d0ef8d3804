// The dialog procedures of the three pages of the property sheet, in sheet order.
#pragma once

#include <windows.h>

INT_PTR CALLBACK StandardPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);   // dialog 130
INT_PTR CALLBACK EnhancedPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);   // dialog 131
INT_PTR CALLBACK UsbFormatPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);  // dialog 129
