// The words of the files dialog of the enhanced page. %s and %u are filled in by the code.
#pragma once

#include "ui/resource_ids.h"
#include "ui/wintext.h"
#include "base/texts.h"

inline constexpr TextPair kFilesButton{"Files...", "文件..."};
inline constexpr TextPair kFilesTitle{"Files of floppy block %u (%s)", "软盘块%u (%s) 的文件"};
inline constexpr TextPair kFilesBlockCaption{"Floppy block:", "软盘块:"};
inline constexpr TextPair kFilesFolder{"Folder: %s", "文件夹: %s"};
inline constexpr TextPair kFilesNameColumn{"Name", "名称"};
inline constexpr TextPair kFilesSizeColumn{"Size", "大小"};
inline constexpr TextPair kFilesDateColumn{"Date", "日期"};
inline constexpr TextPair kFilesFolderSize{"<Folder>", "<文件夹>"};
inline constexpr TextPair kFilesAddButton{"Add...", "添加..."};
inline constexpr TextPair kFilesExtractButton{"Extract...", "导出..."};
inline constexpr TextPair kFilesDeleteButton{"Delete", "删除"};
inline constexpr TextPair kFilesNewFolderButton{"New folder", "新建文件夹"};
inline constexpr TextPair kFilesCloseButton{"Close", "关闭"};
inline constexpr TextPair kFilesDropHint{"Drop files from Explorer onto the list to add them.",
                                         "可将文件从资源管理器拖到列表中加入."};
inline constexpr TextPair kFilesFree{"%s bytes free of %s", "剩余 %s 字节,共 %s 字节"};
inline constexpr TextPair kFilesOkButton{"OK", "确定"};
inline constexpr TextPair kFilesCancelButton{"Cancel", "取消"};

inline constexpr TextPair kFilesNoBlock{"There is no formatted floppy block on this disk.",
                                        "此U盘上没有已格式化的软盘块."};
inline constexpr TextPair kFilesSelectFirst{"Please select the files first.", "请先选择文件."};
inline constexpr TextPair kFilesConfirmDelete{"Delete %s from the floppy?", "从软盘中删除 %s?"};
inline constexpr TextPair kFilesReplace{"%s already exists on the floppy. Replace it?", "软盘上已有 %s,是否替换?"};
inline constexpr TextPair kFilesShortNamePrompt{"\"%s\" is not a DOS 8.3 name. Name on the floppy:",
                                                "\"%s\" 不是DOS 8.3文件名.软盘上的文件名:"};
inline constexpr TextPair kFilesNewFolderPrompt{"Name of the new folder:", "新文件夹名称:"};
inline constexpr TextPair kFilesHostReadFailed{"Cannot read %s.", "无法读取 %s."};
inline constexpr TextPair kFilesHostWriteFailed{"Cannot write %s.", "无法写入 %s."};
inline constexpr TextPair kFilesHostReplace{"%s already exists in that folder. Replace it?", "该文件夹中已有 %s,是否替换?"};
inline constexpr TextPair kFilesExtracted{"%u files extracted to %s.", "已导出%u个文件到 %s."};
inline constexpr TextPair kFilesExtractTo{"Extract the selected files to this folder:", "将所选文件导出到此文件夹:"};
inline constexpr TextPair kFilesAddTitle{"Add files to the floppy", "添加文件到软盘"};
inline constexpr TextPair kFilesHostTooLarge{"%s is too large for a floppy.", "%s 太大,软盘放不下."};

inline constexpr ControlText kFilesControlTexts[] = {
    {IDC_FILES_BLOCK_CAPTION, kFilesBlockCaption}, {IDC_FILES_ADD, kFilesAddButton},
    {IDC_FILES_EXTRACT, kFilesExtractButton},       {IDC_FILES_DELETE, kFilesDeleteButton},
    {IDC_FILES_NEW_FOLDER, kFilesNewFolderButton},  {IDCANCEL, kFilesCloseButton},
    {IDC_FILES_HINT, kFilesDropHint},
};
inline constexpr ControlText kFilesNameControlTexts[] = {{IDOK, kFilesOkButton}, {IDCANCEL, kFilesCancelButton}};
