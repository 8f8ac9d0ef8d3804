#include "base/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sys/sys.h"

void TraceLine(const char* format, ...) {
  char buffer[512];
  std::memset(buffer, 0, sizeof buffer);
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length >= static_cast<int>(sizeof buffer)) {
    buffer[510] = '\n';
    buffer[511] = '\0';
  }
  SysOutputDebugString(buffer);
}

void TraceLastError(const char* label) {
  uint32_t error = SysGetLastError();
  char text[100];
  std::memset(text, 0, sizeof text);
  if (SysFormatMessage(error, text, sizeof text) == 0) text[0] = '\0';
  TraceLine("%s:Last Err(%x)%s", label, static_cast<unsigned>(error), text);
}
