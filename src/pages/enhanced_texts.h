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

// Whole floppy images into and out of blocks. The questions and outcomes have the caption kEnhCaption.
inline constexpr TextPair kEnhImportButton{"Import images...", "导入映像..."};
inline constexpr TextPair kEnhExportButton{"Export images...", "导出映像..."};
inline constexpr TextPair kEnhImportTitle{"Import floppy images into blocks", "导入软盘映像到软盘块"};
inline constexpr TextPair kEnhImageFilter{"Floppy images", "软盘映像"};
inline constexpr TextPair kEnhAllFiles{"All files", "所有文件"};
inline constexpr TextPair kEnhExportTo{"Save the block images into this folder:", "将软盘块映像保存到此文件夹:"};
inline constexpr TextPair kEnhImageFromCaption{"From block:", "起始块:"};
inline constexpr TextPair kEnhImageToCaption{"To block:", "结束块:"};
inline constexpr TextPair kEnhImportFromPrompt{"Write the images into the blocks from this one on:",
                                               "从此软盘块起依次写入映像:"};
inline constexpr TextPair kEnhExportPrompt{"Save the images of the blocks from one block to another (the same "
                                           "block for one image):",
                                           "保存从起始块到结束块的软盘块映像(只保存一块时两者相同):"};
inline constexpr TextPair kEnhImageBadRange{"Please enter blocks from %u to %u, the first not after the last.",
                                            "请输入%u至%u之间的软盘块号, 起始块不能大于结束块."};
// %s: the file, its size, the kind, the kind's image size.
inline constexpr TextPair kEnhImageWrongSize{
    "%s is not a floppy image of the kind chosen: it holds %s bytes, a %s image holds %s bytes.\r\nNothing was "
    "written.",
    "%s 不是所选格式的软盘映像: 它有 %s 字节, %s 映像应为 %s 字节.\r\n没有写入任何数据."};
inline constexpr TextPair kEnhImageUnreadable{"Cannot read %s.\r\nNothing was written.",
                                              "无法读取 %s.\r\n没有写入任何数据."};
// %u: the first block, the number of images, the disk's last block; %s: the kind.
inline constexpr TextPair kEnhImagePastLast{
    "From block %u on, %u images would run past block %u, the last %s block of this disk.\r\nNothing was written.",
    "从第%u块起写入%u个映像将超出第%u块(本盘最后一个%s软盘块).\r\n没有写入任何数据."};
// Asked (Yes/No) for a file of the right size without a boot record of the kind; %s: the file and the kind, %u: its
// block.
inline constexpr TextPair kEnhImageNotFloppy{
    "%s is no %s floppy: its first sector is not a boot record of that kind. Some machines use such images, but "
    "the block scan ends at its block %u and hides every block after it.\r\n\r\nWrite it all the same?",
    "%s 不是%s软盘: 其首扇区不是该格式的引导记录. 有的机器使用这种映像, 但软盘块扫描会停在第%u块, 其后的软盘块将"
    "都看不到.\r\n\r\n仍然写入吗?"};
// %u: the number of images, %s: the blocks, the identifiers overwritten; the disk's line follows.
inline constexpr TextPair kEnhImportConfirm{
    "Write %u floppy images into blocks %s?\r\nWhat these blocks hold is overwritten: %s",
    "将%u个软盘映像写入软盘块 %s 吗?\r\n这些软盘块现有的内容将被覆盖: %s"};
inline constexpr TextPair kEnhBlockRange{"%u to %u", "%u 至 %u"};
inline constexpr TextPair kEnhImportStatus{"Writing floppy images into blocks %s...", "正在写入软盘映像到软盘块 %s..."};
inline constexpr TextPair kEnhImportDone{"%u floppy images were written into blocks %s.",
                                         "已将%u个软盘映像写入软盘块 %s."};
// %u: the block the run ended at, the images written completely, that block again.
inline constexpr TextPair kEnhImportEnded{
    "The import ended at block %u (%s).\r\n%u images were written completely; block %u and the blocks after it "
    "must be imported again.",
    "导入在第%u块中止(%s).\r\n已完整写入%u个映像; 第%u块及其后的软盘块需要重新导入."};
inline constexpr TextPair kEnhImportStoppedReason{"stopped", "已停止"};
inline constexpr TextPair kEnhImportChangedReason{"its file changed or cannot be read", "映像文件已改变或无法读取"};
inline constexpr TextPair kEnhImportFailedReason{"writing failed", "写入失败"};
inline constexpr TextPair kEnhImportNotStarted{
    "The disk cannot be written now: it may be used by another application.\r\nNothing was written.",
    "现在无法写入U盘: 它可能正被其他程序使用.\r\n没有写入任何数据."};
// %llu: the sector, %u: its block.
inline constexpr TextPair kEnhImportCapacityFailed{
    "The disk is smaller than it claims: sector %llu (floppy block %u) does not keep what is written to it.\r\n"
    "Nothing was written.",
    "U盘的实际容量小于其标称容量: 扇区%llu (软盘块%u) 无法保存写入的数据.\r\n没有写入任何数据."};
inline constexpr TextPair kEnhImportVerifyFailed{
    "The check after writing found that sector %llu (floppy block %u) does not hold what was written to it.\r\n"
    "The disk may be faulty or smaller than it claims: do not use these blocks.",
    "写入后的校验发现扇区%llu (软盘块%u) 的内容与写入的不同.\r\nU盘可能已损坏或实际容量小于标称容量: 请勿使用这些软盘块."};
// %s: the file. Asked (Yes/No) before an export writes over a file.
inline constexpr TextPair kEnhExportReplace{"%s already exists. Replace it?", "%s 已存在, 是否替换?"};
// %u: the block, the images saved before it.
inline constexpr TextPair kEnhExportReadFailed{"Cannot read floppy block %u; %u block images were saved before it.",
                                               "无法读取软盘块%u; 此前已保存%u个软盘块映像."};
inline constexpr TextPair kEnhExportInUse{
    "The USB disk is used by another program: its blocks cannot be read now. Close the programs and windows that "
    "use it and try again.",
    "U盘正被其他程序使用, 现在无法读取软盘块. 请关闭使用它的程序和窗口后再试."};
inline constexpr TextPair kEnhExportDone{"%u block images saved into %s.", "已将%u个软盘块映像保存到 %s."};

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
    {IDC_ENH_IMPORT, kEnhImportButton},
    {IDC_ENH_EXPORT, kEnhExportButton},
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
