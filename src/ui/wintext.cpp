#include "ui/wintext.h"

#include <vector>

std::wstring Utf8ToWide(const char* utf8) {
  if (!utf8 || !*utf8) return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length) - 1);
  return wide;
}

std::string WideToUtf8(const wchar_t* wide) {
  if (!wide || !*wide) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(length) - 1);
  return utf8;
}

void SetWindowTextUtf8(HWND window, const char* utf8) { SetWindowTextW(window, Utf8ToWide(utf8).c_str()); }

void SetControlText(HWND dialog, int id, const char* utf8) {
  SetDlgItemTextW(dialog, id, Utf8ToWide(utf8).c_str());
}

std::string GetWindowTextUtf8(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, buffer.data(), length + 1);
  return WideToUtf8(buffer.data());
}

std::string GetControlText(HWND dialog, int id) { return GetWindowTextUtf8(GetDlgItem(dialog, id)); }

void FillComboBox(HWND dialog, int id, const char* const* entries, size_t count, int selected) {
  HWND combo = GetDlgItem(dialog, id);
  for (size_t i = 0; i < count; ++i)
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(entries[i]).c_str()));
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void SetEnglishControlTexts(HWND page, const ControlText* texts, size_t count) {
  if (UiLanguage != Language::English) return;
  for (size_t i = 0; i < count; ++i) SetControlText(page, texts[i].id, texts[i].text.en);
}
