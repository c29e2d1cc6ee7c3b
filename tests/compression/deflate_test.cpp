// The compression engines behind one interface: each reads what the other writes, reports a full
// output area and damaged streams the same way, and computes the same CRC-32.

#include "compression/deflate.h"

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
  level = engine_level(e, level);
  std::vector<uint8_t> out(deflate_bound(e, data.size(), level));
  size_t written = 0;
  EXPECT_EQ(deflate_raw(e, data, out, level, written), kOk);
  out.resize(written);
  return out;
}

class CompressionEngines : public testing::Test {
 protected:
  void SetUp() override {
    if (!has_engine(engine::libdeflate)) GTEST_SKIP() << "this build has only zlib";
  }
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
        std::vector<uint8_t> out(data.size() + 16);
        size_t written = 0;
        ASSERT_EQ(inflate_raw(reader, stream, out, written), kOk);
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
    for (const row& r : rows) {
      SCOPED_TRACE(testing::Message() << r.name << ", engine " << engine_name(e));
      std::vector<uint8_t> out(r.out_size);
      size_t written = 0;
      std::span<const uint8_t> in =
          r.in ? std::span<const uint8_t>(*r.in) : std::span<const uint8_t>();
      EXPECT_EQ(inflate_raw(e, in, out, written), r.status);
    }
  }
}

TEST_F(CompressionEngines, TooSmallOutputAreaIsABufferError) {
  const std::vector<uint8_t> data = sample(5000);
  for (engine e : {engine::libdeflate, engine::zlib}) {
    std::vector<uint8_t> out(10);
    size_t written = 0;
    EXPECT_EQ(deflate_raw(e, data, out, 6, written), kBufferError) << engine_name(e);
  }
}

TEST_F(CompressionEngines, Crc32AgreesWithTheKnownValueAndAcrossPieces) {
  const std::string text = "123456789";
  const std::vector<uint8_t> big = sample(100000);
  for (engine e : {engine::libdeflate, engine::zlib}) {
    EXPECT_EQ(crc32(e, 0, text.data(), text.size()), 0xCBF43926u) << engine_name(e);
    EXPECT_EQ(crc32(e, 0, nullptr, 0), 0u);
    const uint32_t whole = crc32(e, 0, big.data(), big.size());
    EXPECT_EQ(crc32(e, crc32(e, 0, big.data(), 777), big.data() + 777, big.size() - 777), whole);
  }
}

// A requested level is fitted to the engine once; each engine has its own default.
TEST(CompressionLevels, RequestedLevelsAreFittedToEachEngine) {
  struct row {
    engine e;
    int requested, fitted;
  };
  const row rows[] = {{engine::zlib, 1, 1},        {engine::zlib, 9, 9},
                      {engine::zlib, 12, 9},       {engine::zlib, 0, 1},
                      {engine::libdeflate, 1, 1},  {engine::libdeflate, 12, 12},
                      {engine::libdeflate, 13, 12}};
  for (const row& r : rows) {
    if (!has_engine(r.e)) continue;
    EXPECT_EQ(engine_level(r.e, r.requested), r.fitted) << engine_name(r.e) << " " << r.requested;
  }
  EXPECT_EQ(default_level(engine::zlib), 7);
  if (has_engine(engine::libdeflate)) {
    EXPECT_EQ(default_level(engine::libdeflate), 6);
  }
}

}  // namespace
}  // namespace repcopy::compression
