// The filter driver as the service switch installs it, loaded and unloaded by the system's driver host (Wine's
// services and winedevice, in a 32-bit prefix as on Windows XP and 2000). Run as two programs with a restart of the
// system between them (tests/wine/wine.cmake).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "filtersvc/install.h"

namespace {

DWORD FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

struct Service {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = manager ? OpenServiceA(manager, kFilterServiceName, SERVICE_ALL_ACCESS) : nullptr;
  ~Service() {
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
  }
  DWORD State() {
    SERVICE_STATUS status;
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
  }
  DWORD Stop() {
    SERVICE_STATUS status;
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return GetLastError();
    for (int i = 0; i < 100 && State() != SERVICE_STOPPED; ++i) Sleep(100);
    return 0;
  }
};

// The service switch's installation: the driver beside the program copied into the system's driver folder, the
// service key with it.
TEST(FilterService, TheSwitchInstallsTheDriverAndItsServiceKey) {
  const char* driver = std::getenv("KORVANE_DRIVER");
  ASSERT_NE(driver, nullptr) << "KORVANE_DRIVER names the driver image";
  std::string folder(driver);
  folder.resize(folder.find_last_of('/'));
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));  // the program installs the Dunmarle.sys beside it

  ASSERT_EQ(InstallFilterService(), 1);
  EXPECT_EQ(FileSize(InstalledDriverPath()), FileSize(driver));
  EXPECT_GT(FileSize(InstalledDriverPath()), 0u);
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFilterServiceKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  auto value = [key](const char* name) {
    char data[MAX_PATH] = {};
    DWORD size = sizeof data - 1;
    RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    return std::string(data, size);
  };
  EXPECT_EQ(value("Type"), std::string("\1\0\0\0", 4)) << "a kernel driver";
  EXPECT_EQ(value("Start"), std::string("\3\0\0\0", 4)) << "started on demand";
  EXPECT_STREQ(value("ImagePath").c_str(), "system32\\drivers\\Dunmarle.sys");
  RegCloseKey(key);
}

// After a restart of the system (the service control manager reads the service keys when it starts), the system's
// driver host loads the installed driver, runs its DriverEntry, unloads it and loads it again.
TEST(FilterService, TheDriverHostLoadsAndUnloadsTheInstalledDriver) {
  Service service;
  ASSERT_NE(service.service, nullptr) << "the service control manager does not know the installed service";
  if (service.State() == SERVICE_RUNNING) service.Stop();  // left running by an earlier run
  // Windows takes the relative image path from the system root; Wine's driver host loads it as it stands, relative
  // to its current directory (system32), and fails with STATUS_DLL_INIT_FAILED. The same file by its full name:
  const std::string image = "\\??\\" + InstalledDriverPath();
  ASSERT_TRUE(ChangeServiceConfigA(service.service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                   image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));

  ASSERT_TRUE(StartServiceA(service.service, 0, nullptr)) << "DriverEntry failed: error " << GetLastError();
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(service.Stop(), 0u) << "the driver cannot be unloaded";
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
  ASSERT_TRUE(StartServiceA(service.service, 0, nullptr)) << "error " << GetLastError();
  EXPECT_EQ(service.Stop(), 0u);
}

}  // namespace
