// Installation of the filter driver as a kernel driver service: the driver file goes into the system's driver
// directory and the service key is written directly, without the service control manager.
#pragma once

#include <cstdint>
#include <string>

// The service name, which is also the name put into a disk's upper filter list.
inline constexpr char kFilterServiceName[] = "Dunmarle";
// The driver file, taken from the current directory.
inline constexpr char kFilterDriverFile[] = "Dunmarle.sys";
inline constexpr char kFilterServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\Dunmarle";
// Appended to the Windows directory to name the installed driver.
inline constexpr char kInstalledDriverSuffix[] = "\\system32\\drivers\\Dunmarle.sys";
// The installed driver's path has to fit this many characters with its terminating zero.
constexpr uint32_t kInstalledDriverPathSize = 80;

// Where the driver is installed: the Windows directory followed by kInstalledDriverSuffix. Empty when the Windows
// directory cannot be read or is too long for the path to fit kInstalledDriverPathSize.
std::string InstalledDriverPath();

// Copies the driver file over the installed one and writes the service's seven values. 1 when the file was copied
// and the key created or opened, else 0; a failed copy leaves the registry untouched.
int InstallFilterService();
