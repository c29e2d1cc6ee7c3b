#include "container/packed_item.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/container/container_bytes.h"
#include "util/hex_dump.h"

namespace repcopy {
namespace {

using test::bytes;

// The item placed after some unrelated bytes, so that offsets other than 0 are exercised.
struct placed {
  bytes file;
  uint64_t offset;
  uint64_t len;
};
placed place(const bytes& item) {
  bytes file(7, 0xEE);
  return {test::append(file, item), 7, item.size()};
}

unpack_result unpack_quietly(const placed& p, std::string* out = nullptr) {
  testing::internal::CaptureStdout();
  unpack_result r = unpack_item(p.file, p.offset, p.len);
  std::string text = testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = text;
  return r;
}

std::string dump_text(const bytes& data, size_t end) {
  std::ostringstream os;
  hex_dump_to(os, data, end);
  return os.str();
}

bytes pattern(size_t n) {
  bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t("abcabcabd"[i % 9]);
  return b;
}

TEST(UnpackItem, StoredBlockItemReadsBackItsBytesAndHeader) {
  const bytes data = test::counted_records({u"ab", u""});
  placed p = place(test::stored_item("0_cat.cache", data));
  item_layout it = locate_item(p.file, p.offset, p.len);
  ASSERT_EQ(it.fault, item_fault::none);
  EXPECT_EQ(it.name, "0_cat.cache");
  EXPECT_EQ(it.crc32, test::zlib_crc(data));
  EXPECT_EQ(it.unpacked_len, data.size());

  std::string out;
  unpack_result r = unpack_quietly(p, &out);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.real_len, data.size());
  EXPECT_EQ(r.data, data);
  EXPECT_EQ(r.crc32_real, test::zlib_crc(data));
  EXPECT_EQ(out, "");
}

TEST(UnpackItem, InflatesFarBeyondSixTimesItsPackedLengthByDoubling) {
  const bytes data = pattern(50000);
  // A stored length not above packed_len starts the capacity at 6 x packed_len.
  bytes item = test::item_with("0_events.dat", test::raw_deflate(data), test::zlib_crc(data), 0);
  ASSERT_GT(data.size(), 6 * item.size());
  unpack_result r = unpack_quietly(place(item));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.real_len, data.size());
  EXPECT_EQ(r.data.size(), data.size());
  EXPECT_EQ(r.data, data);
}

TEST(UnpackItem, TrueStoredLengthFitsTheFirstAttemptExactly) {
  const bytes data = pattern(4096);
  unpack_result r = unpack_quietly(place(test::deflated_item("0_desc.cache", data)));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.data, data);
}

TEST(UnpackItem, EmptyItemGivesFourZeroBytesAndRealLengthZero) {
  for (const bytes& stream : {test::stored_block({}), test::raw_deflate({})}) {
    unpack_result r = unpack_quietly(place(test::item_with("0_nfields.dat", stream, 0, 0)));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.real_len, 0u);
    EXPECT_EQ(r.data, bytes(4, 0));
    EXPECT_EQ(r.crc32_real, 0u);
  }
}

TEST(UnpackItem, ShortDataIsZeroPaddedToFourBytes) {
  unpack_result r = unpack_quietly(place(test::stored_item("x.pos", {0x41, 0x42})));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.real_len, 2u);
  EXPECT_EQ(r.data, (bytes{0x41, 0x42, 0, 0}));
}

TEST(UnpackItem, FlippedDataByteGivesBadCrcAndKeepsTheData) {
  const bytes data = pattern(100);
  bytes item = test::stored_item("0_src.cache", data);
  const size_t first_data = 12 + std::string("0_src.cache").size() + 1 + 5;
  item[first_data + 3] ^= 0x20;
  bytes flipped = data;
  flipped[3] ^= 0x20;

  std::string out;
  unpack_result r = unpack_quietly(place(item), &out);
  EXPECT_EQ(r.status, -5);
  EXPECT_EQ(r.data, flipped);
  EXPECT_EQ(r.real_len, 100u);
  EXPECT_EQ(r.crc32_real, test::zlib_crc(flipped));
  EXPECT_EQ(out, "BAD CRC: " + std::to_string(test::zlib_crc(flipped)) +
                     " != " + std::to_string(test::zlib_crc(data)) + "\n" + dump_text(flipped, 64));
}

TEST(UnpackItem, FlippedTrailerOfAShortItemDumpsOnlyItsBytes) {
  bytes item = test::stored_item("a.b", {1, 2, 3});
  item[item.size() - 8] ^= 1;  // the stored crc32
  std::string out;
  unpack_result r = unpack_quietly(place(item), &out);
  EXPECT_EQ(r.status, -5);
  EXPECT_NE(out.find(dump_text(r.data, 3)), std::string::npos);
}

