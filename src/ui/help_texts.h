// The instruction texts behind each page's Help button, in both languages. Paragraphs end with CR LF (the edit
// control that shows them breaks lines there) and are indented with blanks.
#pragma once

#include "base/texts.h"

struct Instructions {
  TextPair title;
  TextPair text;
};

#define KORVANE_HELP_OPENING_ZH                                                                                   \
  "    本软件支持中文和英文版的Windows 2000/XP操作系统，能自动识别系统语言。\r\n"                                 \
  "    本软件用于Plover标准版和增强版仿真软驱，制作和管理存放在U盘上的软盘，Plover普通版仿真软驱不需要使用本软件。" \
  "Plover仿真软驱可替代计算机、工控设备、嵌入式系统、电脑绣花机、刻字机和织唛机等设备上的普通软驱，用U盘代替软盘。\r\n" \
  "    注意：使用前请先关闭资源管理器中U盘的窗口，并确认没有其它程序正在使用U盘，否则可能无法重新加载U盘。\r\n"

#define KORVANE_HELP_OPENING_EN                                                                                   \
  "    This program runs on Chinese and English Windows 2000 and Windows XP and recognises the system's language " \
  "by itself.\r\n"                                                                                                \
  "    It serves the Plover emulated floppy drives of the standard and enhanced editions: it makes and manages "    \
  "the floppy disks held on a USB flash drive. The common edition of the drive does not need it. A Plover drive "  \
  "takes the place of the ordinary floppy drive of computers, industrial machines, embedded systems and "         \
  "embroidery, lettering and label-weaving machines, and reads a USB flash drive instead of floppy disks.\r\n"    \
  "    Note: before you start, close the USB disk's window in the file manager and make sure that no program is "  \
  "using the disk, or reloading the disk may fail.\r\n"

inline constexpr Instructions kStandardInstructions{
    {"Plover_standard edition_explain", "Plover_标准版格式化使用说明"},
    {KORVANE_HELP_OPENING_EN
     "\r\n"
     "Steps:\r\n"
     "    1. In the \"Select usb disk\" box, choose the USB disk to format.\r\n"
     "    2. In the \"Format operation\" box, choose 720K, 1.2M or 1.44M, then press the \"Begin formatting\" "
     "button.\r\n"
     "    3. When the format is done, a message says so and the USB disk is reloaded.\r\n",
     KORVANE_HELP_OPENING_ZH
     "\r\n"
     "使用步骤：\r\n"
     "    1. 在“选择可移动盘”框中选择要格式化的U盘。\r\n"
     "    2. 在“格式化操作”框中选择720K、1.2M或1.44M格式。不制作引导盘时，直接按“开始格式化”按钮即可；"
     "要制作DOS引导盘时，先选中“DOS引导盘”，再在下拉列表中选择DOS 7.1或DOS 6.22，然后按“开始格式化”按钮。\r\n"
     "    3. 格式化完成后会弹出提示，U盘随即自动重新加载。\r\n"}};

