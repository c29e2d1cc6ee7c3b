#include "records/cache_key.h"

#include <cstring>

namespace repcopy {

namespace {

bool same_view(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && same_text(a.data(), b.data(), a.size());
}

// 64-bit multiply-xorshift mixing (the finalizer of splitmix64).
uint64_t mix(uint64_t h) {
  h ^= h >> 30;
  h *= 0xBF58476D1CE4E5B9ULL;
  h ^= h >> 27;
  h *= 0x94D049BB133111EBULL;
  h ^= h >> 31;
  return h;
}

}  // namespace

bool cache_key::operator==(const cache_key& o) const {
  if (crc1 != o.crc1 || crc2 != o.crc2 || extra1 != o.extra1 || extra2 != o.extra2) return false;
  if (!same_view(text1, o.text1) || !same_view(text2, o.text2)) return false;
  if (binary.size() != o.binary.size()) return false;
  return binary.empty() || std::memcmp(binary.data(), o.binary.data(), binary.size()) == 0;
}

size_t cache_key_hash::operator()(const cache_key& k) const {
  const uint64_t len1 = k.text1.size();
  const uint64_t len2 = k.text2.size();
  const uint64_t len3 = k.binary.size();
  uint64_t h = mix((uint64_t(k.crc1) << 32 | k.crc2) ^ 0x9E3779B97F4A7C15ULL);
  h = mix(h ^ (uint64_t(k.extra1) << 32 | k.extra2));
  h = mix(h ^ len1 ^ (len2 << 21) ^ (len3 << 42));
  return size_t(h);
}

}  // namespace repcopy
