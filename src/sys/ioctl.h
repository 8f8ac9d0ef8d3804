// Device control codes and the buffers that go with them, as the core sends them and the simulated machine
// answers them. Layouts mirror the Windows DDK structures.
#pragma once

#include <cstdint>

// CTL_CODE(device type, function, method, access).
constexpr uint32_t CtlCode(uint32_t deviceType, uint32_t function, uint32_t method, uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

// The multi-floppy filter driver's requests: device type 0, function 0x400, transfer methods 0 to 3.
constexpr uint32_t kIoctlFilterSelectBlock = CtlCode(0, 0x400, 0, 0);      // 0x1000
constexpr uint32_t kIoctlFilterConfigureBlocks = CtlCode(0, 0x400, 1, 0);  // 0x1001
constexpr uint32_t kIoctlFilterPresence = CtlCode(0, 0x400, 2, 0);         // 0x1002
constexpr uint32_t kIoctlFilterCurrentBlock = CtlCode(0, 0x400, 3, 0);     // 0x1003
static_assert(kIoctlFilterSelectBlock == 0x1000 && kIoctlFilterCurrentBlock == 0x1003, "filter codes");

// The driver marks its presence by completing the presence request with this transferred-byte count.
constexpr uint32_t kFilterPresenceMark = 0x6B5D;
