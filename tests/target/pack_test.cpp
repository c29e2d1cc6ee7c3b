#include "target/pack.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "target_test_util.h"

namespace repcopy {
namespace {

using testutil::gunzip_item;

class named_segment : public segment {
 public:
  explicit named_segment(const char* name) : segment(name, u"") {}
  uint32_t estimate_size(const event_batch&) override { return 0; }
  uint32_t serialize(std::span<uint8_t>, event_batch&) override { return 0; }
};

TEST(PackBound, ClassicBound) {
  struct {
    uint32_t length, bound;
  } cases[] = {{0, 512},
               {1, 2},
               {256, 512},
               {512, 1024},
               {513, 513},
               {1048576, 1048576},
               {1048577, 1048577 + 1048},
               {2000000, 2002000}};
  for (auto c : cases) EXPECT_EQ(pack_bound(c.length), c.bound) << "L = " << c.length;
}

TEST(PackItem, SystemByteFollowsThePlatform) {
  EXPECT_EQ(packed_item_system(500), 11);
  for (int32_t id : {-1, 0, 3, 499, 501, 610, 630}) EXPECT_EQ(packed_item_system(id), 3) << id;
}

std::vector<uint8_t> sample_bytes(size_t n) {
  std::vector<uint8_t> data(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245 + 12345;
    data[i] = uint8_t(i % 7 == 0 ? x >> 24 : 'a' + i % 5);
  }
  return data;
}

// Header bytes checked against the layout; the content checked by zlib's own gzip reader.
TEST(PackItem, ItemIsAGzipMemberWithTheRepositorySignature) {
  for (size_t n : {size_t(0), size_t(1), size_t(512), size_t(513), size_t(70000)}) {
    for (int32_t platform : {500, 630}) {
      named_segment w("0_events.dat");
      w.platform_id = platform;
      std::vector<uint8_t> data = sample_bytes(n);
      ASSERT_EQ(pack_item(w, data), 13u + 12u) << n;
      EXPECT_EQ(w.header_length, 25u);
      ASSERT_EQ(w.packed.size(), w.header_length + w.packed_length);
      const std::vector<uint8_t> head = {'E', 'D', 'R', 'P', 8, 8,
                                         0,   0,   0,   0,   0, uint8_t(platform == 500 ? 11 : 3)};
      EXPECT_EQ(std::vector<uint8_t>(w.packed.begin(), w.packed.begin() + 12), head);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(w.packed.data()) + 12), "0_events.dat");
      EXPECT_EQ(w.packed[24], 0);
      // Trailer: CRC-32 and length.
      const size_t end = w.packed.size();
      EXPECT_EQ(testutil::rd32(w.packed, end - 8), uint32_t(crc32(0, data.data(), uInt(n))));
      EXPECT_EQ(testutil::rd32(w.packed, end - 4), n);
      auto unpacked = gunzip_item(w.packed);
      ASSERT_TRUE(unpacked.has_value()) << n;
      EXPECT_EQ(*unpacked, data);
    }
  }
}

TEST(PackItem, EmptyInputHasCrcZeroAndLengthZero) {
  named_segment w("filter.dat");
  ASSERT_NE(pack_item(w, {}), 0u);
  const size_t end = w.packed.size();
  EXPECT_EQ(testutil::rd32(w.packed, end - 8), 0u);
  EXPECT_EQ(testutil::rd32(w.packed, end - 4), 0u);
  auto unpacked = gunzip_item(w.packed);
  ASSERT_TRUE(unpacked.has_value());
  EXPECT_TRUE(unpacked->empty());
}

// Incompressible input larger than the classic bound allows for small inputs still packs,
// because the area is never smaller than what zlib may need.
TEST(PackItem, IncompressibleInputFits) {
  std::vector<uint8_t> data(100000);
  std::mt19937 rng(7);
  for (auto& b : data) b = uint8_t(rng());
  named_segment w("0_ins.cache");
  ASSERT_NE(pack_item(w, data), 0u);
  auto unpacked = gunzip_item(w.packed);
  ASSERT_TRUE(unpacked.has_value());
  EXPECT_EQ(*unpacked, data);
}

TEST(PackItem, DamagedItemIsRejectedByTheIndependentReader) {
  named_segment w("0_src.cache");
  std::vector<uint8_t> data = sample_bytes(3000);
  ASSERT_NE(pack_item(w, data), 0u);
  std::vector<uint8_t> bad = w.packed;
  bad[bad.size() - 6] ^= 1;  // CRC
  EXPECT_FALSE(gunzip_item(bad).has_value());
}

class PackFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(old_cwd_), 0); }
  testutil::temp_dir dir_;
  char old_cwd_[4096] = {};
};

TEST_F(PackFailure, NoRoomPrintsDiagnosticsAndSavesTheSource) {
  std::vector<uint8_t> data = sample_bytes(300);
  std::vector<uint8_t> out(4);
  size_t compressed = 99;
  testing::internal::CaptureStdout();
  EXPECT_EQ(pack_internal_file(data, out, compressed), -1);
  std::string text = testing::internal::GetCapturedStdout();
  EXPECT_NE(text.find("pack_internal_file: error = -5 Can't compress\n"), std::string::npos);
  EXPECT_NE(text.find("source_len = 300\n"), std::string::npos);
  // The dump shows only the first 256 bytes: its last row is the one holding offset 256.
  EXPECT_NE(text.find("00000100:"), std::string::npos);
  EXPECT_EQ(text.find("00000110:"), std::string::npos);
  EXPECT_NE(text.find("tmp_ptr = /tmp/"), std::string::npos);
  EXPECT_NE(text.find("found = 4\n"), std::string::npos);
  size_t at = text.find("path_str = bad-");
  ASSERT_NE(at, std::string::npos);
  std::string name = text.substr(at + 11, text.find('\n', at) - at - 11);
  EXPECT_EQ(name.find('/'), std::string::npos);
  EXPECT_EQ(testutil::read_bytes(dir_.path() / name), data);
}

}  // namespace
}  // namespace repcopy
