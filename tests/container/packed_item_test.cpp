#include "container/packed_item.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/container/rep_file_bytes.h"
#include "tests/test_console.h"
#include "util/hex_dump.h"

namespace repcopy {
namespace {

using test::bytes;

// The item placed after 7 unrelated bytes, so that an offset other than 0 is exercised.
unpack_result unpack_at_7(const bytes& item, std::string* out = nullptr,
                          uint64_t len = UINT64_MAX) {
  bytes file = test::le().zeros(7).raw(item);
  testing::internal::CaptureStdout();
  unpack_result r = unpack_item(test_console(), file, 7, len == UINT64_MAX ? item.size() : len);
  std::string text = testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = text;
  return r;
}

bytes pattern(size_t n) {
  bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t("abcabcabd"[i % 9]);
  return b;
}

TEST(UnpackItem, InflatesFarBeyondSixTimesItsPackedLengthByDoubling) {
  const bytes data = pattern(50000);
  // A stored length not above packed_len starts the capacity at 6 x packed_len.
  bytes item = test::item_with("0_events.dat", test::raw_deflate(data), test::zlib_crc(data), 0);
  ASSERT_GT(data.size(), 6 * item.size());
  std::string out;
  unpack_result r = unpack_at_7(item, &out);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.real_len, data.size());
  EXPECT_EQ(bytes(r.data.begin(), r.data.end()), data);
  EXPECT_EQ(out, "");
}

TEST(UnpackItem, EmptyItemGivesFourZeroBytesAndRealLengthZero) {
  for (const bytes& stream : {test::stored_block({}), test::raw_deflate({})}) {
    unpack_result r = unpack_at_7(test::item_with("0_nfields.dat", stream, 0, 0));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.real_len, 0u);
    EXPECT_EQ(bytes(r.data.begin(), r.data.end()), bytes(4, 0));
  }
}

TEST(UnpackItem, FlippedDataByteGivesBadCrcAndKeepsTheData) {
  const bytes data = pattern(100);
  bytes item = test::stored_item("0_src.cache", data);
  item[12 + 11 + 1 + 5 + 3] ^= 0x20;  // header, name, NUL, stored block head, data byte 3
  bytes flipped = data;
  flipped[3] ^= 0x20;
  std::string out;
  unpack_result r = unpack_at_7(item, &out);
  EXPECT_EQ(r.status, -5);
  EXPECT_EQ(bytes(r.data.begin(), r.data.end()), flipped);
  EXPECT_EQ(r.crc32_real, test::zlib_crc(flipped));
  std::ostringstream dump;
  hex_dump_to(dump, flipped, 64);
  EXPECT_EQ(out, "BAD CRC: " + std::to_string(test::zlib_crc(flipped)) +
                     " != " + std::to_string(test::zlib_crc(data)) + "\n" + dump.str());
}

TEST(UnpackItem, DamagedStreamsAreInflateErrors) {
  const bytes cases[] = {
      {0x07},                                         // reserved block type
      test::le().u8(1).u16(100).u16(~100).zeros(10),  // input ends inside the block
      {0x01, 3, 0, 3, 0, 1, 2, 3}                     // LEN and NLEN disagree
  };
  for (const bytes& stream : cases) {
    std::string out;
    unpack_result r = unpack_at_7(test::item_with("n.x", stream, 0, 3), &out);
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(out, "error: Can't uncompress : -3\nuncompress error\n");
  }
}

TEST(UnpackItem, BoundsAreCheckedBeforeAnythingIsRead) {
  const bytes item = test::stored_item("0_cat.cache", {1, 0, 0, 0, 'a', 0});  // 43 bytes at 7
  bytes no_nul = item;
  for (size_t i = 12; i < no_nul.size() - 8; ++i) no_nul[i] = 'n';
  const struct {
    const bytes* item;
    uint64_t len;
    const char* message;
  } cases[] = {
      {&item, item.size() + 1,
       "Truncated item: item_offset 7 + packed_len 44 passes the end of the file (50 bytes)\n"},
      {&item, ~uint64_t(0) - 3,
       "Truncated item: item_offset 7 + packed_len 18446744073709551612 passes the end of the "
       "file (50 bytes)\n"},
      {&item, 20, "Item at offset 7 too short: packed_len 20 < 21\n"},
      {&no_nul, no_nul.size(), "Item at offset 7: name not terminated inside the item\n"}};
  for (const auto& c : cases) {
    std::string out;
    unpack_result r = unpack_at_7(*c.item, &out, c.len);
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(out, c.message);
  }
}

TEST(Capacity, InitialCapacityAndDoublingNeverWrap) {
  EXPECT_EQ(initial_capacity(100, 50), 100u);          // stored length above packed_len
  EXPECT_EQ(initial_capacity(50, 50), 300u);           // not above: 6 x packed_len
  EXPECT_EQ(initial_capacity(0, 0), 8u);               // 0 becomes 8
  EXPECT_EQ(initial_capacity(0, 0x100000000ull), 8u);  // wraps to 0, then 8
  // A stored length no deflate stream of this size can reach is not trusted for allocation.
  EXPECT_EQ(initial_capacity(0xFFFFFFFF, 30), 30u * 1032u);
  EXPECT_EQ(doubled_capacity(8), 16u);
  EXPECT_EQ(doubled_capacity(0x80000000), 0xFFFFFFFFu);
  EXPECT_EQ(doubled_capacity(0xFFFFFFFF), 0u);  // no further attempt
}

}  // namespace
}  // namespace repcopy
