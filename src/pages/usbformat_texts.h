// Texts of the USB disk format page (dialog 129).
#pragma once

#include "app/gui/resource_ids.h"
#include "app/gui/wintext.h"

inline constexpr TextPair kUsbSelectDiskGroup{"Select usb disk:", "选择可移动盘:"};
inline constexpr TextPair kUsbOptionGroup{"Format option:", "格式化选项:"};
inline constexpr TextPair kUsbFatCountCaption{"FAT number:", "FAT表数:"};
inline constexpr TextPair kUsbUnitCaption{"Unit size:", "簇大小:"};
inline constexpr TextPair kUsbLabelCaption{"Volume lable:", "磁盘卷标名:"};
inline constexpr TextPair kUsbRootCaption{"stored file number:", "存储文件数(<=512):"};
inline constexpr TextPair kUsbFillData{"Data area set as(hex)", "将数据区置为(16进制):"};
inline constexpr TextPair kUsbStartButton{"Begin formatting...", "开始格式化"};
inline constexpr TextPair kUsbStatusInitial{"status hint", "状态提示"};
inline constexpr TextPair kUsbDosBoot{"DOS bootable disk:", "DOS引导盘"};
inline constexpr TextPair kUsbStatusGroup{"Information hint:", "信息提示:"};

// What the page replaces in English when it opens.
inline constexpr ControlText kUsbFormatControlTexts[] = {
    {IDC_USB_DISK_GROUP, kUsbSelectDiskGroup}, {IDC_USB_OPTION_GROUP, kUsbOptionGroup},
    {IDC_USB_FAT_COUNT_CAPTION, kUsbFatCountCaption}, {IDC_USB_UNIT_CAPTION, kUsbUnitCaption},
    {IDC_USB_LABEL_CAPTION, kUsbLabelCaption}, {IDC_USB_ROOT_CAPTION, kUsbRootCaption},
    {IDC_USB_FILL, kUsbFillData},              {IDC_USB_START, kUsbStartButton},
    {IDC_USB_STATUS, kUsbStatusInitial},       {IDC_USB_DOS_BOOT, kUsbDosBoot},
    {IDC_USB_STATUS_GROUP, kUsbStatusGroup},
};

// Field limits and combo box entries, the same in both languages. Unit entry k stands for 2^k sectors per cluster.
constexpr int kUsbLabelMaxChars = 11;
constexpr int kUsbFillByteMaxChars = 2;
inline constexpr const char* kUsbFatCounts[] = {"1", "2"};
inline constexpr const char* kUsbUnits[] = {"512 bytes",  "1024 bytes",  "2048 bytes",  "4096 bytes",
                                            "8192 bytes", "16384 bytes", "32768 bytes", "65536 bytes"};
inline constexpr const char* kUsbBootModes[] = {"FDD boot", "HDD boot", "ZIP boot"};
inline constexpr const char* kUsbMbrSizes[] = {"32", "63"};
inline constexpr const char* kUsbDosVersions[] = {"6.22", "7.1"};
inline constexpr const char* kUsbInitialRootEntries = "256";
inline constexpr const char* kUsbInitialFillByte = "0";
