// The byte cursor every reader of file data goes through: each read succeeds exactly when its
// bytes lie inside the span, and a refused read leaves the position where it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "util/bytes.h"

namespace repcopy {
namespace {

// Seven bytes: 'a' 'b' 'c' as UTF-16LE and one byte more.
const std::vector<uint8_t> kData = {'a', 0, 'b', 0, 'c', 0, 0x7F};

TEST(ByteReader, EachReadFitsOrIsRefusedWithoutMoving) {
  constexpr uint64_t kHuge = std::numeric_limits<uint64_t>::max() / 2 + 1;  // 2n wraps to 0
  enum op { u16, u32, u64, bytes, skip, utf16, counted };
  struct {
    size_t at;
    op what;
    uint64_t n;  // length for bytes, skip, utf16
    bool fits;
  } cases[] = {
      {5, u16, 0, true},   {6, u16, 0, false},     {3, u32, 0, true},    {4, u32, 0, false},
      {0, u64, 0, false},  {7, u32, 0, false},     {0, bytes, 7, true},  {0, bytes, 8, false},
      {7, bytes, 0, true}, {1, skip, 6, true},     {1, skip, 7, false},  {0, utf16, 3, true},
      {1, utf16, 3, true}, {0, utf16, 4, false},   {2, utf16, 3, false}, {0, utf16, kHuge, false},
      {6, utf16, 0, true}, {0, counted, 0, false},
  };
  for (const auto& c : cases) {
    byte_reader r(kData, c.at);
    uint16_t v16;
    uint32_t v32;
    uint64_t v64;
    byte_span span;
    std::u16string text;
    bool ok = false;
    switch (c.what) {
      case u16:
        ok = r.u16(v16);
        break;
      case u32:
        ok = r.u32(v32);
        break;
      case u64:
        ok = r.u64(v64);
        break;
      case bytes:
        ok = r.bytes(c.n, span);
        break;
      case skip:
        ok = r.skip(c.n);
        break;
      case utf16:
        ok = r.utf16(c.n, text);
        break;
      case counted:
        ok = r.counted_utf16(text);
        break;
    }
    const size_t width[] = {2, 4, 8, 0, 0, 0, 0};
    const uint64_t moved = c.what == utf16 ? 2 * c.n : c.what <= u64 ? width[c.what] : c.n;
    EXPECT_EQ(ok, c.fits) << "case " << &c - cases;
    EXPECT_EQ(r.pos(), ok ? c.at + moved : c.at) << "case " << &c - cases;
  }
  byte_reader r(kData, 1);
  std::u16string text;
  ASSERT_TRUE(r.utf16(3, text));
  EXPECT_EQ(text, std::u16string({char16_t(0x6200), char16_t(0x6300), char16_t(0x7F00)}));
}

// A text is read the same whether it starts on a code unit boundary of the buffer or not, into a
// string that held a longer text before or into an empty one; no code units give an empty text.
TEST(ByteReader, TextIsTheSameAtAnEvenOrOddAddressWhateverTheStringHeld) {
  for (const size_t at : {size_t(2), size_t(3)}) {
    for (const std::u16string& before : {std::u16string(), std::u16string(40, u'z')}) {
      alignas(4) std::array<uint8_t, 16> buffer;
      buffer.fill(0xEE);
      const uint8_t abc[] = {'a', 0, 'b', 0, 0x34, 0x12};
      std::copy(std::begin(abc), std::end(abc), buffer.begin() + long(at));
      std::u16string text = before;
      byte_reader r(buffer, at);
      ASSERT_TRUE(r.utf16(3, text));
      EXPECT_EQ(text, u"ab\u1234") << at;
      EXPECT_EQ(r.pos(), at + 6);
      ASSERT_TRUE(r.utf16(0, text));
      EXPECT_EQ(text, u"") << at;
    }
  }
}

// A count that names more code units than follow: refused, and the count is not consumed either.
TEST(ByteReader, CountedTextLongerThanTheRestIsRefused) {
  for (uint32_t n : {2u, 3u, 0x80000000u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> d = {
        uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24), 'x', 0, 'y', 0};
    byte_reader r(d);
    std::u16string text;
    EXPECT_EQ(r.counted_utf16(text), n == 2) << n;
    EXPECT_EQ(r.pos(), n == 2 ? 8u : 0u) << n;
  }
}

}  // namespace
}  // namespace repcopy
