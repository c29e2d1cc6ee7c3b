// The compression engines behind one interface: each reads what the other writes, reports a full
// output area and damaged streams the same way, and computes the same CRC-32.

#include "util/compression.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace repcopy::compression {
namespace {

std::vector<uint8_t> sample(size_t n) {
  std::vector<uint8_t> data(n);
  std::mt19937 rng(5);
  for (size_t i = 0; i < n; ++i) data[i] = uint8_t(i % 7 == 0 ? rng() : 'a' + i % 13);
  return data;
}

std::vector<uint8_t> packed(engine e, const std::vector<uint8_t>& data, int level) {
  EXPECT_TRUE(select_engine(e));
  std::vector<uint8_t> out(deflate_bound(data.size(), level));
  size_t written = 0;
  EXPECT_EQ(deflate_raw(data, out, level, written), kOk);
  out.resize(written);
  return out;
}

class CompressionEngines : public testing::Test {
 protected:
  void SetUp() override {
    if (!select_engine(engine::libdeflate)) GTEST_SKIP() << "this build has only zlib";
  }
  void TearDown() override { select_engine(engine::libdeflate); }
};

TEST_F(CompressionEngines, EachInflatesWhatEitherDeflatesAtEveryLevel) {
  struct row {
    size_t size;
    int level;
  };
  const row rows[] = {{0, 6}, {1, 1}, {1000, 6}, {70000, 1}, {70000, 9}, {70000, 12}, {300000, 6}};
  for (const row& r : rows) {
    const std::vector<uint8_t> data = sample(r.size);
    for (engine writer : {engine::libdeflate, engine::zlib}) {
      const std::vector<uint8_t> stream = packed(writer, data, r.level);
      for (engine reader : {engine::libdeflate, engine::zlib}) {
        SCOPED_TRACE(testing::Message() << r.size << " bytes, level " << r.level << ", writer "
                                        << int(writer) << ", reader " << int(reader));
        select_engine(reader);
        std::vector<uint8_t> out(data.size() + 16);
        size_t written = 0;
        ASSERT_EQ(inflate_raw(stream, out, written), kOk);
        out.resize(written);
        EXPECT_EQ(out, data);
      }
    }
  }
}

TEST_F(CompressionEngines, FullOutputTruncatedAndDamagedStreamsAreTheSameStatus) {
  const std::vector<uint8_t> data = sample(50000);
  const std::vector<uint8_t> stream = packed(engine::zlib, data, 7);
  std::vector<uint8_t> truncated(stream.begin(), stream.begin() + ptrdiff_t(stream.size() / 2));
  std::vector<uint8_t> damaged = stream;
  damaged[0] = 0xFF;  // block type 3: reserved
  struct row {
    const char* name;
    const std::vector<uint8_t>* in;
    size_t out_size;
    int status;
  };
  const row rows[] = {{"output too small", &stream, data.size() - 1, kBufferError},
                      {"exact output", &stream, data.size(), kOk},
                      {"truncated", &truncated, data.size(), kDataError},
                      {"reserved block type", &damaged, data.size(), kDataError},
                      {"no input", nullptr, 10, kDataError}};
  for (engine e : {engine::libdeflate, engine::zlib}) {
    select_engine(e);
    for (const row& r : rows) {
      SCOPED_TRACE(testing::Message() << r.name << ", engine " << engine_name());
      std::vector<uint8_t> out(r.out_size);
      size_t written = 0;
      std::span<const uint8_t> in =
          r.in ? std::span<const uint8_t>(*r.in) : std::span<const uint8_t>();
      EXPECT_EQ(inflate_raw(in, out, written), r.status);
    }
  }
}

TEST_F(CompressionEngines, TooSmallOutputAreaIsABufferError) {
  const std::vector<uint8_t> data = sample(5000);
  for (engine e : {engine::libdeflate, engine::zlib}) {
    select_engine(e);
    std::vector<uint8_t> out(10);
    size_t written = 0;
    EXPECT_EQ(deflate_raw(data, out, 6, written), kBufferError) << engine_name();
  }
}

TEST_F(CompressionEngines, Crc32AgreesWithTheKnownValueAndAcrossPieces) {
  const std::string text = "123456789";
  const std::vector<uint8_t> big = sample(100000);
  for (engine e : {engine::libdeflate, engine::zlib}) {
    select_engine(e);
    EXPECT_EQ(crc32(0, text.data(), text.size()), 0xCBF43926u) << engine_name();
    EXPECT_EQ(crc32(0, nullptr, 0), 0u);
    const uint32_t whole = crc32(0, big.data(), big.size());
    EXPECT_EQ(crc32(crc32(0, big.data(), 777), big.data() + 777, big.size() - 777), whole);
  }
}

}  // namespace
}  // namespace repcopy::compression
