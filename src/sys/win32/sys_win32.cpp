// The platform seam over the real Windows API. Every function is a thin pass-through; structures that cross the
// seam mirror their Win32 layouts, which are checked here at compile time.
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "sys/codepage.h"
#include "sys/ioctl.h"
#include "sys/sys.h"

static_assert(sizeof(SysGuid) == sizeof(GUID), "GUID layout");
static_assert(sizeof(SysDevInfo) == sizeof(SP_DEVINFO_DATA), "SP_DEVINFO_DATA layout");
static_assert(offsetof(SysDevInfo, devInst) == offsetof(SP_DEVINFO_DATA, DevInst), "SP_DEVINFO_DATA layout");
static_assert(sizeof(SysDevInterface) == sizeof(SP_DEVICE_INTERFACE_DATA), "SP_DEVICE_INTERFACE_DATA layout");
static_assert(sizeof(SysPropChangeParams) == sizeof(SP_PROPCHANGE_PARAMS), "SP_PROPCHANGE_PARAMS layout");
static_assert(sizeof(SysTime) == sizeof(SYSTEMTIME), "SYSTEMTIME layout");

// The device request buffers the core builds (sys/ioctl.h) against the SDK's own.
static_assert(kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY, "IOCTL_STORAGE_QUERY_PROPERTY");
static_assert(kIoctlStorageGetDeviceNumber == IOCTL_STORAGE_GET_DEVICE_NUMBER, "IOCTL_STORAGE_GET_DEVICE_NUMBER");
static_assert(kIoctlScsiPassThrough == IOCTL_SCSI_PASS_THROUGH, "IOCTL_SCSI_PASS_THROUGH");
static_assert(kIoctlDiskGetDriveLayout == IOCTL_DISK_GET_DRIVE_LAYOUT, "IOCTL_DISK_GET_DRIVE_LAYOUT");
static_assert(kFsctlLockVolume == FSCTL_LOCK_VOLUME && kFsctlUnlockVolume == FSCTL_UNLOCK_VOLUME &&
                  kFsctlDismountVolume == FSCTL_DISMOUNT_VOLUME,
              "FSCTL codes");
static_assert(sizeof(StoragePropertyQuery) == sizeof(STORAGE_PROPERTY_QUERY), "STORAGE_PROPERTY_QUERY layout");
static_assert(sizeof(StorageDeviceDescriptor) == sizeof(STORAGE_DEVICE_DESCRIPTOR), "STORAGE_DEVICE_DESCRIPTOR");
static_assert(offsetof(StorageDeviceDescriptor, vendorIdOffset) == offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset),
              "STORAGE_DEVICE_DESCRIPTOR layout");
static_assert(offsetof(StorageDeviceDescriptor, busType) == offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType),
              "STORAGE_DEVICE_DESCRIPTOR layout");
static_assert(sizeof(StorageDeviceNumber) == sizeof(STORAGE_DEVICE_NUMBER), "STORAGE_DEVICE_NUMBER layout");
static_assert(sizeof(ScsiPassThrough) == sizeof(SCSI_PASS_THROUGH), "SCSI_PASS_THROUGH size");
static_assert(offsetof(ScsiPassThrough, dataBufferOffset) == offsetof(SCSI_PASS_THROUGH, DataBufferOffset),
              "SCSI_PASS_THROUGH layout");
static_assert(offsetof(ScsiPassThrough, senseInfoOffset) == offsetof(SCSI_PASS_THROUGH, SenseInfoOffset),
              "SCSI_PASS_THROUGH layout");
static_assert(offsetof(ScsiPassThrough, cdb) == offsetof(SCSI_PASS_THROUGH, Cdb), "SCSI_PASS_THROUGH layout");
static_assert(sizeof(PartitionInformation) == sizeof(PARTITION_INFORMATION), "PARTITION_INFORMATION layout");
static_assert(kDriveLayoutEntriesOffset == offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry),
              "DRIVE_LAYOUT_INFORMATION layout");

namespace {
const GUID* AsGuid(const SysGuid* g) { return reinterpret_cast<const GUID*>(g); }
SP_DEVINFO_DATA* AsDevInfo(SysDevInfo* d) { return reinterpret_cast<SP_DEVINFO_DATA*>(d); }
}  // namespace

