// The real Win32 layer, run under Wine against an image file: open, write, read back, fill.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "disk/sectorio.h"

namespace {

std::string ImageName() { return "Z:\\tmp\\ks" + std::to_string(GetCurrentProcessId() % 100000) + ".img"; }

struct ImageFile {
  std::string name = ImageName();
  explicit ImageFile(size_t sectors) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    std::vector<char> zero(sectors * 512, 0);
    std::fwrite(zero.data(), 1, zero.size(), f);
    std::fclose(f);
  }
  ~ImageFile() { std::remove(name.c_str()); }
  std::vector<unsigned char> Read() const {
    std::vector<unsigned char> data;
    std::FILE* f = std::fopen(name.c_str(), "rb");
    int c;
    while ((c = std::fgetc(f)) != EOF) data.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
    return data;
  }
};

TEST(WineSectorIo, WritesReadsAndFillsAnImageThroughTheWin32Layer) {
  ImageFile image(128);
  DeviceHandle disk(OpenDevice(image.name.c_str()));
  ASSERT_TRUE(disk.valid()) << "error " << GetLastError();

  std::vector<unsigned char> pattern(3 * 512);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i * 7);
  EXPECT_EQ(WriteSectors(disk.get(), 10, 3, pattern.data(), nullptr), SectorIo::kOk);
  EXPECT_EQ(FillSectors(disk.get(), 40, 45, 0xF6, nullptr), SectorIo::kOk);

  std::vector<unsigned char> back(3 * 512);
  EXPECT_EQ(ReadSectors(disk.get(), 10, 3, back.data()), SectorIo::kOk);
  EXPECT_EQ(back, pattern);
  disk.reset();

  std::vector<unsigned char> data = image.Read();
  ASSERT_EQ(data.size(), 128u * 512);
  EXPECT_EQ(std::vector<unsigned char>(data.begin() + 10 * 512, data.begin() + 13 * 512), pattern);
  for (size_t i = 40 * 512; i < 85 * 512; ++i) ASSERT_EQ(data[i], 0xF6) << "byte " << i;
  EXPECT_EQ(data[85 * 512], 0);
  EXPECT_EQ(data[40 * 512 - 1], 0);
}

// A sparse 3.5 GiB image: the seek's high part takes a transfer across the 2 GiB line to where it lies.
TEST(WineSectorIo, SectorsPastTwoGibibytesAreReachedThroughTheWin32Layer) {
  const std::string name = ImageName();
  HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LONG high = 0;  // 3.5 GiB is 0xE0000000 bytes
  ASSERT_NE(SetFilePointer(file, static_cast<LONG>(0xE0000000u), &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  {
    DeviceHandle disk(OpenDevice(name.c_str()));
    ASSERT_TRUE(disk.valid()) << "error " << GetLastError();
    std::vector<unsigned char> pattern(4 * 512);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i / 512 + 0x41);
    EXPECT_EQ(WriteSectors(disk.get(), 4194302, 4, pattern.data(), nullptr), SectorIo::kOk);
    EXPECT_EQ(FillSectors(disk.get(), 7340000, 32, 0xF6, nullptr), SectorIo::kOk);
    std::vector<unsigned char> back(4 * 512);
    EXPECT_EQ(ReadSectors(disk.get(), 4194302, 4, back.data()), SectorIo::kOk);
    EXPECT_EQ(back, pattern);
  }
  std::FILE* f = std::fopen(name.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<unsigned char> at(4 * 512), start(512, 1), end(512);
  ASSERT_EQ(_fseeki64(f, 4194302ll * 512, SEEK_SET), 0);
  EXPECT_EQ(std::fread(at.data(), 1, at.size(), f), at.size());
  EXPECT_EQ(at[2 * 512], 0x43) << "the sector just past 2 GiB";
  ASSERT_EQ(_fseeki64(f, 7340031ll * 512, SEEK_SET), 0);
  EXPECT_EQ(std::fread(end.data(), 1, end.size(), f), end.size());
  EXPECT_EQ(end[511], 0xF6) << "the disk's last sector";
  ASSERT_EQ(_fseeki64(f, 0, SEEK_SET), 0);
  EXPECT_EQ(std::fread(start.data(), 1, start.size(), f), start.size());
  EXPECT_EQ(start, std::vector<unsigned char>(512, 0)) << "a transfer past 2 GiB landed at the start";
  std::fclose(f);
  std::remove(name.c_str());
}

TEST(WineSectorIo, AMissingDeviceCannotBeOpened) {
  DeviceHandle disk(OpenDevice("Z:\\tmp\\no-such-image.img"));
  EXPECT_FALSE(disk.valid());
}

}  // namespace
