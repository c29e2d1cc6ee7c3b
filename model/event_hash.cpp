#include "model/event_hash.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "util/bytes.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace repcopy {

void event_hasher::grow(size_t needed) {
  const size_t capacity = std::max<size_t>({needed, 2 * capacity_, 1024});
  std::unique_ptr<uint8_t[]> bigger(new uint8_t[capacity]);
  if (size_ != 0) std::memcpy(bigger.get(), buffer_.get(), size_);
  buffer_ = std::move(bigger);
  capacity_ = capacity;
}

// Numbers and code units are serialized little-endian whatever the host's order.
void event_hasher::put(uint32_t v) { store_le32(extend(4), v); }
void event_hasher::put(uint16_t v) { store_le16(extend(2), v); }

// Every variable-length field is preceded by its length, so that no two different events
// serialize to the same bytes.
void event_hasher::put(std::u16string_view s) {
  put(uint32_t(s.size()));
  if (s.empty()) return;
  uint8_t* to = extend(2 * s.size());
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(to, s.data(), 2 * s.size());
  } else {
    for (size_t i = 0; i < s.size(); ++i) store_le16(to + 2 * i, uint16_t(s[i]));
  }
}

void event_hasher::put(std::span<const uint8_t> b) {
  put(uint32_t(b.size()));
  if (!b.empty()) std::memcpy(extend(b.size()), b.data(), b.size());
}

event_hash event_hasher::finish() const {
  const XXH128_hash_t h = XXH3_128bits(buffer_.get(), size_);
  return {h.high64, h.low64};
}

}  // namespace repcopy