bool operator==(const SysGuid& a, const SysGuid& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

SysHandle SysCreateFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags) {
  return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}

uint32_t SysSetFilePointer(SysHandle h, int32_t distance, int32_t* distanceHigh, uint32_t method) {
  return SetFilePointer(h, distance, reinterpret_cast<PLONG>(distanceHigh), method);
}

bool SysReadFile(SysHandle h, void* buffer, uint32_t bytes, uint32_t* bytesRead) {
  DWORD done = 0;
  BOOL ok = ReadFile(h, buffer, bytes, &done, nullptr);
  if (bytesRead) *bytesRead = done;
  return ok != FALSE;
}

bool SysWriteFile(SysHandle h, const void* buffer, uint32_t bytes, uint32_t* bytesWritten) {
  DWORD done = 0;
  BOOL ok = WriteFile(h, buffer, bytes, &done, nullptr);
  if (bytesWritten) *bytesWritten = done;
  return ok != FALSE;
}

bool SysFlushFileBuffers(SysHandle h) { return FlushFileBuffers(h) != FALSE; }
bool SysCloseHandle(SysHandle h) { return CloseHandle(h) != FALSE; }

bool SysDeviceIoControl(SysHandle h, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* bytesReturned) {
  DWORD done = 0;
  BOOL ok = DeviceIoControl(h, code, in, inSize, out, outSize, &done, nullptr);
  if (bytesReturned) *bytesReturned = done;
  return ok != FALSE;
}

bool SysGetFileAttributesEx(const char* path, uint32_t* attributes, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
  if (attributes) *attributes = data.dwFileAttributes;
  if (size) *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool SysFindFile(const char* pattern) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

bool SysCopyFile(const char* from, const char* to, bool failIfExists) {
  return CopyFileA(from, to, failIfExists ? TRUE : FALSE) != FALSE;
}

uint32_t SysGetCurrentDirectory(uint32_t size, char* buffer) { return GetCurrentDirectoryA(size, buffer); }
uint32_t SysGetWindowsDirectory(char* buffer, uint32_t size) { return GetWindowsDirectoryA(buffer, size); }

uint32_t SysGetLastError() { return GetLastError(); }
void SysSetLastError(uint32_t error) { SetLastError(error); }

uint32_t SysFormatMessage(uint32_t error, char* buffer, uint32_t size) {
  return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0x400, buffer, size, nullptr);
}

void SysOutputDebugString(const char* text) { OutputDebugStringA(text); }
void SysGetLocalTime(SysTime* time) { GetLocalTime(reinterpret_cast<SYSTEMTIME*>(time)); }
void SysSleep(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t SysGetOemCodePage() { return GetOEMCP(); }
bool SysUtf8ToOem(const std::string& utf8, std::string* oem) { return CodePageFromUtf8(GetOEMCP(), utf8, oem); }
bool SysOemToUtf8(const std::string& oem, std::string* utf8) { return CodePageToUtf8(GetOEMCP(), oem, utf8); }

uint32_t SysGetLogicalDriveStrings(uint32_t size, char* buffer) { return GetLogicalDriveStringsA(size, buffer); }

bool SysGetDiskFreeSpaceEx(const char* rootPath, uint64_t* freeToCaller, uint64_t* totalBytes, uint64_t* totalFree) {
  ULARGE_INTEGER a{}, b{}, c{};
  if (!GetDiskFreeSpaceExA(rootPath, &a, &b, &c)) return false;
  if (freeToCaller) *freeToCaller = a.QuadPart;
  if (totalBytes) *totalBytes = b.QuadPart;
  if (totalFree) *totalFree = c.QuadPart;
  return true;
}

uint32_t SysQueryDosDevice(const char* deviceName, char* target, uint32_t size) {
  return QueryDosDeviceA(deviceName, target, size);
}

SysDevInfoSet SysSetupDiGetClassDevs(const SysGuid* classGuid, uint32_t flags) {
  return SetupDiGetClassDevsA(AsGuid(classGuid), nullptr, nullptr, flags);
}

bool SysSetupDiDestroyDeviceInfoList(SysDevInfoSet set) { return SetupDiDestroyDeviceInfoList(set) != FALSE; }

bool SysSetupDiEnumDeviceInfo(SysDevInfoSet set, uint32_t index, SysDevInfo* device) {
  device->cbSize = sizeof(SP_DEVINFO_DATA);
  return SetupDiEnumDeviceInfo(set, index, AsDevInfo(device)) != FALSE;
}

bool SysSetupDiEnumDeviceInterfaces(SysDevInfoSet set, const SysGuid* interfaceGuid, uint32_t index,
                                    SysDevInterface* iface) {
  iface->cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
  return SetupDiEnumDeviceInterfaces(set, nullptr, AsGuid(interfaceGuid), index,
                                     reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(iface)) != FALSE;
}

bool SysSetupDiGetDeviceInterfaceDetail(SysDevInfoSet set, SysDevInterface* iface, uint32_t detailSize,
                                        char* devicePath, uint32_t pathSize, SysDevInfo* device) {
  std::vector<char> storage(detailSize);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  device->cbSize = sizeof(SP_DEVINFO_DATA);
  if (!SetupDiGetDeviceInterfaceDetailA(set, reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(iface), detail, detailSize,
                                        nullptr, AsDevInfo(device)))
    return false;
  if (pathSize > 0) {
    std::strncpy(devicePath, detail->DevicePath, pathSize - 1);
    devicePath[pathSize - 1] = '\0';
  }
  return true;
}

bool SysSetupDiGetDeviceRegistryProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                         uint32_t* regType, void* buffer, uint32_t size, uint32_t* requiredSize) {
  DWORD type = 0, required = 0;
  BOOL ok = SetupDiGetDeviceRegistryPropertyA(set, AsDevInfo(device), property, &type, static_cast<BYTE*>(buffer),
                                              size, &required);
  if (regType) *regType = type;
  if (requiredSize) *requiredSize = required;
  return ok != FALSE;
}

