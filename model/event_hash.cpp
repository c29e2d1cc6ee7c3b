#include "model/event_hash.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace repcopy {

void event_hasher::put(uint32_t v) {
  for (int i = 0; i < 4; ++i) buffer_.push_back(uint8_t(v >> (8 * i)));
}

// Every variable-length field is preceded by its length, so that no two different events
// serialize to the same bytes.
void event_hasher::put(std::u16string_view s) {
  put(uint32_t(s.size()));
  for (char16_t c : s) {
    buffer_.push_back(uint8_t(c));
    buffer_.push_back(uint8_t(c >> 8));
  }
}

void event_hasher::put(std::span<const uint8_t> b) {
  put(uint32_t(b.size()));
  buffer_.insert(buffer_.end(), b.begin(), b.end());
}

event_hash event_hasher::finish() const {
  const XXH128_hash_t h = XXH3_128bits(buffer_.data(), buffer_.size());
  return {h.high64, h.low64};
}

}  // namespace repcopy
