// Texts of the property sheet itself.
#pragma once

#include "base/texts.h"

// The sheet's caption: the same in both languages, with its trailing blanks.
inline constexpr const char* kSheetCaption = "KorvaneV2.0               ";

inline constexpr TextPair kStandardPageTitle{"Plover_standard edition", "Plover_标准版"};
inline constexpr TextPair kEnhancedPageTitle{"Plover_enhanced edition", "Plover_增强版"};
inline constexpr TextPair kUsbFormatPageTitle{"USB disk format", "U盘格式化"};
