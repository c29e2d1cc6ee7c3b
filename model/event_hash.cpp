#include "model/event_hash.h"

#include <bit>
#include <cstring>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace repcopy {

namespace {

// Appends n bytes to the buffer, growing it geometrically.
uint8_t* extend(std::vector<uint8_t>& buffer, size_t n) {
  const size_t at = buffer.size();
  buffer.resize(at + n);
  return buffer.data() + at;
}

}  // namespace

// Numbers and code units are serialized little-endian whatever the host's order.
void event_hasher::put(uint32_t v) {
  uint8_t* to = extend(buffer_, 4);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(to, &v, 4);
  } else {
    for (int i = 0; i < 4; ++i) to[i] = uint8_t(v >> (8 * i));
  }
}

// Every variable-length field is preceded by its length, so that no two different events
// serialize to the same bytes.
void event_hasher::put(std::u16string_view s) {
  put(uint32_t(s.size()));
  if (s.empty()) return;
  uint8_t* to = extend(buffer_, 2 * s.size());
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(to, s.data(), 2 * s.size());
  } else {
    for (char16_t c : s) {
      *to++ = uint8_t(c);
      *to++ = uint8_t(c >> 8);
    }
  }
}

void event_hasher::put(std::span<const uint8_t> b) {
  put(uint32_t(b.size()));
  if (!b.empty()) std::memcpy(extend(buffer_, b.size()), b.data(), b.size());
}

event_hash event_hasher::finish() const {
  const XXH128_hash_t h = XXH3_128bits(buffer_.data(), buffer_.size());
  return {h.high64, h.low64};
}

}  // namespace repcopy
