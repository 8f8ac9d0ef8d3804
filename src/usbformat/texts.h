// Texts of the general formatter's decisions, shown by the "USB disk format" page. Which refusal shows what:
//   Refusal::kTooManyClusters  status kFat16ExceededStatus, then a box with UnitSuggestionText() (pages/page_words.h)
//   Refusal::kBeyondFat16      status kFat16ExceededStatus, then a box with kBeyondFat16
//   Refusal::kNoDataArea       a box with kNoDataArea
//   Refusal::kNoClusterSize    a box with kNoUnitSizeSelected
//   Refusal::kNoFatCount       a box with kNoFatCountSelected
//   Refusal::kNoRootEntries    a box with kNoRootEntries
//   Refusal::kSystemFilesUnusable  a box with kSystemFilesUnusable
// all with the caption kUsbFormatCaption; the unit suggestion has the information icon, the others the error icon
// of the page's refusals. The other refusals are the page's own checks before a format starts and keep the page's
// messages.
#pragma once

#include "base/texts.h"

inline constexpr TextPair kUsbFormatCaption{"Format usb disk", "格式化U盘"};

// Status line when FAT16 cannot hold the volume: the same words in both languages.
inline constexpr TextPair kFat16ExceededStatus{"当前单元总数超出了FAT16所支持的", "当前单元总数超出了FAT16所支持的"};
// The unit the user should at least choose. The first form is used when the data sectors are a multiple of
// 65,536; the other English form has no blank before the number.
inline constexpr TextPair kUnitNotLessExact{"The allocation unit is not less %d", "所选分配单元不能小于%d"};
inline constexpr TextPair kUnitNotLess{"The allocation unit is not less%d", "所选分配单元不能小于%d"};

// Refusals before anything is written, where the lists or the disk leave no sensible volume.
inline constexpr TextPair kNoFatCountSelected{"Please select the FAT number from the list!", "请从列表中选择FAT表数!"};
inline constexpr TextPair kNoUnitSizeSelected{"Please select the unit size from the list!", "请从列表中选择簇大小!"};
inline constexpr TextPair kBeyondFat16{"The usb disk is too large for FAT16 with any unit size, can't format",
                                       "U盘容量超出了FAT16所能支持的范围,无法格式化!"};
inline constexpr TextPair kNoRootEntries{"The root directory needs at least one entry.\r\nNothing was written.",
                                         "根目录至少需要一个目录项.\r\n没有写入任何数据."};
inline constexpr TextPair kSystemFilesUnusable{
    "The DOS system files in the SysFile folder are missing, unreadable or too large for this volume.\r\n"
    "Nothing was written.",
    "SysFile目录中的DOS系统文件缺失、无法读取或超出此卷的容量.\r\n没有写入任何数据."};
inline constexpr TextPair kNoDataArea{
    "The usb disk is too small for these settings: no room is left for files.\r\nPlease change the settings!",
    "U盘容量太小,按当前设置没有存放文件的空间,请重新设置!"};
