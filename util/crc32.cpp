#include "util/crc32.h"

#include <zlib.h>

#include <vector>

namespace repcopy {

uint32_t crc32_of(const void* data, size_t len) {
  const Bytef* p = static_cast<const Bytef*>(data);
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes a uInt length; feed large inputs in pieces.
  while (len > 0) {
    uInt step = len > 0x40000000u ? 0x40000000u : uInt(len);
    crc = crc32(crc, p, step);
    p += step;
    len -= step;
  }
  return uint32_t(crc);
}

uint32_t crc32_of_text(const std::u16string& text) {
  if (text.empty()) return 0;
  std::vector<uint8_t> le(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    le[2 * i] = uint8_t(text[i]);
    le[2 * i + 1] = uint8_t(text[i] >> 8);
  }
  return crc32_of(le.data(), le.size());
}

}  // namespace repcopy
