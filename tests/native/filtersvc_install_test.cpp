#include <string>
#include <vector>

#include "filtersvc/install.h"
#include "filtersvc_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Dunmarle";

Bytes Text(const std::string& text) { return Bytes(text.c_str(), text.c_str() + text.size() + 1); }
Bytes Dword(uint8_t value) { return {value, 0, 0, 0}; }

Bytes Value(const char* name, uint32_t* type) {
  Bytes data;
  // Key and value names compare without case.
  EXPECT_TRUE(SimGetRegistryValue("system\\currentcontrolset\\services\\DUNMARLE", name, type, &data)) << name;
  return data;
}

using InstallTest = FilterServiceTest;

TEST_F(InstallTest, ReplacesTheDriverAndRewritesTheSevenValuesLeavingOthers) {
  std::ofstream(InstalledDriver(), std::ios::binary) << "driver v1, an older and longer file";
  SimSetRegistryValue(kKey, "Start", kRegDword, Dword(2));
  SimSetRegistryValue(kKey, "Description", kRegSz, Text("kept"));
  ASSERT_EQ(InstallFilterService(), 1);
  ASSERT_EQ(InstallFilterService(), 1);
  EXPECT_EQ(FileText(InstalledDriver()), "driver v2");
  const struct {
    const char* name;
    uint32_t type;
    Bytes data;
  } expected[] = {
      {"DisplayName", kRegSz, Text("Dunmarle")},
      {"Group", kRegSz, Text("Disk Bus Extender")},
      {"ImagePath", kRegExpandSz, Text("system32\\drivers\\Dunmarle.sys")},
      {"Start", kRegDword, Dword(3)},
      {"Tag", kRegDword, Dword(4)},
      {"Type", kRegDword, Dword(1)},
      {"ErrorControl", kRegDword, Dword(1)},
      {"Description", kRegSz, Text("kept")},
  };
  for (const auto& v : expected) {
    uint32_t type = 0;
    EXPECT_EQ(Value(v.name, &type), v.data) << v.name;
    EXPECT_EQ(type, v.type) << v.name;
  }
  EXPECT_EQ(SimRegistryValueNames(kKey).size(), 8u);
}

TEST_F(InstallTest, FailuresBeforeTheKeyLeaveTheRegistryAlone) {
  std::filesystem::remove(programDir + "/Dunmarle.sys");
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_FALSE(SimRegistryKeyExists("SYSTEM\\CurrentControlSet\\Services"));
  EXPECT_FALSE(std::filesystem::exists(InstalledDriver()));

  std::ofstream(programDir + "/Dunmarle.sys", std::ios::binary) << "driver v2";
  SimFailRegistryCreate(kSysErrorAccessDenied);
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_EQ(FileText(InstalledDriver()), "driver v2");  // the copy came first
  EXPECT_FALSE(ServiceInstalled());
}

TEST_F(InstallTest, TheInstalledPathMustFitEightyCharacters) {
  // The driver's path adds 30 characters and a zero to the Windows directory: 49 characters fit, 50 do not.
  std::string fits = windowsDir + std::string(49 - windowsDir.size(), 'w'), tooLong = fits + "x";
  std::filesystem::create_directories(fits + "/system32/drivers");
  std::filesystem::create_directories(tooLong + "/system32/drivers");
  SimSetWindowsDirectory(fits);
  EXPECT_EQ(InstalledDriverPath(), fits + "\\system32\\drivers\\Dunmarle.sys");
  EXPECT_EQ(InstallFilterService(), 1);

  SimReset();
  SimSetCurrentDirectory(programDir);
  SimSetWindowsDirectory(tooLong);
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_FALSE(std::filesystem::exists(tooLong + "/system32/drivers/Dunmarle.sys"));
  EXPECT_FALSE(ServiceInstalled());
}

}  // namespace
