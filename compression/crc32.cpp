#include "compression/crc32.h"

#include <bit>
#include <vector>

#include "compression/deflate.h"

namespace repcopy {

uint32_t crc32_of(const void* data, size_t len) { return compression::crc32(0, data, len); }

uint32_t crc32_of_text(std::u16string_view text) {
  if (text.empty()) return 0;
  if constexpr (std::endian::native == std::endian::little) {
    // The code units already lie in memory as UTF-16LE.
    return crc32_of(text.data(), text.size() * 2);
  } else {
    std::vector<uint8_t> le(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
      le[2 * i] = uint8_t(text[i]);
      le[2 * i + 1] = uint8_t(text[i] >> 8);
    }
    return crc32_of(le.data(), le.size());
  }
}

}  // namespace repcopy
