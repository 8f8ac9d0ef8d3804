// Texts of the standard edition page (dialog 130).
#pragma once

#include "ui/resource_ids.h"
#include "ui/wintext.h"
#include "pages/run_progress.h"

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

// Status hints of the kind radio buttons, in the order 720K, 1.2M, 1.44M.
inline constexpr TextPair kStd720KHint{"Set usb disk fat as 720K floppy.", "指定U盘格式为720K软盘格式."};
inline constexpr TextPair kStd1200KHint{"Set usb disk fat as 1.2M floppy.", "指定U盘格式为1.2M软盘格式."};
inline constexpr TextPair kStd1440KHint{"Set usb disk fat as 1.44M floppy.", "指定U盘格式为1.44M软盘格式."};

// Status and button texts; %s is the disk's volume texts.
inline constexpr TextPair kStdDiskWarning{"!! %s disk will be losed after formated!",
                                          "!! %s盘上数据格式化后将丢失!"};
inline constexpr TextPair kStdReadyButton{"Ready to format %s disk", "开始格式化 %s 盘"};
inline constexpr TextPair kStdFormatting{"Now formatting %s disk...", "正在格式化 %s盘..."};
inline constexpr TextPair kStdSelectDisk{"Please select a usb disk", "请先选择盘"};
inline constexpr TextPair kStdBeginButton{"Begin formatting", "开始格式化"};
inline constexpr TextPair kStdBeginDiskButton{"Begin format %s disk", "开始格式化%s 盘"};

// Message box captions. Some messages keep the English caption in Chinese too.
inline constexpr TextPair kStdHintCaption{"Plover hint", "Plover hint"};
inline constexpr TextPair kStdFormatCaption{"Format usb disk", "格式化U盘"};
inline constexpr TextPair kStdFormatCaptionEnglish{"Format usb disk", "Format usb disk"};

// Message boxes.
inline constexpr TextPair kStdNoDiskSelected{"Please first select a usb disk", "请先选择USB盘"};
inline constexpr TextPair kStdConfirm{"The data will be losed after formatting,continue?",
                                      "格式化后磁盘上数据将丢失,断续?"};
inline constexpr TextPair kStdDiskInUse{"The usb disk is used by other application,\r\nplease close other windows!",
                                        "U盘正被其它程序占用,请关掉其它窗口!"};
inline constexpr TextPair kStdOpenFailed{"Please insert usb disk and then retyr", "请插上U盘重试."};
inline constexpr TextPair kStdNoCapacity{"The usb disk is used by other application,\r\nplease close other windows!",
                                         "U盘可能正被其它程序占用,请关掉其它程序!"};
// %d: the disk's sector size in bytes.
inline constexpr TextPair kStdSectorTooLarge{
    "The disk sector is greater than 512 bytes((%dB))\r\nthe soft is not support!",
    "当前U盘扇区大于512字节(%dB),软件不支持!"};
inline constexpr TextPair kStdTooSmall{"The capacity of usb disk is less than 1.44M,can't format!",
                                       "所选U盘的容量小于1.44M软盘大小,请重新指定U盘大小!"};
inline constexpr TextPair kStdFormatDone{" %s disk is completed.", " %s盘格式化完成."};
inline constexpr TextPair kStdFormatStopped{"The format was stopped before it was complete.\r\nFormat the disk again "
                                            "before using it.",
                                            "格式化在完成前已停止.\r\n请重新格式化U盘后再使用."};
inline constexpr TextPair kStdFormatFailed{" !! %s,format failure,please retry!", " !! %s,格式化失败,请重试!"};
