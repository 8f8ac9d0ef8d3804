// What the enhanced page tells the user after a multi-floppy service run, in both languages.
#pragma once

#include "base/texts.h"

inline constexpr TextPair kServiceCaption{"Plover hint", "Plover hint"};
inline constexpr TextPair kServiceNoDiskCaption{"Plover Hint", "Plover Hint"};

inline constexpr TextPair kServiceStarted{"**the function of USB disk multiply floppy block is started.\r\n",
                                          "**U盘多软盘块操作功能已启用.\r\n"};
inline constexpr TextPair kServiceStartNeedsRestart{
    "Start the USB disk multiply floppy block function is succeed, but after restarting the function will take "
    "effect.\r\n maybe there is an program is using the disk",
    "启用U盘多软盘块操作功能成功,但需要要重启后才能生效.\r\n这可能是由于当前有程序正在使用该盘引起."};
inline constexpr TextPair kServiceStartFailed{"Start multi-floppy service failure.", "启用U盘多软盘块操作功能失败."};
inline constexpr TextPair kServiceStopped{"The multi-floppy service is successfully closed",
                                          "U盘多软盘块操作功能已成功关闭."};
inline constexpr TextPair kServiceStopNeedsRestart{
    "Close the USB disk multiply floppy block function is succeed, but after restarting the function will take "
    "effect.\r\n maybe there is an program is using the disk",
    "U盘软盘块功能已成功关闭,但重启后才能生效.\r\n这可能是由于当前有程序正在使用该盘引起."};
inline constexpr TextPair kServiceStopFailed{"Close multi-floppy service failure.", "关闭U盘多软盘块操作功能失败."};
inline constexpr TextPair kServiceDriverNotLoaded{
    "Windows did not load the multi-floppy filter driver Dunmarle.sys, so the multi-floppy service was not "
    "started; the USB disk was left as it was.\r\n64-bit Windows Vista and later load only signed drivers: use a "
    "signed Dunmarle.sys, or switch on test signing (bcdedit /set testsigning on) and restart.",
    "Windows 未能加载U盘多软盘块过滤驱动 Dunmarle.sys, U盘多软盘块操作功能未启用, U盘保持原样.\r\n"
    "64位 Windows Vista 及以后的系统只加载有数字签名的驱动: 请使用已签名的 Dunmarle.sys, "
    "或开启测试签名模式(bcdedit /set testsigning on)后重启."};
// No device node belongs to the disk: the English text in both languages.
inline constexpr TextPair kServiceNoDevice{"Please select a usb disk.", "Please select a usb disk."};
inline constexpr TextPair kServiceNoDisk{"Please first select a usb disk.", "请先选择U盘."};
inline constexpr TextPair kServiceDriverMissing{
    "The file \"Dunmarle.sys\" is not in the current directory.\r\nStarting the USB disk floppy block service failed.",
    "当前目录下缺少文件\"Dunmarle.sys\",\r\n启用U盘软盘块服务失败."};
