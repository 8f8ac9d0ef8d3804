// Texts of the enhanced edition page (dialog 131).
#pragma once

#include "pages/run_progress.h"

#include "ui/resource_ids.h"
#include "ui/wintext.h"
#include "pages/files_texts.h"

inline constexpr TextPair kEnhSelectDiskGroup{"Select usb disk:", "选择可移动盘:"};
inline constexpr TextPair kEnhServiceSwitch{"start(select)/close(unselect) multi-floppy service",
                                            "启用(选中)/关闭(取消) U盘软盘块服务"};
inline constexpr TextPair kEnhBlockGroup{"Select or switch floppy operation:", "软盘选择切换:"};
inline constexpr TextPair kEnhBlockCaption{"Select floppy block:", "选择软盘块:"};
inline constexpr TextPair kEnhPreviousButton{"<<Previous block", "<<前一软盘(&P)"};
inline constexpr TextPair kEnhNextButton{"Next block>>", ">>后一软盘(&N)"};
inline constexpr TextPair kEnhRenameButton{"Block identifier", "设置新标识"};
inline constexpr TextPair kEnhFormatGroup{"Format operation:", "格式化操作:"};
inline constexpr TextPair kEnhKindCaption{"Floppy type:", "当前软盘格式:"};
inline constexpr TextPair kEnhCountCaption{"Floppy blocks(0-100):", "软盘块数(<100):"};
inline constexpr TextPair kEnhDosBoot{"DOS bootable disk:", "DOS引导盘:"};
inline constexpr TextPair kEnhSingleFormatButton{"Single Disk format", "单盘格式化"};
inline constexpr TextPair kEnhBatchFormatButton{"Batch format", "批量格式化"};
inline constexpr TextPair kEnhStatusGroup{"Information hint:", "信息提示:"};
inline constexpr TextPair kEnhStatusAtStart{"Please select a usb disk.", "请选择盘."};
inline constexpr TextPair kEnhStatusAfterDeviceChange{"Please select a usb disk.", "请先选择U盘"};

// Message boxes of the page: caption "Plover hint" and the error icon unless said otherwise.
inline constexpr TextPair kEnhCaption{"Plover hint", "Plover hint"};
inline constexpr TextPair kEnhSelectDiskFirst{"Please select a usb disk.", "请先选择U盘."};
inline constexpr TextPair kEnhStartServiceFirst{"Please start multi-floppy service.", "请先启用U盘软盘块功能."};
inline constexpr TextPair kEnhKindNotChosen{"Please select usb disk.", "请先选择U盘."};
inline constexpr TextPair kEnhThreadNotCreated{"Create formatting thread failure.", "创建格式化U盘线程失败."};
// Asked (Yes/No) for each disk whose multi-floppy service still runs when the page goes; %s: the disk's hardware key.
inline constexpr TextPair kEnhExitQuestion{
    "Please closed multi-floppy service before exiting application,\r\nis closed now ?",
    "请先关闭%s盘软盘块功能后再关闭程序,\r\n否则会影响U盘使用,是否要关闭?"};

// The batch format button after a kind was picked; %s: the kind's entry.
inline constexpr TextPair kEnhMakeKindButton{"Make %s floppy", "制作%s软盘"};

// What the page replaces in English when it opens. The status text is set in both languages (kEnhStatusAtStart).
inline constexpr ControlText kEnhancedControlTexts[] = {
    {IDC_ENH_DISK_GROUP, kEnhSelectDiskGroup},
    {IDC_ENH_SERVICE, kEnhServiceSwitch},
    {IDC_ENH_BLOCK_GROUP, kEnhBlockGroup},
    {IDC_ENH_BLOCK_CAPTION, kEnhBlockCaption},
    {IDC_ENH_PREVIOUS, kEnhPreviousButton},
    {IDC_ENH_NEXT, kEnhNextButton},
    {IDC_ENH_RENAME, kEnhRenameButton},
    {IDC_ENH_FILES, kFilesButton},
    {IDC_ENH_VERIFY, kRunVerifyCheck},
    {IDC_ENH_FORMAT_GROUP, kEnhFormatGroup},
    {IDC_ENH_KIND_CAPTION, kEnhKindCaption},
    {IDC_ENH_COUNT_CAPTION, kEnhCountCaption},
    {IDC_ENH_DOS_BOOT, kEnhDosBoot},
    {IDC_ENH_SINGLE_FORMAT, kEnhSingleFormatButton},
    {IDC_ENH_BATCH_FORMAT, kEnhBatchFormatButton},
    {IDC_ENH_STATUS_GROUP, kEnhStatusGroup},
};

// Combo box entries, the same in both languages.
inline constexpr const char* kEnhDosVersions[] = {"DOS 6.22", "DOS 7.1"};
inline constexpr const char* kEnhFloppyKinds[] = {"720K", "1.2M", "1.44M"};
inline constexpr const char* kEnhInitialBlockNumber = "1";
constexpr int kEnhIdentifierMaxChars = 8;
