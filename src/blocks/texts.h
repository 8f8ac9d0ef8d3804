// The words of the floppy block manager: block scan hints, block format messages and status lines, block switching
// and identifier messages. English and Chinese, used exactly as written; %d and %s are filled in by the code.
#pragma once

#include "base/texts.h"

// Captions. Most block messages carry the first; the format run's carry the second.
inline constexpr TextPair kBlockCaption{"Plover hint", "Plover hint"};
inline constexpr TextPair kBlockFormatCaption{"Plover Hint", "Plover Hint"};
// The go-to step's no-disk message in Chinese has its own caption.
inline constexpr TextPair kBlockGoToNoDiskCaption{"Plover hint", "Error"};
// The sector-size refusal keeps the English caption in both languages.
inline constexpr TextPair kSectorSizeCaption{"Format usb disk", "Format usb disk"};

// Block scan.
inline constexpr TextPair kBlockGroupCaption{"Select or switch floppy operation:(0 OF 0)", "软盘选择切换:(0 OF 0)"};
inline constexpr TextPair kServiceNotStartedHint{"Hint: Please first start Disk%d %s  block service.",
                                                 "提示：可移动盘%d %s 没有启用软盘块功能,请先启用."};
inline constexpr TextPair kDriverNotSwitchedHint{"Hint: Get disk.%d%s information failure(1).",
                                                 "提示：可移动盘 %d%s 获取软盘块信息出错(1)."};
inline constexpr TextPair kScanResultHint{
    "there is %d floppy disk can be used after scanning.\r\n if you need to make floppy disk block again, please "
    "click <Batch format> button;\r\n if you need to formate the current floppy block, please select <single Disk "
    "format> button",
    "提示：扫描发现已有%d块有效软盘。\r\n如需要重新制作软盘块请点击<批量格式化>按钮;\r\n如需格式化当前软盘块,请选择<单盘格式化>"
    "按钮."};
inline constexpr TextPair kBlockCountLabel{"Floppy block count:(<%d)", "软盘块数:(<%d)"};

// Block list entries that are not identifiers; the same in both languages.
inline constexpr const char* kUnlabelledEntry = "%d.????";
inline constexpr const char* kUnformattedEntry = "No.%d:Unformatted";
inline constexpr const char* kNotAccessedEntry = "No.%d:not accessed";

// Block format run.
inline constexpr TextPair kFormatSelectDiskFirst{"Please first select a usb disk", "请先选择U盘."};
inline constexpr TextPair kFormatConfirm{"The data in the disk will be losed \r\nafter format,continue",
                                         "格式式U盘会使您U盘上数据丢失,继续?"};
inline constexpr TextPair kFormatFailure{"Format usb disk failure", "格式化U盘失败"};
inline constexpr TextPair kFormatSuccess{"Format usb disk success", "格式化U盘成功"};
inline constexpr TextPair kBlockFormatBegins{"***Begin formatting floppy block %d,please wait...",
                                             "***正在格式化软盘块%d,请稍候..."};
inline constexpr TextPair kBlockFormatCompleted{"Floppy%d format is completed.", "软盘块%d 格式化已完成."};
// A block that could not be written ends the run; the box and the status line name it.
inline constexpr TextPair kBlockFormatBlockFailed{"Format usb disk failure\r\nfloppy block %d could not be written.",
                                                  "格式化U盘失败\r\n软盘块%d 写入失败."};
inline constexpr TextPair kBlockSystemFilesUnusable{
    "Format usb disk failure\r\nThe DOS system files in the SysFile folder are missing, unreadable or too large "
    "for a floppy block.\r\nNothing was written.",
    "格式化U盘失败\r\nSysFile目录中的DOS系统文件缺失、无法读取或超出软盘块的容量.\r\n没有写入任何数据."};
// A run the user stopped, a disk that does not keep what is written to it (found before the first block, or by the
// read-back after the last).
inline constexpr TextPair kBlockFormatStopped{
    "The format was stopped.\r\n%u floppy blocks were formatted; floppy block %u and the blocks after it were "
    "not.\r\nFormat the disk again before using it.",
    "格式化已停止.\r\n已格式化%u块软盘块; 软盘块%u 及其后的软盘块没有格式化.\r\n请重新格式化U盘后再使用."};
