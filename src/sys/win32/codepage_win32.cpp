// Code page conversions through the Win32 calls, for the Windows layer and for the simulated machine in the
// Windows builds.
#include <windows.h>

#include <string>

#include "sys/codepage.h"

namespace {

// MB_ERR_INVALID_CHARS is not taken with CP_UTF8 before XP SP2: a bad sequence becomes U+FFFD, which no OEM code
// page holds, so it is refused all the same.
std::wstring WideOf(const std::string& utf8) {
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

}  // namespace

bool CodePageFromUtf8(uint32_t codePage, const std::string& utf8, std::string* bytes) {
  if (utf8.empty()) {
    bytes->clear();
    return true;
  }
  std::wstring wide = WideOf(utf8);
  if (wide.empty()) return false;
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                   nullptr, 0, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return false;
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &out[0], length,
                      nullptr, &usedDefault);
  if (usedDefault) return false;
  // A system that ignores WC_NO_BEST_FIT_CHARS would give a look-alike: the bytes must come back as the text.
  std::string back;
  if (!CodePageToUtf8(codePage, out, &back) || WideOf(back) != wide) return false;
  *bytes = out;
  return true;
}

bool CodePageToUtf8(uint32_t codePage, const std::string& bytes, std::string* utf8) {
  if (bytes.empty()) {
    utf8->clear();
    return true;
  }
  int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                   nullptr, 0);
  if (length <= 0) return false;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &wide[0], length);
  int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &out[0], size, nullptr, nullptr);
  *utf8 = out;
  return true;
}
