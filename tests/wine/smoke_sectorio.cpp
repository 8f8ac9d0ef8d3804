// The real Win32 layer, run under Wine against an image file: open, write, read back, fill.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "disk/sectorio.h"

namespace {

using Bytes = std::vector<unsigned char>;

// `count` bytes of the file from `offset`, as far as the file holds them.
Bytes FileBytes(const std::string& name, uint64_t offset, size_t count) {
  std::ifstream file(name, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  Bytes data(count);
  file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(count));
  data.resize(static_cast<size_t>(file.gcount()));
  return data;
}

// A small image, and a sparse 3.5 GiB one where the seek's high part takes a transfer across the 2 GiB line to
// where it lies and a fill reaches the last sector.
TEST(WineSectorIo, WritesReadsAndFillsAnImageThroughTheWin32Layer) {
  const struct { uint64_t sectors; uint32_t write, fill, fillCount; } cases[] = {
      {128, 10, 40, 45}, {7340032, 4194302, 7340000, 32}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "an image of " << c.sectors << " sectors");
    const std::string name = "Z:\\tmp\\ks" + std::to_string(GetCurrentProcessId() % 100000) + ".img";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LONG high = static_cast<LONG>(c.sectors * 512 >> 32);
    EXPECT_NE(SetFilePointer(file, static_cast<LONG>(c.sectors * 512), &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    Bytes pattern(3 * 512);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i * 7 + i / 512);
    {
      DeviceHandle disk(OpenDevice(name.c_str()));
      ASSERT_TRUE(disk.valid()) << "error " << GetLastError();
      EXPECT_EQ(WriteSectors(disk.get(), c.write, 3, pattern.data(), nullptr), SectorIo::kOk);
      EXPECT_EQ(FillSectors(disk.get(), c.fill, c.fillCount, 0xF6, nullptr), SectorIo::kOk);
      Bytes back(3 * 512);
      EXPECT_EQ(ReadSectors(disk.get(), c.write, 3, back.data()), SectorIo::kOk);
      EXPECT_EQ(back, pattern);
    }
    EXPECT_EQ(FileBytes(name, uint64_t{c.write} * 512, 3 * 512), pattern);
    // The fill and a byte either side; the file neither grows nor has anything written at its start.
    Bytes fill(c.fillCount * 512 + 2, 0xF6);
    fill.front() = fill.back() = 0;
    fill.resize(std::min<size_t>(fill.size(), (c.sectors - c.fill) * 512 + 1));
    EXPECT_EQ(FileBytes(name, uint64_t{c.fill} * 512 - 1, c.fillCount * 512 + 2), fill);
    EXPECT_EQ(FileBytes(name, c.sectors * 512 - 1, 2).size(), 1u) << "the file grew";
    EXPECT_EQ(FileBytes(name, 0, 512), Bytes(512, 0)) << "a transfer landed at the start";
    std::remove(name.c_str());
  }
}

TEST(WineSectorIo, AMissingDeviceCannotBeOpened) {
  EXPECT_FALSE(DeviceHandle(OpenDevice("Z:\\tmp\\no-such-image.img")).valid());
}

}  // namespace
