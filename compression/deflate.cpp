#include "compression/deflate.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>

#ifndef REPCOPY_ZLIB_ONLY
#include <libdeflate.h>
#endif

namespace repcopy::compression {

namespace zlib_engine {

// The level repository files were always written with.
constexpr int kDefaultLevel = 7;

size_t deflate_bound(size_t in_len) {
  // Without a stream zlib gives its bound for every setting.
  return in_len > UINT_MAX ? in_len + in_len / 8 + 64 : deflateBound(nullptr, uLong(in_len));
}

int deflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out, int level, size_t& written) {
  if (in.size() > UINT_MAX || out.size() > UINT_MAX) return kBufferError;
  z_stream stream{};
  // Raw deflate, 32 KiB window, memory level 8: one call with Z_FINISH.
  int err = deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  if (err != Z_OK) return err;
  stream.next_in = const_cast<Bytef*>(in.data());
  stream.avail_in = uInt(in.size());
  stream.next_out = out.data();
  stream.avail_out = uInt(out.size());
  err = deflate(&stream, Z_FINISH);
  if (err != Z_STREAM_END) {
    deflateEnd(&stream);
    return err == Z_OK ? Z_BUF_ERROR : err;
  }
  written = stream.total_out;
  return deflateEnd(&stream);
}

int inflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& written) {
  if (in.size() > UINT_MAX || out.size() > UINT_MAX) return kDataError;
  z_stream zs{};
  int rc = inflateInit2(&zs, -15);
  if (rc != Z_OK) return rc;
  zs.next_in = const_cast<Bytef*>(in.data());
  zs.avail_in = uInt(in.size());
  zs.next_out = out.data();
  zs.avail_out = uInt(out.size());
  rc = inflate(&zs, Z_FINISH);
  const bool full = zs.avail_out == 0;
  written = zs.total_out;
  inflateEnd(&zs);
  if (rc == Z_STREAM_END) return kOk;
  if ((rc == Z_BUF_ERROR || rc == Z_OK) && full) return kBufferError;
  // A stream that wants a dictionary or ends early is damaged data.
  return (rc == Z_NEED_DICT || rc == Z_BUF_ERROR || rc == Z_OK) ? kDataError : rc;
}

uint32_t crc32(uint32_t crc, const void* data, size_t len) {
  const Bytef* p = static_cast<const Bytef*>(data);
  uLong value = crc;
  // zlib takes a uInt length; feed large inputs in pieces.
  while (len > 0) {
    uInt step = len > 0x40000000u ? 0x40000000u : uInt(len);
    value = ::crc32(value, p, step);
    p += step;
    len -= step;
  }
  return uint32_t(value);
}

}  // namespace zlib_engine

#ifndef REPCOPY_ZLIB_ONLY
namespace libdeflate_engine {

struct compressor_deleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct decompressor_deleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Engines are not thread-safe but cheap to keep: one per thread and level, made on first use.
libdeflate_compressor* compressor_for(int level) {
  if (level < 0 || level > kMaxLevel) return nullptr;
  thread_local std::array<std::unique_ptr<libdeflate_compressor, compressor_deleter>, kMaxLevel + 1>
      compressors;
  auto& slot = compressors[size_t(level)];
  if (!slot) slot.reset(libdeflate_alloc_compressor(level));
  return slot.get();
}

libdeflate_decompressor* decompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, decompressor_deleter> d(
      libdeflate_alloc_decompressor());
  return d.get();
}

// The fastest level whose output on the benchmark's realistic repository is no larger than
// zlib level 7's plus 0.5 % (bench/RESULTS.md).
constexpr int kDefaultLevel = 6;

size_t deflate_bound(size_t in_len, int level) {
  libdeflate_compressor* c = compressor_for(level);
  // Without an engine, a bound that holds for every level (stored blocks and their headers).
  return c != nullptr ? libdeflate_deflate_compress_bound(c, in_len)
                      : in_len + 5 * (in_len / 10000 + 1) + 64;
}

int deflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out, int level, size_t& written) {
  libdeflate_compressor* c = compressor_for(level);
  if (c == nullptr) return kMemoryError;
  size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
  if (n == 0) return kBufferError;  // the stream did not fit
  written = n;
  return kOk;
}

int inflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& written) {
  libdeflate_decompressor* d = decompressor();
  if (d == nullptr) return kMemoryError;
  size_t in_used = 0;
  size_t out_done = 0;
  libdeflate_result r = libdeflate_deflate_decompress_ex(d, in.data(), in.size(), out.data(),
                                                         out.size(), &in_used, &out_done);
  switch (r) {
    case LIBDEFLATE_SUCCESS:
      written = out_done;
      return kOk;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
      written = out.size();
      return kBufferError;
    default:
      return kDataError;
  }
}

uint32_t crc32(uint32_t crc, const void* data, size_t len) {
  return libdeflate_crc32(crc, data, len);
}

}  // namespace libdeflate_engine
#endif

#ifdef REPCOPY_ZLIB_ONLY
namespace {
bool use_zlib(engine) { return true; }
}  // namespace

engine built_engine() { return engine::zlib; }
bool has_engine(engine e) { return e == engine::zlib; }
#else
namespace {
bool use_zlib(engine e) { return e == engine::zlib; }
}  // namespace

engine built_engine() { return engine::libdeflate; }
bool has_engine(engine) { return true; }
#endif

const char* engine_name(engine e) { return use_zlib(e) ? "zlib" : "libdeflate"; }

#ifdef REPCOPY_ZLIB_ONLY
int default_level(engine) { return zlib_engine::kDefaultLevel; }
int engine_level(engine, int level) { return std::min(std::clamp(level, kMinLevel, kMaxLevel), 9); }
size_t deflate_bound(engine, size_t in_len, int) { return zlib_engine::deflate_bound(in_len); }
int deflate_raw(engine, std::span<const uint8_t> in, std::span<uint8_t> out, int level,
                size_t& written) {
  return zlib_engine::deflate_raw(in, out, level, written);
}
int inflate_raw(engine, std::span<const uint8_t> in, std::span<uint8_t> out, size_t& written) {
  return zlib_engine::inflate_raw(in, out, written);
}
uint32_t crc32(engine, uint32_t crc, const void* data, size_t len) {
  return zlib_engine::crc32(crc, data, len);
}
#else
int default_level(engine e) {
  return use_zlib(e) ? zlib_engine::kDefaultLevel : libdeflate_engine::kDefaultLevel;
}
int engine_level(engine e, int level) {
  level = std::clamp(level, kMinLevel, kMaxLevel);
  return use_zlib(e) ? std::min(level, 9) : level;
}
size_t deflate_bound(engine e, size_t in_len, int level) {
  return use_zlib(e) ? zlib_engine::deflate_bound(in_len)
                     : libdeflate_engine::deflate_bound(in_len, level);
}
int deflate_raw(engine e, std::span<const uint8_t> in, std::span<uint8_t> out, int level,
                size_t& written) {
  return use_zlib(e) ? zlib_engine::deflate_raw(in, out, level, written)
                     : libdeflate_engine::deflate_raw(in, out, level, written);
}
int inflate_raw(engine e, std::span<const uint8_t> in, std::span<uint8_t> out, size_t& written) {
  return use_zlib(e) ? zlib_engine::inflate_raw(in, out, written)
                     : libdeflate_engine::inflate_raw(in, out, written);
}
uint32_t crc32(engine e, uint32_t crc, const void* data, size_t len) {
  return use_zlib(e) ? zlib_engine::crc32(crc, data, len)
                     : libdeflate_engine::crc32(crc, data, len);
}
#endif

int inflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& written) {
  return inflate_raw(built_engine(), in, out, written);
}
uint32_t crc32(uint32_t crc, const void* data, size_t len) {
  return crc32(built_engine(), crc, data, len);
}

}  // namespace repcopy::compression
