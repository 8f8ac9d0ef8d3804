// What the simulated machine (src/sys/sim) and the seam over Linux files and block devices (src/sys/posix) do
// alike. seam_common.cpp also defines the seam functions that are the same on both: SysFormatMessage (the Windows
// texts of the errors they set), SysSleep, the SysGuid comparison, and the OEM code page conversions (with the
// code page SysGetOemCodePage gives).
#pragma once

#include <cstdint>
#include <string>

#include "sys/sys.h"

// The host's local time as GetLocalTime gives it.
void HostLocalTime(SysTime* time);
// GetFileAttributesEx of a host file: directory or archive, read-only when the owner may not write it, and its
// size. False with ERROR_FILE_NOT_FOUND when it is not there.
bool HostFileAttributes(const std::string& hostPath, uint32_t* attributes, uint64_t* size);
