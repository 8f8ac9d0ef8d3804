// The words the pages and the command line share: why an operation on the files of a volume did not happen (%s is
// the name concerned), and why a text cannot go to the disk in the OEM code page.
#pragma once

#include "base/texts.h"

inline constexpr TextPair kFilesReadFailed{"The disk could not be read.", "读取U盘失败."};
inline constexpr TextPair kFilesWriteFailed{
    "Writing to the disk failed part way; the floppy may need checking.",
    "写入U盘中途失败,软盘可能需要检查."};
inline constexpr TextPair kFilesNotFat{"This floppy is not formatted (no FAT12 or FAT16 file system).",
                                       "此软盘未格式化(没有FAT12或FAT16文件系统)."};
inline constexpr TextPair kFilesBadName{
    "\"%s\" is not a DOS 8.3 name: at most 8 letters or digits, a dot and at most 3 more (a Chinese character "
    "counts as 2), no spaces. Give it a short name.",
    "\"%s\" 不是DOS 8.3文件名:最多8个字母或数字,加一个点和最多3个字符(一个汉字算2个),不能有空格.请改用短文件名."};
inline constexpr TextPair kFilesNotFound{"\"%s\" was not found.", "找不到 \"%s\"."};
inline constexpr TextPair kFilesNotDirectory{"\"%s\" is not a folder.", "\"%s\" 不是文件夹."};
inline constexpr TextPair kFilesIsDirectory{"\"%s\" is a folder.", "\"%s\" 是文件夹."};
inline constexpr TextPair kFilesExists{"\"%s\" already exists.", "\"%s\" 已存在."};
inline constexpr TextPair kFilesDiskFull{
    "Not enough room for \"%s\": %llu bytes are needed, %llu bytes are free. Nothing was written.",
    "空间不足,无法写入 \"%s\":需要%llu字节,剩余%llu字节.未写入任何内容."};
inline constexpr TextPair kFilesRootFull{
    "The root folder is full: \"%s\" cannot be added. Put it into a folder. Nothing was written.",
    "根目录已满,无法加入 \"%s\".请放入文件夹中.未写入任何内容."};
inline constexpr TextPair kFilesNotEmpty{"The folder \"%s\" is not empty.", "文件夹 \"%s\" 不是空的."};
inline constexpr TextPair kFilesDamaged{"\"%s\" is damaged on the floppy (its cluster chain is broken).",
                                        "软盘上的 \"%s\" 已损坏(簇链断开)."};
inline constexpr TextPair kFilesTooLarge{"\"%s\" is too large for a FAT volume.", "\"%s\" 太大,FAT卷无法存放."};
inline constexpr TextPair kFilesStopped{"\"%s\" was not copied completely: its bytes could not be stored.",
                                        "\"%s\" 未完整复制:无法保存其内容."};
inline constexpr TextPair kFilesOpenFailed{"The USB disk could not be opened.", "无法打开U盘."};
inline constexpr TextPair kFilesInUse{
    "The USB disk is used by another program. Close the programs and windows that use it and try again. Nothing "
    "was written.",
    "U盘正被其他程序使用.请关闭使用它的程序和窗口后再试.未写入任何内容."};

inline constexpr TextPair kOemNotInCodePage{
    "The character \"%s\" cannot be stored on the disk: it is not in code page %u, in which DOS and Windows read "
    "labels, identifiers and file names. Use other characters.",
    "字符“%s”无法写入磁盘：代码页%u中没有此字符，DOS和Windows按此代码页读取卷标、标识和文件名。请换用其他字符。"};
inline constexpr TextPair kOemTooLong{
    "The text takes %u bytes on the disk (code page %u), but the field holds %u. Use fewer characters (a Chinese "
    "character takes 2 bytes).",
    "此文字在磁盘上占%u字节(代码页%u)，但只能存放%u字节。请减少字符(一个汉字占2字节)。"};
