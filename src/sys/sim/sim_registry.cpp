// The simulated machine's registry: keys under HKEY_LOCAL_MACHINE with typed values.
//
// Keys live in SimMachineState::registry by their full path in upper case, since the registry compares key and
// value names without case; a value keeps the spelling it was first written with.
#include <algorithm>
#include <cctype>

#include "sys/sim/machine.h"

namespace {

constexpr intptr_t kHklm = 0x80000002;
constexpr int32_t kErrorBadPathname = 161;
constexpr int32_t kErrorNoAccess = 998;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The key path an open handle stands for ("" for the root); false when the handle is not an open key.
bool KeyPathOf(SysRegKey key, std::string* path) {
  intptr_t id = reinterpret_cast<intptr_t>(key);
  if (id == kHklm) {
    path->clear();
    return true;
  }
  auto& keys = SimState().registryKeys;
  auto it = keys.find(static_cast<int>(id));
  if (it == keys.end()) return false;
  *path = it->second;
  return true;
}

// Creates the key and every key above it, as RegCreateKey does.
void CreateKeyPath(const std::string& path) {
  auto& registry = SimState().registry;
  for (size_t pos = path.find('\\'); pos != std::string::npos; pos = path.find('\\', pos + 1))
    registry[path.substr(0, pos)];
  registry[path];
}

std::string NormalisedKey(const std::string& key) {
  std::string path = Upper(key);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

SysRegKey SysHkeyLocalMachine() { return reinterpret_cast<SysRegKey>(kHklm); }

int32_t SysRegCreateKey(SysRegKey root, const char* subKey, SysRegKey* key) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  std::string base;
  if (!key) return static_cast<int32_t>(kSysErrorInvalidParameter);
  if (!KeyPathOf(root, &base)) return static_cast<int32_t>(kSysErrorInvalidHandle);
  std::string sub = subKey ? subKey : "";
  if (!sub.empty() && sub[0] == '\\') return kErrorBadPathname;
  if (m.registryCreateError) return static_cast<int32_t>(m.registryCreateError);
  sub = NormalisedKey(sub);
  std::string path = base.empty() ? sub : sub.empty() ? base : base + "\\" + sub;
  if (!path.empty()) CreateKeyPath(path);
  int id = m.nextRegistryKey;
  m.nextRegistryKey += 4;
  m.registryKeys[id] = path;
  *key = reinterpret_cast<SysRegKey>(static_cast<intptr_t>(id));
  return 0;
}

int32_t SysRegSetValueEx(SysRegKey key, const char* name, uint32_t type, const void* data, uint32_t size) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  std::string path;
  if (!KeyPathOf(key, &path)) return static_cast<int32_t>(kSysErrorInvalidHandle);
  if (!data && size) return kErrorNoAccess;
  std::string valueName = name ? name : "";
  SimRegistryValue& value = m.registry[path][Upper(valueName)];
  if (value.name.empty()) value.name = valueName;
  value.type = type;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  value.data.assign(bytes, bytes + size);
  return 0;
}

int32_t SysRegCloseKey(SysRegKey key) {
  SimMachineState& m = SimState();
  std::lock_guard<SysLock> lock(m.mutex);
  intptr_t id = reinterpret_cast<intptr_t>(key);
  if (id == kHklm) return 0;
  return m.registryKeys.erase(static_cast<int>(id)) ? 0 : static_cast<int32_t>(kSysErrorInvalidHandle);
}

// ---------------------------------------------------------------------------------------------------------------
// Control (sim.h)
// ---------------------------------------------------------------------------------------------------------------

void SimFailRegistryCreate(uint32_t error) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  SimState().registryCreateError = error;
}

bool SimRegistryKeyExists(const std::string& key) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return SimState().registry.count(NormalisedKey(key)) != 0;
}

bool SimGetRegistryValue(const std::string& key, const std::string& name, uint32_t* type, std::vector<uint8_t>* data) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  auto& registry = SimState().registry;
  auto k = registry.find(NormalisedKey(key));
  if (k == registry.end()) return false;
  auto v = k->second.find(Upper(name));
  if (v == k->second.end()) return false;
  if (type) *type = v->second.type;
  if (data) *data = v->second.data;
  return true;
}

void SimSetRegistryValue(const std::string& key, const std::string& name, uint32_t type,
                         const std::vector<uint8_t>& data) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  std::string path = NormalisedKey(key);
  CreateKeyPath(path);
  SimRegistryValue& value = SimState().registry[path][Upper(name)];
  if (value.name.empty()) value.name = name;
  value.type = type;
  value.data = data;
}

std::vector<std::string> SimRegistryValueNames(const std::string& key) {
  std::lock_guard<SysLock> lock(SimState().mutex);
  std::vector<std::string> names;
  auto& registry = SimState().registry;
  auto k = registry.find(NormalisedKey(key));
  if (k != registry.end())
    for (const auto& v : k->second) names.push_back(v.second.name);
  return names;
}

int SimOpenRegistryKeyCount() {
  std::lock_guard<SysLock> lock(SimState().mutex);
  return static_cast<int>(SimState().registryKeys.size());
}
