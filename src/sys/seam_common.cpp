#include "sys/seam_common.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "sys/codepage.h"

void HostLocalTime(SysTime* time) {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
#ifdef _WIN32
  localtime_s(&t, &now);
#else
  localtime_r(&now, &t);
#endif
  time->year = static_cast<uint16_t>(t.tm_year + 1900);
  time->month = static_cast<uint16_t>(t.tm_mon + 1);
  time->dayOfWeek = static_cast<uint16_t>(t.tm_wday);
  time->day = static_cast<uint16_t>(t.tm_mday);
  time->hour = static_cast<uint16_t>(t.tm_hour);
  time->minute = static_cast<uint16_t>(t.tm_min);
  time->second = static_cast<uint16_t>(t.tm_sec);
  time->milliseconds = 0;
}

bool HostFileAttributes(const std::string& hostPath, uint32_t* attributes, uint64_t* size) {
  struct stat st {};
  if (stat(hostPath.c_str(), &st) != 0) {
    SysSetLastError(kSysErrorFileNotFound);
    return false;
  }
  uint32_t attr = S_ISDIR(st.st_mode) ? 0x10u : 0x20u;  // directory, or archive as Windows sets on new files
#ifndef _WIN32
  if (!(st.st_mode & S_IWUSR)) attr |= 0x01u;           // read-only
#endif
  if (attributes) *attributes = attr;
  if (size) *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool operator==(const SysGuid& a, const SysGuid& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

uint32_t SysFormatMessage(uint32_t error, char* buffer, uint32_t size) {
  static const struct {
    uint32_t error;
    const char* text;
  } kTexts[] = {
      {0, "The operation completed successfully.\r\n"},
      {1, "Incorrect function.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {3, "The system cannot find the path specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {6, "The handle is invalid.\r\n"},
      {21, "The device is not ready.\r\n"},
      {27, "The drive cannot find the sector requested.\r\n"},
      {29, "The system cannot write to the specified device.\r\n"},
      {30, "The system cannot read from the specified device.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n"},
      {50, "The request is not supported.\r\n"},
      {87, "The parameter is incorrect.\r\n"},
      {122, "The data area passed to a system call is too small.\r\n"},
      {1167, "The device is not connected.\r\n"},
  };
  for (const auto& t : kTexts) {
    if (t.error != error) continue;
    const size_t n = std::strlen(t.text);
    if (n + 1 > size) {
      SysSetLastError(kSysErrorInsufficientBuffer);
      return 0;
    }
    std::memcpy(buffer, t.text, n + 1);
    return static_cast<uint32_t>(n);
  }
  SysSetLastError(317);  // ERROR_MR_MID_NOT_FOUND
  return 0;
}

void SysSleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool SysUtf8ToOem(const std::string& utf8, std::string* oem) {
  return CodePageFromUtf8(SysGetOemCodePage(), utf8, oem);
}
bool SysOemToUtf8(const std::string& oem, std::string* utf8) { return CodePageToUtf8(SysGetOemCodePage(), oem, utf8); }
