// The real Win32 layer, run under Wine against an image file: open, write, read back, fill.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "disk/sectorio.h"

namespace {

using Bytes = std::vector<unsigned char>;

// An image file of `bytes` (sparse when large), removed when the test ends.
struct ImageFile {
  std::string name = "Z:\\tmp\\ks" + std::to_string(GetCurrentProcessId() % 100000) + ".img";
  explicit ImageFile(uint64_t bytes) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LONG high = static_cast<LONG>(bytes >> 32);
    EXPECT_NE(SetFilePointer(file, static_cast<LONG>(bytes), &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
  }
  ~ImageFile() { std::remove(name.c_str()); }
  // `count` bytes from `offset`, as the file holds them.
  Bytes Read(uint64_t offset, size_t count) const {
    std::ifstream file(name, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    Bytes data(count);
    file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(count));
    data.resize(static_cast<size_t>(file.gcount()));
    return data;
  }
};

Bytes Pattern(size_t sectors, unsigned char (*byte)(size_t)) {
  Bytes pattern(sectors * 512);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = byte(i);
  return pattern;
}

TEST(WineSectorIo, WritesReadsAndFillsAnImageThroughTheWin32Layer) {
  ImageFile image(128 * 512);
  const Bytes pattern = Pattern(3, [](size_t i) { return static_cast<unsigned char>(i * 7); });
  {
    DeviceHandle disk(OpenDevice(image.name.c_str()));
    ASSERT_TRUE(disk.valid()) << "error " << GetLastError();
    EXPECT_EQ(WriteSectors(disk.get(), 10, 3, pattern.data(), nullptr), SectorIo::kOk);
    EXPECT_EQ(FillSectors(disk.get(), 40, 45, 0xF6, nullptr), SectorIo::kOk);
    Bytes back(3 * 512);
    EXPECT_EQ(ReadSectors(disk.get(), 10, 3, back.data()), SectorIo::kOk);
    EXPECT_EQ(back, pattern);
  }
  ASSERT_EQ(image.Read(0, 129 * 512).size(), 128u * 512);
  EXPECT_EQ(image.Read(10 * 512, 3 * 512), pattern);
  EXPECT_EQ(image.Read(40 * 512 - 1, 45 * 512 + 2), [] {
    Bytes fill(45 * 512 + 2, 0xF6);
    fill.front() = fill.back() = 0;
    return fill;
  }());
}

// A sparse 3.5 GiB image: the seek's high part takes a transfer across the 2 GiB line to where it lies.
TEST(WineSectorIo, SectorsPastTwoGibibytesAreReachedThroughTheWin32Layer) {
  ImageFile image(0xE0000000ull);
  const Bytes pattern = Pattern(4, [](size_t i) { return static_cast<unsigned char>(i / 512 + 0x41); });
  {
    DeviceHandle disk(OpenDevice(image.name.c_str()));
    ASSERT_TRUE(disk.valid()) << "error " << GetLastError();
    EXPECT_EQ(WriteSectors(disk.get(), 4194302, 4, pattern.data(), nullptr), SectorIo::kOk);
    EXPECT_EQ(FillSectors(disk.get(), 7340000, 32, 0xF6, nullptr), SectorIo::kOk);
    Bytes back(4 * 512);
    EXPECT_EQ(ReadSectors(disk.get(), 4194302, 4, back.data()), SectorIo::kOk);
    EXPECT_EQ(back, pattern);
  }
  EXPECT_EQ(image.Read(4194302ull * 512, 4 * 512), pattern) << "the sectors either side of 2 GiB";
  EXPECT_EQ(image.Read(7340031ull * 512, 512), Bytes(512, 0xF6)) << "the disk's last sector";
  EXPECT_EQ(image.Read(0, 512), Bytes(512, 0)) << "a transfer past 2 GiB landed at the start";
}

TEST(WineSectorIo, AMissingDeviceCannotBeOpened) {
  EXPECT_FALSE(DeviceHandle(OpenDevice("Z:\\tmp\\no-such-image.img")).valid());
}

}  // namespace
