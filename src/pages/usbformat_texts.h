// Texts of the USB disk format page (dialog 129).
#pragma once

#include "ui/resource_ids.h"
#include "ui/wintext.h"
#include "pages/run_progress.h"

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
    {IDC_USB_STATUS_GROUP, kUsbStatusGroup},   {IDC_USB_VERIFY, kRunVerifyCheck},
};

// A format the user stopped, a disk that does not keep what is written to it (%llu: the first bad sector).
inline constexpr TextPair kUsbFormatStopped{"The format was stopped before it was complete.\r\nFormat the disk again "
                                            "before using it.",
                                            "格式化在完成前已停止.\r\n请重新格式化U盘后再使用."};
inline constexpr TextPair kUsbCapacityFailed{
    "Format usb disk failure\r\nThe disk is smaller than it claims: sector %llu does not keep what is written to "
    "it.\r\nNothing was formatted.",
    "格式化U盘失败\r\nU盘的实际容量小于其标称容量: 扇区%llu 无法保存写入的数据.\r\n没有格式化U盘."};
inline constexpr TextPair kUsbVerifyFailed{
    "Format usb disk failure\r\nThe check after writing found that sector %llu does not hold what was written to "
    "it.\r\nThe disk may be faulty or smaller than it claims.",
    "格式化U盘失败\r\n写入后的校验发现扇区%llu 的内容与写入的不同.\r\nU盘可能已损坏或实际容量小于标称容量."};

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

// The status line's hints while a field has the keyboard focus (the unit hint ends in a blank).
inline constexpr TextPair kUsbHintLabel{"the disk volume lable is smaller than 11 character", "磁盘卷标长度不能超过11个字符"};
inline constexpr TextPair kUsbHintRootEntries{"set the max file number in disk root directory", "设定盘根目录下最多存放文件数"};
inline constexpr TextPair kUsbHintUnit{"the least bytes per unit of file stored in disk ", "文件存储的最小单元"};
inline constexpr TextPair kUsbHintFatCount{"one mainly FAT+one backup FAT(choice)", "1个主FAT表+1个备份FAT表(可选)"};
inline constexpr TextPair kUsbHintFill{"Data area is stored file content.", "数据区是指存放文件内容的地方."};

// Shown when the data-area box is ticked.
inline constexpr TextPair kUsbFillWarning{
    "Warning: after resetting the text in data area, the text of \n file will not recover!",
    "警告:将数据区内的内容全部置位后,   \n文件内容将不可恢复!"};

// The button and the status line as the disk and the format change; %s is the disk's volume texts.
inline constexpr TextPair kUsbStartSelected{"Begin formatting %s disk", "开始格式化 %s 盘"};
inline constexpr TextPair kUsbDataLossStatus{"!! The data in the %s disk will be losed!", "!! %s盘上数据格式化后将丢失!"};
inline constexpr TextPair kUsbFormattingStatus{"Now formatting %s disk...", "正在格式化 %s盘..."};
inline constexpr TextPair kUsbEndedStatus{"Please first select a usb disk", "请先选择盘"};
inline constexpr TextPair kUsbStartAfterFormat{"Begin formatting", "开始格式化"};
inline constexpr TextPair kUsbStartAfterFormatSelected{"Begin formatting", "开始格式化盘"};

// Starting a format: the confirmation (its caption is the same in both languages) and the page's refusals.
inline constexpr TextPair kUsbConfirmCaption{"Plover hint", "Plover hint"};
inline constexpr TextPair kUsbConfirm{
    "formate the USB disk and you will lose the data which is in USB disk, continue or not?",
    "格式化U盘会使您U盘上数据丢失.继续?"};
inline constexpr TextPair kUsbNoDiskSelected{"Please first select usb disk", "请先选择U盘"};
inline constexpr TextPair kUsbDiskInUse{"The current usb disk is used by other application,\r\nplease close other window!",
                                        "U盘正被其它程序占用，请关掉其它窗口!"};
inline constexpr TextPair kUsbInsertDisk{"Please insert usb disk and then retry.", "请插上U盘重试."};
inline constexpr TextPair kUsbDiskWithoutCapacity{"The current usb disk is used by other application,\r\ncan't format",
                                                  "U盘可能正被其它程序占用，无法格式化!"};
inline constexpr TextPair kUsbTooManyRootEntries{
    "the direction number is not greater than 32 fans (512),\r\n please re-setting again!",
    "目录项数不能大于32个扇区(512项),请重新设置!"};
inline constexpr TextPair kUsbClusterTooLarge{"The current setted clusters is too large, please re-setting again!",
                                              "当前设置的簇太大,请重新设置!"};

// The outcome, when the format thread has ended; %s names the disk that was formatted.
inline constexpr TextPair kUsbFormatFailed{" !! %s,format failure,please retry!", " !! %s,格式化失败,请重试!"};
inline constexpr TextPair kUsbFormatCompleted{"Disk format is completed.", "磁盘格式化完成."};
