#pragma once
// Little-endian writes into a fixed output area. A write that does not fit is refused whole and
// the writer stays failed, so a writer can never pass the end of the area it was given.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "util/bytes.h"

namespace repcopy {

// A writer's result when its item would pass the area it asked for: a bug in its size, reported
// by the caller and never clamped.
inline constexpr uint32_t kItemOverflow = UINT32_MAX;

class span_writer {
 public:
  explicit span_writer(std::span<uint8_t> out) : out_(out) {}

  size_t pos() const { return pos_; }
  bool ok() const { return ok_; }
  // The length written, or kItemOverflow once a write was refused.
  uint32_t item_length() const { return ok_ ? uint32_t(pos_) : kItemOverflow; }

  bool u8(uint8_t v) {
    return put(1, [&](uint8_t* p) { *p = v; });
  }
  bool u16(uint16_t v) {
    return put(2, [&](uint8_t* p) { store_le16(p, v); });
  }
  bool u32(uint32_t v) {
    return put(4, [&](uint8_t* p) { store_le32(p, v); });
  }
  bool u64(uint64_t v) {
    return put(8, [&](uint8_t* p) { store_le64(p, v); });
  }
  bool bytes(std::span<const uint8_t> b) {
    return put(b.size(), [&](uint8_t* p) {
      if (!b.empty()) std::memcpy(p, b.data(), b.size());
    });
  }
  // All code units as they are, NULs included.
  bool utf16(std::u16string_view s) {
    if (s.size() > (SIZE_MAX >> 1)) return fail();
    return put(s.size() * 2, [&](uint8_t* p) {
      if constexpr (std::endian::native == std::endian::little) {
        if (!s.empty()) std::memcpy(p, s.data(), s.size() * 2);  // already in file order
      } else {
        for (size_t i = 0; i < s.size(); ++i) store_le16(p + 2 * i, uint16_t(s[i]));
      }
    });
  }
  bool counted_utf16(std::u16string_view s) {
    if (s.size() > UINT32_MAX || !room(4 + uint64_t(s.size()) * 2)) return fail();
    return u32(uint32_t(s.size())) && utf16(s);
  }

 private:
  bool room(uint64_t n) const { return ok_ && n <= out_.size() - pos_; }
  bool fail() {
    ok_ = false;
    return false;
  }
  template <class F>
  bool put(size_t n, F&& f) {
    if (!room(n)) return fail();
    f(out_.data() + pos_);
    pos_ += n;
    return true;
  }

  std::span<uint8_t> out_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace repcopy
