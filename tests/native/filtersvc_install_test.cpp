#include <string>
#include <vector>

#include "filtersvc/install.h"
#include "filtersvc_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

Bytes Dword(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

struct Value {
  const char* name;
  uint32_t type;
  Bytes data;
};

const std::vector<Value>& ServiceValues() {
  static const std::vector<Value> values = {
      {"DisplayName", kRegSz, Text("Dunmarle")},
      {"Group", kRegSz, Text("Disk Bus Extender")},
      {"ImagePath", kRegExpandSz, Text("system32\\drivers\\Dunmarle.sys")},
      {"Start", kRegDword, Dword(3)},
      {"Tag", kRegDword, Dword(4)},
      {"Type", kRegDword, Dword(1)},
      {"ErrorControl", kRegDword, Dword(1)},
  };
  return values;
}

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Dunmarle";

void ExpectServiceValues() {
  for (const Value& v : ServiceValues()) {
    uint32_t type = 0;
    Bytes data;
    // The registry compares names without case.
    ASSERT_TRUE(SimGetRegistryValue("system\\currentcontrolset\\services\\DUNMARLE", v.name, &type, &data)) << v.name;
    EXPECT_EQ(type, v.type) << v.name;
    EXPECT_EQ(data, v.data) << v.name;
  }
}

using InstallTest = FilterServiceTest;

TEST_F(InstallTest, CopiesTheDriverAndWritesTheSevenServiceValues) {
  ASSERT_EQ(InstallFilterService(), 1);
  std::string installed;
  ASSERT_TRUE(ReadFile(InstalledDriver(), &installed));
  EXPECT_EQ(installed, "driver v2");
  ExpectServiceValues();
  EXPECT_EQ(SimRegistryValueNames(kKey).size(), 7u);
}

TEST_F(InstallTest, AgainOverAnInstalledServiceReplacesTheDriverAndRewritesOnlyItsValues) {
  WriteFile(InstalledDriver(), "driver v1, an older and longer file");
  SimSetRegistryValue(kKey, "Start", kRegDword, Dword(2));
  SimSetRegistryValue(kKey, "Description", kRegSz, Text("kept"));
  ASSERT_EQ(InstallFilterService(), 1);
  ASSERT_EQ(InstallFilterService(), 1);
  std::string installed;
  ASSERT_TRUE(ReadFile(InstalledDriver(), &installed));
  EXPECT_EQ(installed, "driver v2");
  ExpectServiceValues();
  Bytes kept;
  EXPECT_TRUE(SimGetRegistryValue(kKey, "Description", nullptr, &kept));
  EXPECT_EQ(kept, Text("kept"));
}

TEST_F(InstallTest, WithoutTheDriverFileNothingIsInstalled) {
  std::filesystem::remove(programDir + "/Dunmarle.sys");
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_FALSE(SimRegistryKeyExists("SYSTEM\\CurrentControlSet\\Services"));
  EXPECT_FALSE(std::filesystem::exists(InstalledDriver()));
}

TEST_F(InstallTest, AKeyThatCannotBeCreatedFailsAfterTheCopy) {
  SimFailRegistryCreate(kSysErrorAccessDenied);
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_TRUE(std::filesystem::exists(InstalledDriver()));
  EXPECT_FALSE(SimRegistryKeyExists(kKey));
}

TEST_F(InstallTest, TheInstalledPathMustFitEightyCharacters) {
  // The driver path adds 30 characters and its zero to the Windows directory: 49 characters fit, 50 do not.
  std::string fits = windowsDir + std::string(49 - windowsDir.size(), 'w');
  std::string tooLong = fits + "x";
  for (const std::string& dir : {fits, tooLong}) {
    MakeDir(dir);
    MakeDir(dir + "/system32");
    MakeDir(dir + "/system32/drivers");
  }
  SimSetWindowsDirectory(fits);
  EXPECT_EQ(InstalledDriverPath(), fits + "\\system32\\drivers\\Dunmarle.sys");
  EXPECT_EQ(InstallFilterService(), 1);
  EXPECT_TRUE(std::filesystem::exists(fits + "/system32/drivers/Dunmarle.sys"));

  SimSetWindowsDirectory(tooLong);
  EXPECT_EQ(InstalledDriverPath(), "");
  SimSetRegistryValue(kKey, "Start", kRegDword, Dword(2));
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_FALSE(std::filesystem::exists(tooLong + "/system32/drivers/Dunmarle.sys"));
  uint32_t type = 0;
  Bytes start;
  ASSERT_TRUE(SimGetRegistryValue(kKey, "Start", &type, &start));
  EXPECT_EQ(start, Dword(2)) << "the registry was touched";
}

TEST_F(InstallTest, NoWindowsDirectoryInstallsNothing) {
  SimSetWindowsDirectory("");
  EXPECT_EQ(InstallFilterService(), 0);
  EXPECT_FALSE(SimRegistryKeyExists(kKey));
}

}  // namespace
