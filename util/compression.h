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

// The engine in use: libdeflate unless the build has only zlib.
engine current_engine();
// Switches the whole process to another engine; false (nothing changed) when this build does not
// have it. For tests that compare the two; not safe while items are being packed or unpacked.
bool select_engine(engine e);

// "libdeflate" or "zlib".
const char* engine_name();
// The level used when none is given (see the README and bench/RESULTS.md for the choice).
int default_level();
// Level 1..12 as the engine understands it (zlib stops at 9).
int engine_level(int level);

// The most bytes deflate_raw may write for in_len bytes at level.
size_t deflate_bound(size_t in_len, int level);

// Compresses in into out as one raw deflate stream. kOk with written set, kBufferError when out
// is too small, kMemoryError when the engine could not be set up.
int deflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out, int level, size_t& written);

// Inflates one raw deflate stream from in (bytes after the stream's end are ignored) into out.
// kOk with written set; kBufferError when out filled up before the stream ended (a larger out
// may succeed); kDataError for a damaged or truncated stream; kMemoryError.
int inflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out, size_t& written);

// CRC-32 of zlib and gzip, continued from crc (0 to start).
uint32_t crc32(uint32_t crc, const void* data, size_t len);

}  // namespace repcopy::compression
