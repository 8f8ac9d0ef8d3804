// The platform seam: every operating-system service the program uses, as plain functions.
//
// Three implementations, one linked into each program: src/sys/win32 (the real Windows API), src/sys/sim (a
// simulated Windows machine used by the native tests and the simulated Windows program) and src/sys/posix (this
// Linux machine's own files and block devices, for the `korvane` tool).
// The functions keep the shape, flags and error numbers of the Win32 calls they stand for, so the core's logic
// (which flags it passes, how it reacts to ERROR_INSUFFICIENT_BUFFER, ...) is the same on both sides. Types are
// portable; where a Win32 structure crosses the seam its layout is mirrored and checked in the Win32 layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------------------------------------------
// Handles and constants
// ---------------------------------------------------------------------------------------------------------------

typedef void* SysHandle;
inline SysHandle SysInvalidHandle() { return reinterpret_cast<SysHandle>(static_cast<intptr_t>(-1)); }

// Access, sharing, creation and attribute flags (Win32 values).
constexpr uint32_t kSysGenericRead = 0x80000000u;
constexpr uint32_t kSysGenericWrite = 0x40000000u;
constexpr uint32_t kSysShareRead = 0x1;
constexpr uint32_t kSysShareWrite = 0x2;
constexpr uint32_t kSysShareDelete = 0x4;
constexpr uint32_t kSysCreateAlways = 2;
constexpr uint32_t kSysOpenExisting = 3;
constexpr uint32_t kSysOpenAlways = 4;
constexpr uint32_t kSysAttributeNormal = 0x80;
constexpr uint32_t kSysFileBegin = 0;
constexpr uint32_t kSysInvalidSetFilePointer = 0xFFFFFFFFu;

// Error numbers the program looks at (Win32 values).
constexpr uint32_t kSysErrorSuccess = 0;
constexpr uint32_t kSysErrorFileNotFound = 2;
constexpr uint32_t kSysErrorPathNotFound = 3;
constexpr uint32_t kSysErrorAccessDenied = 5;
constexpr uint32_t kSysErrorInvalidHandle = 6;
constexpr uint32_t kSysErrorNotReady = 21;
constexpr uint32_t kSysErrorSectorNotFound = 27;
constexpr uint32_t kSysErrorWriteFault = 29;
constexpr uint32_t kSysErrorReadFault = 30;
constexpr uint32_t kSysErrorSharingViolation = 32;
constexpr uint32_t kSysErrorInvalidParameter = 87;
constexpr uint32_t kSysErrorInsufficientBuffer = 122;
constexpr uint32_t kSysErrorNoMoreItems = 259;
constexpr uint32_t kSysErrorNotSupported = 50;
constexpr uint32_t kSysErrorInvalidFunction = 1;
constexpr uint32_t kSysErrorDeviceNotConnected = 1167;
constexpr uint32_t kSysErrorNoSuchDevinst = 0xE000020B;

// ---------------------------------------------------------------------------------------------------------------
// Files and devices
// ---------------------------------------------------------------------------------------------------------------

// CreateFileA with no security attributes and no template. Returns SysInvalidHandle() on failure.
SysHandle SysCreateFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags);
// SetFilePointer: returns the new low 32 bits of the position, or kSysInvalidSetFilePointer on failure (with the
// last error set: with a high part those low bits can be a position too). distanceHigh, when given, carries the
// distance's high 32 bits in and the new position's high 32 bits out.
uint32_t SysSetFilePointer(SysHandle h, int32_t distance, int32_t* distanceHigh, uint32_t method);
bool SysReadFile(SysHandle h, void* buffer, uint32_t bytes, uint32_t* bytesRead);
bool SysWriteFile(SysHandle h, const void* buffer, uint32_t bytes, uint32_t* bytesWritten);
bool SysFlushFileBuffers(SysHandle h);
bool SysCloseHandle(SysHandle h);
// DeviceIoControl without an overlapped structure.
bool SysDeviceIoControl(SysHandle h, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* bytesReturned);

