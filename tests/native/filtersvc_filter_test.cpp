#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filtersvc/filter.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The list lives in a buffer of exactly its own size, so a walk past its end shows under AddressSanitizer.
uint32_t SizeOf(const Bytes& list) {
  Bytes exact(list);
  exact.shrink_to_fit();
  return MultiSzSize(exact.empty() ? nullptr : exact.data(), exact.size());
}

TEST(UpperFilterList, SizeCountsEachNameWithItsZeroAndTheFinalZero) {
  EXPECT_EQ(SizeOf(B(std::string("\0", 1))), 1u);
  EXPECT_EQ(SizeOf(B(std::string("Dunmarle\0\0", 10))), 10u);
  EXPECT_EQ(SizeOf(B(std::string("Dunmarle\0Partmgr\0\0", 18))), 18u);
  // An empty name ends the list: what follows it is not part of it.
  EXPECT_EQ(SizeOf(B(std::string("A\0\0B\0\0", 6))), 3u);
}

TEST(UpperFilterList, AListWithoutItsZerosIsReadAsIfTheyWereThere) {
  // Device properties come from the system: a list cut short must not be walked past its end.
  EXPECT_EQ(SizeOf(Bytes()), 1u);
  EXPECT_EQ(SizeOf(B("Foo")), 5u);
  EXPECT_EQ(SizeOf(B(std::string("Foo\0Barbaz", 10))), 12u);
  Bytes cut = B(std::string("Foo\0Barbaz", 10));
  EXPECT_EQ(MultiSzNames(cut.data(), cut.size()), (std::vector<std::string>{"Foo", "Barbaz"}));
  EXPECT_EQ(MultiSzBytes({"Foo", "Barbaz"}), B(std::string("Foo\0Barbaz\0\0", 12)));
  EXPECT_EQ(MultiSzBytes({}), B(std::string("\0", 1)));
}

TEST(UpperFilterList, FilterNamesCompareWithoutCaseButWhole) {
  EXPECT_TRUE(SameFilterName("dunmarle", "Dunmarle"));
  EXPECT_TRUE(SameFilterName("DUNMARLE", "Dunmarle"));
  EXPECT_FALSE(SameFilterName("Dunmarle2", "Dunmarle"));
  EXPECT_FALSE(SameFilterName("Dunmarl", "Dunmarle"));
  EXPECT_FALSE(SameFilterName("", "Dunmarle"));
}

TEST(DeviceMatch, ThePhysicalDeviceObjectNameMatchesExactlyAfterItsDevicePrefix) {
  std::string tail = PdoTail("\\Device\\00000041");
  EXPECT_EQ(tail, "\\00000041");
  EXPECT_TRUE(DeviceMatchesDisk("\\Device\\00000041", tail));
  EXPECT_TRUE(DeviceMatchesDisk("\\00000041", tail));  // the prefix is removed only when present
  EXPECT_FALSE(DeviceMatchesDisk("\\device\\00000041", tail));  // the prefix compares with case
  EXPECT_FALSE(DeviceMatchesDisk("\\Device\\0000004", tail));
  EXPECT_FALSE(DeviceMatchesDisk("\\Device\\000000410", tail));
  EXPECT_FALSE(DeviceMatchesDisk("\\Device\\0000004A", PdoTail("\\Device\\0000004a")));
}

TEST(DeviceMatch, ADiskWithoutANameMatchesNoDevice) {
  EXPECT_EQ(PdoTail(""), "");
  EXPECT_EQ(PdoTail("\\Device"), "");
  EXPECT_FALSE(DeviceMatchesDisk("\\Device", PdoTail("\\Device")));
  EXPECT_FALSE(DeviceMatchesDisk("", PdoTail("")));
}

}  // namespace
