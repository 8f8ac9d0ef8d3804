#include "sys/lock.h"

#include <new>

#ifdef _WIN32
#include <windows.h>
typedef CRITICAL_SECTION HostLock;
#else
#include <mutex>
typedef std::recursive_mutex HostLock;
#endif

namespace {

static_assert(sizeof(HostLock) <= 64 && alignof(HostLock) <= 8, "the lock's storage is too small for the host lock");

HostLock& Host(unsigned char* storage) { return *std::launder(reinterpret_cast<HostLock*>(storage)); }

}  // namespace

#ifdef _WIN32

SysLock::SysLock() { InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }
SysLock::~SysLock() { DeleteCriticalSection(&Host(storage_)); }
void SysLock::lock() { EnterCriticalSection(&Host(storage_)); }
void SysLock::unlock() { LeaveCriticalSection(&Host(storage_)); }

#else

SysLock::SysLock() { new (storage_) std::recursive_mutex; }
SysLock::~SysLock() { Host(storage_).~recursive_mutex(); }
void SysLock::lock() { Host(storage_).lock(); }
void SysLock::unlock() { Host(storage_).unlock(); }

#endif