bool SysSetupDiSetDeviceRegistryProperty(SysDevInfoSet set, SysDevInfo* device, uint32_t property,
                                         const void* buffer, uint32_t size) {
  return SetupDiSetDeviceRegistryPropertyA(set, AsDevInfo(device), property, static_cast<const BYTE*>(buffer),
                                           size) != FALSE;
}

bool SysSetupDiSetClassInstallParams(SysDevInfoSet set, SysDevInfo* device, const SysPropChangeParams* params,
                                     uint32_t size) {
  return SetupDiSetClassInstallParamsA(set, AsDevInfo(device),
                                       reinterpret_cast<SP_CLASSINSTALL_HEADER*>(const_cast<SysPropChangeParams*>(params)),
                                       size) != FALSE;
}

bool SysSetupDiCallClassInstaller(uint32_t installFunction, SysDevInfoSet set, SysDevInfo* device) {
  return SetupDiCallClassInstaller(installFunction, set, AsDevInfo(device)) != FALSE;
}

bool SysSetupDiGetDeviceInstallParams(SysDevInfoSet set, SysDevInfo* device, uint32_t* flags) {
  SP_DEVINSTALL_PARAMS_A params;
  std::memset(&params, 0, sizeof params);
  params.cbSize = sizeof params;
  if (!SetupDiGetDeviceInstallParamsA(set, AsDevInfo(device), &params)) return false;
  if (flags) *flags = params.Flags;
  return true;
}

SysRegKey SysHkeyLocalMachine() { return HKEY_LOCAL_MACHINE; }

int32_t SysRegCreateKey(SysRegKey root, const char* subKey, SysRegKey* key) {
  HKEY result = nullptr;
  LONG code = RegCreateKeyA(static_cast<HKEY>(root), subKey, &result);
  *key = result;
  return code;
}

int32_t SysRegSetValueEx(SysRegKey key, const char* name, uint32_t type, const void* data, uint32_t size) {
  return RegSetValueExA(static_cast<HKEY>(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

int32_t SysRegCloseKey(SysRegKey key) { return RegCloseKey(static_cast<HKEY>(key)); }

void* SysRegisterDeviceNotification(void* window, const SysGuid* interfaceClass) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter;
  std::memset(&filter, 0, sizeof filter);
  filter.dbcc_size = 32;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = *AsGuid(interfaceClass);
  return RegisterDeviceNotificationA(static_cast<HWND>(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

bool SysUnregisterDeviceNotification(void* notification) {
  return UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(notification)) != FALSE;
}
