// Registration of the filter driver as an upper filter of a disk's device node, and the small operations on the
// device's upper filter list (a REG_MULTI_SZ: zero-terminated names, then one more zero).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sys/sys.h"

// Results of SetDiskFilter.
enum class FilterResult {
  kOk,           // a device node matched and every restart after a list change went through
  kNoDevice,     // no device node of the searched classes belongs to the disk
  kNeedsReboot,  // the list was changed but a restart needs the system to be restarted
  kNoDeviceSet,  // no device node matched and a device information set could not be obtained
  kNotWritten,   // device nodes matched but none of their lists could be written: nothing changed
};

// Attaches (puts the filter service first in the upper filter list) or detaches (takes every occurrence out) the
// filter for the disk whose physical device object name, without its leading "\Device", is pdoTail, then restarts
// each changed device. The device interface classes of disks, volumes and storage ports and the setup class of
// system devices are searched in that order; the first matching node of each class is changed.
FilterResult SetDiskFilter(bool attach, const std::string& pdoTail);

// Installs the filter service, then puts `name` first in the device's upper filter list. A name already in the
// list moves to the front instead of standing there twice. True when the list was written.
bool AddUpperFilter(SysDevInfoSet set, SysDevInfo* device, const char* name);
// Takes every occurrence of `name` (compared without case) out of the list; an emptied list deletes the property.
// A device without a list succeeds at once. True when the list was written or there was none.
bool RemoveUpperFilter(SysDevInfoSet set, SysDevInfo* device, const char* name);

// A device registry property's data and type; nothing when it cannot be read (or is empty).
std::optional<std::vector<uint8_t>> GetDeviceProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                                      uint32_t* regType);

// Size in bytes of the REG_MULTI_SZ list in list[0, capacity): (length + 1) over its names, plus the final zero.
// A list cut short by capacity counts as if its missing zeros were there, so the size is that of the list as
// MultiSzBytes(MultiSzNames(...)) writes it back.
uint32_t MultiSzSize(const uint8_t* list, size_t capacity);
std::vector<std::string> MultiSzNames(const uint8_t* list, size_t capacity);
std::vector<uint8_t> MultiSzBytes(const std::vector<std::string>& names);

// Whether `candidate` is the filter `name` written in any case. Filter names are ASCII, so folding ASCII letters
// only is exact even for names in a multibyte code page: a lead byte never equals an ASCII letter.
bool SameFilterName(const std::string& candidate, const char* name);

// The disk's physical device object name without its leading "\Device" (from the eighth character on); empty
// for a name too short to have one, which matches no device.
std::string PdoTail(const std::string& pdoName);
// Whether a device node whose physical device object name is devicePdo belongs to the disk: devicePdo, with a
// leading "\Device" removed when present, equals pdoTail exactly (with case).
bool DeviceMatchesDisk(const std::string& devicePdo, const std::string& pdoTail);
