// The simulated machine's registry: keys under HKEY_LOCAL_MACHINE with typed values.
#include "sys/sim/machine.h"

SysRegKey SysHkeyLocalMachine() { return reinterpret_cast<SysRegKey>(static_cast<intptr_t>(0x80000002)); }

int32_t SysRegCreateKey(SysRegKey root, const char* subKey, SysRegKey* key) {
  (void)root;
  (void)subKey;
  (void)key;
  return 5;
}

int32_t SysRegSetValueEx(SysRegKey key, const char* name, uint32_t type, const void* data, uint32_t size) {
  (void)key;
  (void)name;
  (void)type;
  (void)data;
  (void)size;
  return 6;
}

int32_t SysRegCloseKey(SysRegKey key) {
  (void)key;
  return 0;
}
