// Shared set-up for the filter service tests: a simulated machine whose current directory and Windows directory
// are fresh host directories, with the driver file beside the program.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "filtersvc/install.h"
#include "sim_fixture.h"

class FilterServiceTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    char pattern[] = "/tmp/korvane-filtersvc-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    programDir = root + "/prog";
    windowsDir = root + "/WINDOWS";
    MakeDir(programDir);
    MakeDir(windowsDir);
    MakeDir(windowsDir + "/system32");
    MakeDir(windowsDir + "/system32/drivers");
    SimSetCurrentDirectory(programDir);
    SimSetWindowsDirectory(windowsDir);
    WriteFile(programDir + "/Dunmarle.sys", "driver v2");
  }
  void TearDown() override {
    EXPECT_EQ(SimOpenRegistryKeyCount(), 0) << "a registry key was left open";
    EXPECT_EQ(SimOpenDevInfoSetCount(), 0) << "a device information set was left open";
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    SimTest::TearDown();
  }

  static void MakeDir(const std::string& path) { ASSERT_TRUE(std::filesystem::create_directory(path)) << path; }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static bool ReadFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  }
  std::string InstalledDriver() const { return windowsDir + "/system32/drivers/Dunmarle.sys"; }

  std::string root, programDir, windowsDir;
};
