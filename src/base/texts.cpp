#include "base/texts.h"

#include <cstdarg>
#include <cstdio>

Language UiLanguage = Language::English;

Language LanguageFromLangId(uint16_t langId) {
  return langId == kLangIdChinesePrc ? Language::Chinese : Language::English;
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  return text;
}
