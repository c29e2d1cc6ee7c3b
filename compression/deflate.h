#pragma once
// The compression engine: raw deflate streams (no zlib or gzip wrapper) for packed items, and
// CRC-32. Built over libdeflate, or over zlib when the build says so (REPCOPY_ZLIB_ONLY, for
// platforms without libdeflate). Both engines write streams any inflater reads and read any
// valid stream, so the choice never changes what a repository holds once unpacked.
//
// Status codes are zlib's numbers, because the messages of a failed pack or unpack print them.

#include <cstddef>
#include <cstdint>
#include <span>

namespace repcopy::compression {

inline constexpr int kOk = 0;
inline constexpr int kDataError = -3;    // Z_DATA_ERROR
inline constexpr int kMemoryError = -4;  // Z_MEM_ERROR
inline constexpr int kBufferError = -5;  // Z_BUF_ERROR

inline constexpr int kMinLevel = 1;
inline constexpr int kMaxLevel = 12;

enum class engine { libdeflate, zlib };

// The engine this build reads and writes with: libdeflate unless the build has only zlib.
engine built_engine();
// Whether this build has the engine (zlib always; libdeflate unless the build has only zlib). A
// build without libdeflate uses zlib whichever engine is asked for.
bool has_engine(engine e);

// "libdeflate" or "zlib".
const char* engine_name(engine e);
// The level the engine writes with when none is given (see the README and bench/RESULTS.md).
int default_level(engine e);
// Level 1..12 as the engine understands it (zlib stops at 9): the one place a requested level is
// fitted to an engine. The functions below take a level fitted this way.
int engine_level(engine e, int level);

// The most bytes deflate_raw may write for in_len bytes at level.
size_t deflate_bound(engine e, size_t in_len, int level);

// Compresses in into out as one raw deflate stream at level (engine_level). kOk with written
// set, kBufferError when out is too small, kMemoryError when the engine could not be set up (or
// does not take the level).
int deflate_raw(engine e, std::span<const uint8_t> in, std::span<uint8_t> out, int level,
                size_t& written);

// Inflates one raw deflate stream from in (bytes after the stream's end are ignored) into out.
// kOk with written set; kBufferError when out filled up before the stream ended (a larger out
// may succeed); kDataError for a damaged or truncated stream; kMemoryError. The first form reads
// with built_engine(); either engine reads what the other wrote.
int inflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& written);
int inflate_raw(engine e, std::span<const uint8_t> in, std::span<uint8_t> out, size_t& written);

// CRC-32 of zlib and gzip, continued from crc (0 to start); the first form with built_engine().
uint32_t crc32(uint32_t crc, const void* data, size_t len);
uint32_t crc32(engine e, uint32_t crc, const void* data, size_t len);

}  // namespace repcopy::compression
