// Shared set-up for the native tests: a fresh simulated machine per test, which must end with no handle, device
// information set or registry key left open, with helpers to add USB disks; the headers every native test uses
// come in here.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "disk/runcontrol.h"
#include "disk/sectorio.h"
#include "sys/sim/sim.h"

// A USB stick in memory as physical drive `number` with one volume.
inline SimDiskSpec MemoryStick(uint64_t sectors, int number = 1, char letter = 'E') {
  return SimStick(number, letter, sectors);
}

// A folder `name` under the test's temporary directory whose SysFile holds small system files of both DOS
// versions, made the simulated machine's current directory. Tests that run at the same time use different names.
inline void UseSmallSystemFiles(const std::string& name) {
  // The process id keeps two runs of the suite (two builds, or two checkouts) from rewriting each other's files.
  const std::string dir = ::testing::TempDir() + name + "." + std::to_string(getpid());
  std::filesystem::create_directories(dir + "/SysFile");
  for (const char* file : {"OS6A", "OS6B", "OS6C", "OS7A", "OS7B", "OS7C"})
    std::ofstream(dir + "/SysFile/" + file) << file;
  SimSetCurrentDirectory(dir);
}

// A fresh host directory that goes away, with all it holds, with the object.
struct HostDirectory {
  std::string path;
  HostDirectory() {
    char pattern[] = "/tmp/korvane-test-XXXXXX";
    path = mkdtemp(pattern) ? pattern : "";
  }
  ~HostDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { SimReset(); }
  void TearDown() override {
    EXPECT_EQ(SimOpenHandleCount(), 0) << "a handle was left open";
    EXPECT_EQ(SimOpenDevInfoSetCount(), 0) << "a device information set was left open";
    EXPECT_EQ(SimOpenRegistryKeyCount(), 0) << "a registry key was left open";
  }

  static void AddDisk(const SimDiskSpec& setup) { ASSERT_TRUE(SimAddDisk(setup)); }
  // Adds the disk as drive 1 holding `byte` in every sector.
  static void AddFilledDisk(const SimDiskSpec& setup, uint8_t byte) {
    AddDisk(setup);
    SimWriteRaw(1, 0, std::vector<uint8_t>(setup.sectorCount * 512, byte));
  }
  static std::vector<uint8_t> Sector(int disk, uint64_t sector) { return SimReadRaw(disk, sector, 1); }
  // True when a line of the debug output holds `text`.
  static bool Traced(const std::string& text) {
    for (const std::string& line : SimDebugOutput())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  // True when every byte of [first, first + count) sectors is `value`.
  static bool AllBytes(int disk, uint64_t first, uint32_t count, uint8_t value) {
    for (uint8_t b : SimReadRaw(disk, first, count))
      if (b != value) return false;
    return true;
  }
};
