#include "filtersvc/filter.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/trace.h"
#include "filtersvc/install.h"
#include "filtersvc/restart.h"

namespace {


// The searched classes, in the order they are searched.
const SysGuid* const kFilterClasses[] = {&kGuidDevinterfaceDisk, &kGuidDevinterfaceVolume,
                                         &kGuidDevinterfaceStoragePort, &kGuidDevclassSystem};

std::string TextOf(const std::vector<uint8_t>& data) {
  const char* text = reinterpret_cast<const char*>(data.data());
  return std::string(text, strnlen(text, data.size()));
}

// The first device node of the set that belongs to the disk.
bool FindDiskDevice(SysDevInfoSet set, const std::string& pdoTail, SysDevInfo* device) {
  for (uint32_t index = 0;; ++index) {
    SysDevInfo candidate{};
    candidate.cbSize = sizeof candidate;
    if (!SysSetupDiEnumDeviceInfo(set, index, &candidate)) return false;
    uint32_t type = kRegNone;
    auto pdo = GetDeviceProperty(set, &candidate, kSpdrpPhysicalDeviceObjectName, &type);
    if (pdo && type == kRegSz && DeviceMatchesDisk(TextOf(*pdo), pdoTail)) {
      *device = candidate;
      return true;
    }
  }
}

// The names of the upper filter list; none when the device has no list, or one of another type.
std::optional<std::vector<std::string>> ReadUpperFilters(SysDevInfoSet set, SysDevInfo* device) {
  uint32_t type = kRegNone;
  auto list = GetDeviceProperty(set, device, kSpdrpUpperFilters, &type);
  if (!list || type != kRegMultiSz) return std::nullopt;
  return MultiSzNames(list->data(), list->size());
}

bool WriteUpperFilters(SysDevInfoSet set, SysDevInfo* device, const std::vector<std::string>& names) {
  bool ok;
  if (names.empty()) {
    // Writing no data deletes the property: a device is better left without a list than with an empty one.
    ok = SysSetupDiSetDeviceRegistryProperty(set, device, kSpdrpUpperFilters, nullptr, 0);
  } else {
    std::vector<uint8_t> list = MultiSzBytes(names);
    ok = SysSetupDiSetDeviceRegistryProperty(set, device, kSpdrpUpperFilters, list.data(),
                                             MultiSzSize(list.data(), list.size()));
  }
  if (!ok) TraceLastError("SetupDiSetDeviceRegistryProperty");
  return ok;
}

void RemoveName(std::vector<std::string>& names, const char* name) {
  names.erase(std::remove_if(names.begin(), names.end(),
                             [name](const std::string& n) { return SameFilterName(n, name); }),
              names.end());
}

}  // namespace

std::vector<std::string> MultiSzNames(const uint8_t* list, size_t capacity) {
  std::vector<std::string> names;
  const char* text = reinterpret_cast<const char*>(list);
  size_t pos = 0;
  while (pos < capacity && text[pos] != '\0') {
    size_t length = strnlen(text + pos, capacity - pos);
    names.emplace_back(text + pos, length);
    pos += length + 1;
  }
  return names;
}

std::vector<uint8_t> MultiSzBytes(const std::vector<std::string>& names) {
  std::vector<uint8_t> list;
  for (const std::string& name : names) {
    list.insert(list.end(), name.begin(), name.end());
    list.push_back(0);
  }
  list.push_back(0);
  return list;
}

uint32_t MultiSzSize(const uint8_t* list, size_t capacity) {
  uint32_t size = 1;
  for (const std::string& name : MultiSzNames(list, capacity)) size += static_cast<uint32_t>(name.size() + 1);
  return size;
}

bool SameFilterName(const std::string& candidate, const char* name) {
  size_t length = std::strlen(name);
  if (candidate.size() != length) return false;
  for (size_t i = 0; i < length; ++i)
    if (std::tolower(static_cast<unsigned char>(candidate[i])) != std::tolower(static_cast<unsigned char>(name[i])))
      return false;
  return true;
}

std::string PdoTail(const std::string& pdoName) { return pdoName.size() > 7 ? pdoName.substr(7) : std::string(); }

bool DeviceMatchesDisk(const std::string& devicePdo, const std::string& pdoTail) {
  if (pdoTail.empty()) return false;
  std::string name = devicePdo.compare(0, 7, "\\Device") == 0 ? devicePdo.substr(7) : devicePdo;
  return name == pdoTail;
}

std::optional<std::vector<uint8_t>> GetDeviceProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                                      uint32_t* regType) {
  uint32_t required = 0;
  if (SysSetupDiGetDeviceRegistryProperty(set, device, property, nullptr, nullptr, 0, &required)) return std::nullopt;
  if (SysGetLastError() != kSysErrorInsufficientBuffer || required == 0) return std::nullopt;
  std::vector<uint8_t> data(required);
  uint32_t type = kRegNone;
  if (!SysSetupDiGetDeviceRegistryProperty(set, device, property, &type, data.data(), required, &required))
    return std::nullopt;
  if (regType) *regType = type;
  return data;
}

bool AddUpperFilter(SysDevInfoSet set, SysDevInfo* device, const char* name) {
  // Every attach installs the service again, so a newer driver beside the program replaces the installed one. The
  // list is written even when that fails.
  InstallFilterService();
  std::vector<std::string> names = ReadUpperFilters(set, device).value_or(std::vector<std::string>());
  // A start after one that needed a reboot finds the name there already: keep one, and keep it first.
  RemoveName(names, name);
  names.insert(names.begin(), name);
  return WriteUpperFilters(set, device, names);
}

bool RemoveUpperFilter(SysDevInfoSet set, SysDevInfo* device, const char* name) {
  auto names = ReadUpperFilters(set, device);
  if (!names) return true;
  RemoveName(*names, name);
  return WriteUpperFilters(set, device, *names);
}

FilterResult SetDiskFilter(bool attach, const std::string& pdoTail) {
  if (pdoTail.empty()) return FilterResult::kNoDevice;
  bool found = false, changed = false, restartNeeded = false, setMissing = false;
  for (const SysGuid* deviceClass : kFilterClasses) {
    DeviceInfoSet set(SysSetupDiGetClassDevs(deviceClass, kDigcfPresent | kDigcfProfile | kDigcfDeviceInterface));
    if (!set.valid()) {
      // One class that cannot be listed must not hide a change already made in another: go on with the rest.
      TraceLastError("SetupDiGetClassDevs");
      setMissing = true;
      continue;
    }
    SysDevInfo device{};
    if (!FindDiskDevice(set.set, pdoTail, &device)) continue;
    found = true;
    bool written = attach ? AddUpperFilter(set.set, &device, kFilterServiceName)
                          : RemoveUpperFilter(set.set, &device, kFilterServiceName);
    // A list that could not be written leaves the device as it was: nothing to restart.
    if (!written) continue;
    changed = true;
    if (RestartDevice(set.set, &device) == 0) restartNeeded = true;
  }
  if (!found) return setMissing ? FilterResult::kNoDeviceSet : FilterResult::kNoDevice;
  // A list nobody could write (no administrator rights) must not pass for a service switched on or off.
  if (!changed) return FilterResult::kNotWritten;
  return restartNeeded ? FilterResult::kNeedsReboot : FilterResult::kOk;
}
