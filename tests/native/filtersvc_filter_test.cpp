#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filtersvc/filter.h"

namespace {

TEST(UpperFilterList, AListWithoutItsZerosIsReadWithinItsSize) {
  // Device properties come from the system; each buffer is exactly the list's size, so a walk past its end shows
  // under AddressSanitizer.
  auto size = [](std::string bytes) {
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    return MultiSzSize(exact.data(), exact.size());
  };
  EXPECT_EQ(size(std::string("Dunmarle\0Partmgr\0\0", 18)), 18u);
  EXPECT_EQ(size(std::string("A\0\0B\0\0", 6)), 3u);  // an empty name ends the list
  EXPECT_EQ(size(""), 1u);
  EXPECT_EQ(size("Foo"), 5u);
  EXPECT_EQ(size(std::string("Foo\0Barbaz", 10)), 12u);
  std::string cut("Foo\0Barbaz", 10);
  EXPECT_EQ(MultiSzNames(reinterpret_cast<const uint8_t*>(cut.data()), cut.size()),
            (std::vector<std::string>{"Foo", "Barbaz"}));
}

TEST(DeviceMatch, ThePhysicalDeviceObjectNameMatchesExactlyAfterItsDevicePrefix) {
  std::string tail = PdoTail("\\Device\\00000029");
  EXPECT_TRUE(DeviceMatchesDisk("\\Device\\00000029", tail));
  EXPECT_TRUE(DeviceMatchesDisk("\\00000029", tail));           // the prefix is removed only when present
  EXPECT_FALSE(DeviceMatchesDisk("\\device\\00000029", tail));  // and compares with case
  EXPECT_FALSE(DeviceMatchesDisk("\\Device\\0000002", tail));
  EXPECT_FALSE(DeviceMatchesDisk("\\Device\\0000002A", PdoTail("\\Device\\0000002a")));
  // A disk without a name matches no device, not even one named "\Device".
  EXPECT_FALSE(DeviceMatchesDisk("\\Device", PdoTail("\\Device")));
  EXPECT_FALSE(DeviceMatchesDisk("", PdoTail("")));
}

}  // namespace
