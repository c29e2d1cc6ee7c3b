#include "util/hex_dump.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace repcopy {
namespace {

const std::string kOpen =
    std::string(34, '-') + " " + std::string(25, '-') + " " + std::string(16, '-') + "\n";
const std::string kClose =
    std::string(34, '=') + " " + std::string(25, '=') + " " + std::string(16, '=') + "\n";
// A line that shows only its offset: 17 empty columns before the (empty) text.
std::string offset_only(const char* offset) {
  return std::string(offset) + ": " + std::string(51, ' ') + "\n";
}

std::string dump(const std::vector<uint8_t>& data, size_t end, size_t start = 0) {
  std::ostringstream os;
  hex_dump_to(os, data, end, start);
  return os.str();
}

std::vector<uint8_t> bytes_from(uint8_t first, size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(first + i);
  return v;
}

TEST(HexDump, TwentyBytesGiveAFullLineAndAShortOneWithAlignedText) {
  std::vector<uint8_t> data = bytes_from(0x30, 16);
  for (uint8_t b : {0x00, 0x1F, 0x41, 0xFF}) data.push_back(b);
  EXPECT_EQ(dump(data, 20),
            kOpen +
                "00000000:  30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F   0123456789:;<=>?\n" +
                "00000010:  00 1F 41 FF" + std::string(39, ' ') + "..A\xFF\n" + kClose);
}

TEST(HexDump, FromFiveToSixteenLeavesFiveEmptyColumns) {
  EXPECT_EQ(dump(bytes_from(0x41, 16), 16, 5),
            kOpen + "00000000: " + std::string(15, ' ') + " 46 47 48 49 4A 4B 4C 4D 4E 4F 50" +
                std::string(8, ' ') + "FGHIJKLMNOP\n" + offset_only("00000010") + kClose);
}

TEST(HexDump, EndOnALineBoundaryEndsWithAnOffsetOnlyLine) {
  EXPECT_EQ(
      dump(bytes_from(0x61, 32), 32),
      kOpen + "00000000:  61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70   abcdefghijklmnop\n" +
          "00000010:  71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F 80   qrstuvwxyz{|}~\x7F\x80\n" +
          offset_only("00000020") + kClose);
}

TEST(HexDump, NoBytesOnStandardOutputAndEndsPastTheDataAreClamped) {
  testing::internal::CaptureStdout();
  hex_dump({}, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kOpen + offset_only("00000000") + kClose);
  const std::vector<uint8_t> data = bytes_from(0x41, 4);
  EXPECT_EQ(dump(data, 1000), dump(data, 4));
  EXPECT_EQ(dump(data, 2, 3), dump(data, 2, 2));  // start past end: nothing shown
}

}  // namespace
}  // namespace repcopy
