#include "base/texts.h"

Language UiLanguage = Language::English;

Language LanguageFromLangId(uint16_t langId) {
  return langId == kLangIdChinesePrc ? Language::Chinese : Language::English;
}