inline constexpr Instructions kEnhancedInstructions{
    {"Plover_enhanced edition_explain", "Plover_增强版格式化使用说明"},
    {KORVANE_HELP_OPENING_EN
     "\r\n"
     "Steps:\r\n"
     "    1. In the \"Select usb disk\" box, choose the USB disk.\r\n"
     "    2. Tick the check box below the disk list to start the multi-floppy service of the USB disk; untick it "
     "to stop the service.\r\n"
     "    3. When the disk already holds consecutive floppy blocks, the \"Select floppy block\" list shows them; "
     "choosing one makes the program reload the disk with that block.\r\n"
     "    4. Tick \"DOS bootable disk\" to format blocks as DOS 6.22 or DOS 7.1 boot disks, and choose the version "
     "in the list beside it.\r\n"
     "    5. The \"<<Previous block\" and \"Next block>>\" buttons move to the neighbouring block.\r\n"
     "    6. The \"Batch format\" button divides the disk into as many blocks as the \"Floppy blocks\" box says, "
     "at most 100. Each block gets a default identifier made of FLPPY and its number, from FLPPY0 to FLPPY99 "
     "(identifiers are not shown on Windows 2000).\r\n"
     "    7. To rename the current block, type the new identifier in the box beside the \"Block identifier\" "
     "button and press the button.\r\n"
     "    8. The \"Single Disk format\" button formats the current block again.\r\n"
     "    9. Untick the service check box before you close the program, or the USB disk will not work "
     "normally.\r\n",
     KORVANE_HELP_OPENING_ZH
     "\r\n"
     "使用步骤：\r\n"
     "    1. 在“选择可移动盘”框中选择U盘。\r\n"
     "    2. 选中磁盘列表下方的复选框即启用U盘软盘块服务，取消选中即关闭该服务。\r\n"
     "    3. 如果U盘上已有连续的软盘块，“选择软盘块”下拉列表会列出它们；选择其中一个，程序就会以该软盘块"
     "重新加载U盘。\r\n"
     "    4. 选中“DOS引导盘”，并在旁边的列表中选择DOS 6.22或DOS 7.1，软盘块即格式化为DOS引导盘。\r\n"
     "    5. 按“<<前一软盘”或“>>后一软盘”按钮切换到相邻的软盘块。\r\n"
     "    6. 按“批量格式化”按钮，U盘按“软盘块数”框中的数目（最多100个）分成软盘块，每个软盘块的默认标识"
     "由FLPPY和软盘块号组成，从FLPPY0到FLPPY99（Windows 2000下不可见）。\r\n"
     "    7. 在“设置新标识”按钮旁边的输入框中输入新的标识，再按“设置新标识”按钮，即成为当前软盘块的标识。\r\n"
     "    8. 按“单盘格式化”按钮重新格式化当前软盘块。\r\n"
     "    9. 关闭程序前请先取消选中服务复选框，关闭U盘软盘块服务，否则U盘将不能正常使用。\r\n"}};

inline constexpr Instructions kUsbFormatInstructions{
    {"USB disk format_explain", "U盘格式化使用说明"},
    {KORVANE_HELP_OPENING_EN
     "\r\n"
     "    This page formats USB disks for everyday use. Setting the parameters before formatting makes better use "
     "of the disk's space.\r\n"
     "\r\n"
     "Steps:\r\n"
     "    1. In the \"Select usb disk\" box, choose the USB disk.\r\n"
     "    2. FAT number: how many FATs the disk gets, two by default (a main one and a backup; the backup may be "
     "left out).\r\n"
     "    3. Unit size: the allocation unit, the smallest amount of space a file takes, that is the sectors per "
     "cluster.\r\n"
     "    4. Volume label: the disk's name.\r\n"
     "    5. Stored file number (512 at most): how many files and directories the disk's root directory can "
     "hold.\r\n"
     "    6. Data area set as (hex): fills the area that holds the files' contents with the given byte.\r\n"
     "    7. Press the \"Begin formatting\" button. The program restarts the USB disk by itself, without unplugging "
     "it, and tells you when it is done.\r\n",
     KORVANE_HELP_OPENING_ZH
     "\r\n"
     "    本页用于U盘的日常格式化，格式化前设置好参数，可以更合理地利用U盘空间。\r\n"
     "\r\n"
     "使用步骤：\r\n"
     "    1. 在“选择可移动盘”框中选择U盘。\r\n"
     "    2. FAT表数：文件分配表的数目，默认为2个（1个主FAT表和1个备份FAT表，备份FAT表可以不要）。\r\n"
     "    3. 簇大小：文件存储的最小单元，即每簇的扇区数。\r\n"
     "    4. 磁盘卷标名：U盘的标识名称。\r\n"
     "    5. 存储文件数（不超过512）：U盘根目录下最多能存放的文件和目录数。\r\n"
     "    6. 将数据区置为（16进制）：用指定的字节填充存放文件内容的数据区。\r\n"
     "    7. 按“开始格式化”按钮。程序会自动重新启动U盘，无需拔插，完成后会弹出提示。\r\n"}};

#undef KORVANE_HELP_OPENING_ZH
#undef KORVANE_HELP_OPENING_EN
