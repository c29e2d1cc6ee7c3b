#pragma once
// CRC-32 of zlib and gzip (reflected polynomial 0xEDB88320, preset and final complement).
// The CRC of no bytes is 0. Strings are checked over their UTF-16LE bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace repcopy {

uint32_t crc32_of(const void* data, size_t len);
uint32_t crc32_of_text(std::u16string_view text);

}  // namespace repcopy
