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
  EXPECT_EQ(WriteSectors(disk.get(), 3, 10, pattern.data()), kSectorIoOk);
  EXPECT_EQ(FillSectors(disk.get(), 40, 45, 0xF6), kSectorIoOk);

  std::vector<unsigned char> back(3 * 512);
  EXPECT_EQ(ReadSectors(disk.get(), 3, 10, back.data()), kSectorIoOk);
  EXPECT_EQ(back, pattern);
  disk.reset();

  std::vector<unsigned char> data = image.Read();
  ASSERT_EQ(data.size(), 128u * 512);
  EXPECT_EQ(std::vector<unsigned char>(data.begin() + 10 * 512, data.begin() + 13 * 512), pattern);
  for (size_t i = 40 * 512; i < 85 * 512; ++i) ASSERT_EQ(data[i], 0xF6) << "byte " << i;
  EXPECT_EQ(data[85 * 512], 0);
  EXPECT_EQ(data[40 * 512 - 1], 0);
}

TEST(WineSectorIo, AMissingDeviceCannotBeOpened) {
  DeviceHandle disk(OpenDevice("Z:\\tmp\\no-such-image.img"));
  EXPECT_FALSE(disk.valid());
}

}  // namespace