inline constexpr TextPair kBlockCapacityFailed{
    "Format usb disk failure\r\nThe disk is smaller than it claims: sector %llu (floppy block %u) does not keep "
    "what is written to it.\r\nNothing was formatted.",
    "格式化U盘失败\r\nU盘的实际容量小于其标称容量: 扇区%llu (软盘块%u) 无法保存写入的数据.\r\n没有格式化任何软盘块."};
inline constexpr TextPair kBlockVerifyFailed{
    "Format usb disk failure\r\nThe check after writing found that sector %llu (floppy block %u) does not hold "
    "what was written to it.\r\nThe disk may be faulty or smaller than it claims.",
    "格式化U盘失败\r\n写入后的校验发现扇区%llu (软盘块%u) 的内容与写入的不同.\r\nU盘可能已损坏或实际容量小于标称容量."};
// The status line while the run is stopping.
inline constexpr TextPair kBlockFormatStopping{"Stopping after the current floppy block...",
                                               "正在停止, 当前软盘块写完后停止..."};
inline constexpr TextPair kFormatChooseDos{"Please choose DOS 6.22 or DOS 7.1 for the DOS bootable disk.",
                                           "请选择DOS引导盘的版本: DOS 6.22 或 DOS 7.1."};
inline constexpr TextPair kFormatChooseBlock{"Please select a floppy block.", "请先选择软盘块."};
inline constexpr TextPair kSectorSizeNotSupported{
    "The disk sector is greater than 512 bytes((%dB))\r\nthe soft is not support!",
    "当前U盘扇区大于512字节(%d),软件不支持!"};

// Block switching.
inline constexpr TextPair kSelectUsbDisk{"Please select a usb disk.", "请先选择U盘."};
inline constexpr TextPair kFirstStartService{"Please first start multi-floppy service.", "请先启用U盘软盘块功能."};
inline constexpr TextPair kStartService{"Please start multi-floppy service.", "请先启用U盘软盘块功能."};
inline constexpr TextPair kBlockIndexSloppedOver{
    "The index of block is slopped over.\r\nthere is only %d blocks floppy disk block in current USB disk",
    "跳转序号越界.\r\n当前U盘最多只有%d块软盘块."};
inline constexpr TextPair kFloppyIndexSloppedOver{"The index of floppy is slopped over.\r\n", "软盘块序号越界.\r\n"};
inline constexpr TextPair kGoToFailure{"Goto NO.%d floppy failure!", "跳至第%d块软盘失败!"};

// Identifier change.
inline constexpr TextPair kIdentifyOpenFailure{"Modify disk identifier faiure.", "修改软盘标识失败."};
inline constexpr TextPair kIdentifyOpenFailureStatus{"The usb disk maybe used by another application.",
                                                     "磁盘可能已被其他程序打开."};
inline constexpr TextPair kIdentifyReadFailure{"Modify floppy identifier failure.", "修改软盘标识失败."};
inline constexpr TextPair kIdentifyReadFailureStatus{"Read root dir failure.", "Read root dir failure."};
inline constexpr TextPair kIdentifyNoLabel{
    "Modify floppy identifier failure.\r\nbecause the usb disk hasn't identifier,need to re-format",
    "修改软盘标识失败.\r\n此盘当前没有标识,需要重新格式化后才能修改."};
inline constexpr TextPair kIdentifyWriteFailure{"Modify floppy indentifier faiure.", "修改软盘标识失败."};
inline constexpr TextPair kIdentifyWriteFailureStatus{"Write Volume lable failure.", "Write Volume lable failure."};
// An empty identifier would put a zero byte first in the root directory, which ends the directory for DOS and
// hides every file after it: it is refused.
inline constexpr TextPair kIdentifyEmpty{"Please enter the new identifier.", "请输入新标识."};
// Shown in Chinese only; the English status text stays as it was.
inline constexpr const char* kIdentifyDoneStatusZh = "磁盘已启用新标识.";
