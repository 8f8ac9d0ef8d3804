// UTF-8 texts on Win32 windows. Every text of the program is UTF-8 in the source; the windows get them through the
// wide calls, so Chinese shows whatever the system's ANSI code page is.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "base/texts.h"

std::wstring Utf8ToWide(const char* utf8);
std::string WideToUtf8(const wchar_t* wide);

void SetWindowTextUtf8(HWND window, const char* utf8);
void SetControlText(HWND dialog, int id, const char* utf8);
std::string GetWindowTextUtf8(HWND window);
std::string GetControlText(HWND dialog, int id);

// Fills a combo box with entries (UTF-8) and selects one (-1: none).
void FillComboBox(HWND dialog, int id, const char* const* entries, size_t count, int selected);
template <size_t N>
void FillComboBox(HWND dialog, int id, const char* const (&entries)[N], int selected) {
  FillComboBox(dialog, id, entries, N, selected);
}

// One control and the text it shows. The dialog resources carry the Chinese texts; in English a page replaces
// them with the English half of each pair when it opens.
struct ControlText {
  int id;
  TextPair text;
};

// Sets the English texts of a page's controls, in English only (in Chinese the resource texts stay).
void SetEnglishControlTexts(HWND page, const ControlText* texts, size_t count);
template <size_t N>
void SetEnglishControlTexts(HWND page, const ControlText (&texts)[N]) {
  SetEnglishControlTexts(page, texts, N);
}