TEST(UnpackItem, OnlyTheFirstTwoSignatureBytesAreChecked) {
  bytes item = test::stored_item("a.b", {1, 2, 3, 4});
  item[2] = 'X';
  item[3] = 'Y';
  EXPECT_EQ(unpack_quietly(place(item)).status, 0);

  item[1] = 'd';
  std::string out;
  unpack_result r = unpack_quietly(place(item), &out);
  EXPECT_EQ(r.status, -1);
  EXPECT_TRUE(r.data.empty());
  EXPECT_EQ(out, "Wrong signature!\n");
}

TEST(UnpackItem, DamagedStreamsAreInflateErrors) {
  bytes truncated_stored{0x01, 100, 0, uint8_t(~100), 0xFF};  // claims 100 bytes, has 10
  truncated_stored.resize(truncated_stored.size() + 10, 'z');
  const bytes cases[] = {
      {0x07},                                    // reserved block type
      truncated_stored,                          // input ends inside the block
      {0x00, 3, 0, uint8_t(~3), 0xFF, 1, 2, 3},  // stored block that is not the last one
      {0x01, 3, 0, 3, 0, 1, 2, 3},               // LEN and NLEN disagree
  };
  for (const bytes& stream : cases) {
    std::string out;
    unpack_result r = unpack_quietly(place(test::item_with("n.x", stream, 0, 3)), &out);
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(r.real_len, 0u);
    EXPECT_EQ(out, "error: Can't uncompress : -3\nuncompress error\n");
  }
}

TEST(UnpackItem, BoundsAreCheckedBeforeAnythingIsRead) {
  const bytes item = test::stored_item("0_cat.cache", {1, 0, 0, 0, 'a', 0});
  bytes file = place(item).file;  // item at 7
  bytes no_nul = item;
  for (size_t i = 12; i < no_nul.size() - 8; ++i) no_nul[i] = 'n';
  bytes no_nul_file = place(no_nul).file;
  const struct {
    const bytes* file;
    uint64_t offset;
    uint64_t len;
    const char* message;
  } cases[] = {
      {&file, 7, item.size() + 1,
       "Truncated item: item_offset 7 + packed_len 44 passes the end of the file (50 bytes)\n"},
      {&file, 51, 0,
       "Truncated item: item_offset 51 + packed_len 0 passes the end of the file "
       "(50 bytes)\n"},
      {&file, ~uint64_t(0), 2,
       "Truncated item: item_offset 18446744073709551615 + packed_len 2 passes the end of the "
       "file (50 bytes)\n"},
      {&file, 7, ~uint64_t(0) - 3,
       "Truncated item: item_offset 7 + packed_len 18446744073709551612 passes the end of the "
       "file (50 bytes)\n"},
      {&file, 7, 20, "Item at offset 7 too short: packed_len 20 < 21\n"},
      {&file, 50, 0, "Item at offset 50 too short: packed_len 0 < 21\n"},
      {&no_nul_file, 7, no_nul.size(), "Item at offset 7: name not terminated inside the item\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    unpack_result r = unpack_quietly({*c.file, c.offset, c.len}, &out);
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(out, c.message);
  }
}

TEST(UnpackItem, NameMayEndRightBeforeTheData) {
  // The NUL at the last byte before the trailer: an empty stream, which inflate rejects.
  bytes item = test::item_with("abc", {}, 0, 0);
  item_layout it = locate_item(item, 0, item.size());
  ASSERT_EQ(it.fault, item_fault::none);
  EXPECT_EQ(it.name, "abc");
  EXPECT_EQ(it.stream.size(), 8u);  // the trailer only
}

TEST(Capacity, InitialCapacityRules) {
  EXPECT_EQ(initial_capacity(100, 50), 100u);  // stored length above packed_len
  EXPECT_EQ(initial_capacity(50, 50), 300u);   // not above: 6 x packed_len
  EXPECT_EQ(initial_capacity(10, 50), 300u);
  EXPECT_EQ(initial_capacity(0, 0), 8u);                    // 0 becomes 8
  EXPECT_EQ(initial_capacity(0, 0x40000000), 0x80000000u);  // 6 x packed_len in 32 bits
  EXPECT_EQ(initial_capacity(0, 0x100000000ull), 8u);       // wraps to 0, then 8
  // A stored length no deflate stream of this size can reach is not trusted for allocation.
  EXPECT_EQ(initial_capacity(0xFFFFFFFF, 30), 30u * 1032u);
  EXPECT_EQ(initial_capacity(0xFFFFFFFF, 0x10000000), 0xFFFFFFFFu);
}

TEST(Capacity, DoublingStopsAtTheU32Limit) {
  EXPECT_EQ(doubled_capacity(8), 16u);
  EXPECT_EQ(doubled_capacity(0x7FFFFFFF), 0xFFFFFFFEu);
  EXPECT_EQ(doubled_capacity(0x80000000), 0xFFFFFFFFu);
  EXPECT_EQ(doubled_capacity(0xFFFFFFFE), 0xFFFFFFFFu);
  EXPECT_EQ(doubled_capacity(0xFFFFFFFF), 0u);  // no further attempt
}

}  // namespace
}  // namespace repcopy