// GetFileAttributesExA (GetFileExInfoStandard): attributes and 64-bit size.
bool SysGetFileAttributesEx(const char* path, uint32_t* attributes, uint64_t* size);
// FindFirstFileA + FindClose: true when something matches the name.
bool SysFindFile(const char* pattern);
bool SysCopyFile(const char* from, const char* to, bool failIfExists);
// GetCurrentDirectoryA / GetWindowsDirectoryA: the length written (without the zero), 0 on failure, or the size
// needed when the buffer is too small.
uint32_t SysGetCurrentDirectory(uint32_t size, char* buffer);
uint32_t SysGetWindowsDirectory(char* buffer, uint32_t size);

// ---------------------------------------------------------------------------------------------------------------
// Errors, diagnostics, time
// ---------------------------------------------------------------------------------------------------------------

uint32_t SysGetLastError();
void SysSetLastError(uint32_t error);
// FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, no source, error, language 0x400, buffer, size): the length written,
// 0 when the system has no text for the error.
uint32_t SysFormatMessage(uint32_t error, char* buffer, uint32_t size);
void SysOutputDebugString(const char* text);

struct SysTime {
  uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
void SysGetLocalTime(SysTime* time);
void SysSleep(uint32_t milliseconds);

// ---------------------------------------------------------------------------------------------------------------
// The OEM code page: the one DOS, Windows Explorer and the FAT directory keep labels and 8.3 names in (437 or 850
// on Western systems, 936 on Chinese ones)
// ---------------------------------------------------------------------------------------------------------------

uint32_t SysGetOemCodePage();  // GetOEMCP
// WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, ...) of a UTF-8 text: false when a character has no bytes of
// its own in the code page (the default character was used), so nothing is ever stored as a look-alike or "?".
bool SysUtf8ToOem(const std::string& utf8, std::string* oem);
// MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS, ...) to UTF-8: false when the bytes do not decode.
bool SysOemToUtf8(const std::string& oem, std::string* utf8);

// ---------------------------------------------------------------------------------------------------------------
// Volumes and names
// ---------------------------------------------------------------------------------------------------------------

// GetLogicalDriveStringsA: "C:\<0>E:\<0><0>"; returns the length written without the final zero.
uint32_t SysGetLogicalDriveStrings(uint32_t size, char* buffer);
bool SysGetDiskFreeSpaceEx(const char* rootPath, uint64_t* freeToCaller, uint64_t* totalBytes, uint64_t* totalFree);
// QueryDosDeviceA for one name: the characters stored (including the two final zeros), 0 on failure.
uint32_t SysQueryDosDevice(const char* deviceName, char* target, uint32_t size);

// ---------------------------------------------------------------------------------------------------------------
// Setup API
// ---------------------------------------------------------------------------------------------------------------

struct SysGuid {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];
};
bool operator==(const SysGuid& a, const SysGuid& b);

// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}
constexpr SysGuid kGuidDevinterfaceDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// {53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}
constexpr SysGuid kGuidDevinterfaceVolume = {0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// {2ACCFE60-C130-11D2-B082-00A0C91EFB8B}
constexpr SysGuid kGuidDevinterfaceStoragePort = {0x2ACCFE60, 0xC130, 0x11D2, {0xB0, 0x82, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// {4D36E97D-E325-11CE-BFC1-08002BE10318}
constexpr SysGuid kGuidDevclassSystem = {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

typedef void* SysDevInfoSet;
inline SysDevInfoSet SysInvalidDevInfoSet() { return reinterpret_cast<SysDevInfoSet>(static_cast<intptr_t>(-1)); }

// Mirrors SP_DEVINFO_DATA (the Win32 layer checks the layout).
struct SysDevInfo {
  uint32_t cbSize;
  SysGuid classGuid;
  uint32_t devInst;
  uintptr_t reserved;
};
// Mirrors SP_DEVICE_INTERFACE_DATA.
struct SysDevInterface {
  uint32_t cbSize;
  SysGuid interfaceClassGuid;
  uint32_t flags;
  uintptr_t reserved;
};

constexpr uint32_t kDigcfDefault = 0x1;
constexpr uint32_t kDigcfPresent = 0x2;
constexpr uint32_t kDigcfAllClasses = 0x4;
constexpr uint32_t kDigcfProfile = 0x8;
constexpr uint32_t kDigcfDeviceInterface = 0x10;

constexpr uint32_t kSpdrpUpperFilters = 0x11;
constexpr uint32_t kSpdrpPhysicalDeviceObjectName = 0x0E;

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

constexpr uint32_t kDifPropertyChange = 0x12;
constexpr uint32_t kDicsStart = 4;
constexpr uint32_t kDicsStop = 5;
constexpr uint32_t kDicsFlagConfigSpecific = 2;
constexpr uint32_t kDiNeedRestart = 0x80;
constexpr uint32_t kDiNeedReboot = 0x100;

SysDevInfoSet SysSetupDiGetClassDevs(const SysGuid* classGuid, uint32_t flags);
bool SysSetupDiDestroyDeviceInfoList(SysDevInfoSet set);
bool SysSetupDiEnumDeviceInfo(SysDevInfoSet set, uint32_t index, SysDevInfo* device);
bool SysSetupDiEnumDeviceInterfaces(SysDevInfoSet set, const SysGuid* interfaceGuid, uint32_t index,
                                    SysDevInterface* iface);
// SetupDiGetDeviceInterfaceDetailA with a detail buffer of detailSize bytes: copies the device path into
// devicePath (at most pathSize bytes) and fills device.
bool SysSetupDiGetDeviceInterfaceDetail(SysDevInfoSet set, SysDevInterface* iface, uint32_t detailSize,
                                        char* devicePath, uint32_t pathSize, SysDevInfo* device);
bool SysSetupDiGetDeviceRegistryProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                         uint32_t* regType, void* buffer, uint32_t size, uint32_t* requiredSize);
bool SysSetupDiSetDeviceRegistryProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                         const void* buffer, uint32_t size);
// SP_PROPCHANGE_PARAMS for DIF_PROPERTYCHANGE: header (cbSize 8, installFunction), state change, scope, profile.
struct SysPropChangeParams {
  uint32_t cbSize;
  uint32_t installFunction;
  uint32_t stateChange;
  uint32_t scope;
  uint32_t hwProfile;
};
static_assert(sizeof(SysPropChangeParams) == 20, "SP_PROPCHANGE_PARAMS is 20 bytes");
bool SysSetupDiSetClassInstallParams(SysDevInfoSet set, SysDevInfo* device, const SysPropChangeParams* params,
                                     uint32_t size);
bool SysSetupDiCallClassInstaller(uint32_t installFunction, SysDevInfoSet set, SysDevInfo* device);
// SetupDiGetDeviceInstallParamsA (SP_DEVINSTALL_PARAMS_A, 296 bytes on 32-bit Windows): the Flags field.
bool SysSetupDiGetDeviceInstallParams(SysDevInfoSet set, SysDevInfo* device, uint32_t* flags);

// A device information set that releases itself.
struct DeviceInfoSet {
  SysDevInfoSet set;
  explicit DeviceInfoSet(SysDevInfoSet s) : set(s) {}
  DeviceInfoSet(const DeviceInfoSet&) = delete;
  DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
  ~DeviceInfoSet() {
    if (valid()) SysSetupDiDestroyDeviceInfoList(set);
  }
  bool valid() const { return set != SysInvalidDevInfoSet() && set != nullptr; }
};

// ---------------------------------------------------------------------------------------------------------------
// Registry
// ---------------------------------------------------------------------------------------------------------------

typedef void* SysRegKey;
SysRegKey SysHkeyLocalMachine();
// RegCreateKeyA / RegSetValueExA / RegCloseKey: Win32 error codes (0 is success).
int32_t SysRegCreateKey(SysRegKey root, const char* subKey, SysRegKey* key);
int32_t SysRegSetValueEx(SysRegKey key, const char* name, uint32_t type, const void* data, uint32_t size);
int32_t SysRegCloseKey(SysRegKey key);

// ---------------------------------------------------------------------------------------------------------------
// Device notifications (window side)
// ---------------------------------------------------------------------------------------------------------------

// RegisterDeviceNotificationA for device interfaces of one class, delivered to a window (an HWND passed as void*).
void* SysRegisterDeviceNotification(void* window, const SysGuid* interfaceClass);
bool SysUnregisterDeviceNotification(void* notification);
