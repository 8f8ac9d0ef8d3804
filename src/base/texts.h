// The user's language and the bilingual texts.
//
// Every text the user sees is a pair, English and Chinese, kept as UTF-8 in the source and used exactly as given.
// Each module keeps the pairs it shows in its own texts header; this one holds the type and the language.
#pragma once

#include <cstdint>
#include <string>

enum class Language { English, Chinese };

// Chosen once at start-up from the user's default language and never changed afterwards.
extern Language UiLanguage;

constexpr uint16_t kLangIdChinesePrc = 2052;
// 2052 (Chinese, PRC) gives Chinese; every other language id gives English.
Language LanguageFromLangId(uint16_t langId);

struct TextPair {
  const char* en;
  const char* zh;
};

// The half of the pair that matches UiLanguage.
inline const char* Tr(const TextPair& text) { return UiLanguage == Language::Chinese ? text.zh : text.en; }

// A text with printf-style fields filled in (the format is one half of a pair, or any format), whatever its length.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
