// Texts of the standard edition page (dialog 130).
#pragma once

#include "app/gui/resource_ids.h"
#include "app/gui/wintext.h"

inline constexpr TextPair kStdSelectDiskGroup{"Select usb disk:", "选择可移动盘:"};
inline constexpr TextPair kStdFormatGroup{"Format operation:", "格式化操作:"};
inline constexpr TextPair kStdDosBoot{"DOS bootable disk:", "DOS引导盘:"};
inline constexpr TextPair kStdStartButton{"Begin formatting...", "开始格式化"};
inline constexpr TextPair kStdStatusGroup{"Information hint:", "信息提示:"};
inline constexpr TextPair kStdStatusInitial{"status hint", "状态提示"};

// What the page replaces in English when it opens.
inline constexpr ControlText kStandardControlTexts[] = {
    {IDC_STD_DISK_GROUP, kStdSelectDiskGroup}, {IDC_STD_FORMAT_GROUP, kStdFormatGroup},
    {IDC_STD_START, kStdStartButton},          {IDC_STD_STATUS, kStdStatusInitial},
    {IDC_STD_DOS_BOOT, kStdDosBoot},           {IDC_STD_STATUS_GROUP, kStdStatusGroup},
};

// DOS combo box entries, the same in both languages: entry 0 is DOS 6.22, entry 1 DOS 7.1.
inline constexpr const char* kStdDosVersions[] = {"DOS 6.22", "DOS 7.1"};
