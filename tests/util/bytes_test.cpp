#include "util/bytes.h"

#include <gtest/gtest.h>

namespace repcopy {
namespace {

TEST(ByteReader, RefusesToReadPastTheEnd) {
  const uint8_t data[] = {1, 0, 0, 0, 2, 0, 0};
  byte_reader r(data);
  uint32_t v = 0;
  ASSERT_TRUE(r.u32(v));
  EXPECT_EQ(v, 1u);
  EXPECT_FALSE(r.u32(v));
  EXPECT_EQ(r.pos(), 4u);  // a failed read leaves the position alone
  uint16_t w = 0;
  EXPECT_TRUE(r.u16(w));
  EXPECT_EQ(w, 2u);
}

TEST(ByteReader, CountedStringWithAbsurdLengthFailsWithoutMoving) {
  const uint8_t data[] = {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0};
  byte_reader r(data);
  std::u16string s;
  EXPECT_FALSE(r.counted_utf16(s));
  EXPECT_EQ(r.pos(), 0u);
}

}  // namespace
}  // namespace repcopy
