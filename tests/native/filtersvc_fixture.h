// Shared set-up for the filter service tests: a simulated machine whose current directory and Windows directory
// are fresh host directories, with the driver file beside the program.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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
    std::filesystem::create_directories(programDir);
    std::filesystem::create_directories(windowsDir + "/system32/drivers");
    SimSetCurrentDirectory(programDir);
    SimSetWindowsDirectory(windowsDir);
    std::ofstream(programDir + "/Dunmarle.sys", std::ios::binary) << "driver v2";
  }
  void TearDown() override {
    EXPECT_EQ(SimOpenRegistryKeyCount(), 0) << "a registry key was left open";
    EXPECT_EQ(SimOpenDevInfoSetCount(), 0) << "a device information set was left open";
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    SimTest::TearDown();
  }

  std::string InstalledDriver() const { return windowsDir + "/system32/drivers/Dunmarle.sys"; }
  static std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static bool ServiceInstalled() { return SimRegistryKeyExists("SYSTEM\\CurrentControlSet\\Services\\Dunmarle"); }

  std::string root, programDir, windowsDir;
};
