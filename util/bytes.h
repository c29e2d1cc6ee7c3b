#pragma once
// Little-endian access to untrusted bytes. Every read of repository file data goes through
// byte_reader, which refuses to read past the end of its span instead of trusting a length field.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace repcopy {

using byte_span = std::span<const uint8_t>;

// Unchecked little-endian loads and stores; callers must have checked the bounds.
inline uint16_t load_le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t load_le64(const uint8_t* p) {
  return uint64_t(load_le32(p)) | (uint64_t(load_le32(p + 4)) << 32);
}
inline void store_le16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void store_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void store_le64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

// A span with a position. Reads fail (return false and leave the output alone) when fewer bytes
// remain than requested; the position then stays where it was.
class byte_reader {
 public:
  byte_reader() = default;
  explicit byte_reader(byte_span data, size_t pos = 0) : data_(data), pos_(pos) {}

  size_t pos() const { return pos_; }
  size_t size() const { return data_.size(); }
  size_t remaining() const { return pos_ <= data_.size() ? data_.size() - pos_ : 0; }
  bool at_end() const { return pos_ >= data_.size(); }
  bool has(uint64_t n) const { return n <= remaining(); }
  bool seek(uint64_t pos) {
    if (pos > data_.size()) return false;
    pos_ = size_t(pos);
    return true;
  }
  bool skip(uint64_t n) {
    if (!has(n)) return false;
    pos_ += size_t(n);
    return true;
  }

  bool u8(uint8_t& v) { return fixed(1, [&](const uint8_t* p) { v = p[0]; }); }
  bool u16(uint16_t& v) { return fixed(2, [&](const uint8_t* p) { v = load_le16(p); }); }
  bool u32(uint32_t& v) { return fixed(4, [&](const uint8_t* p) { v = load_le32(p); }); }
  bool u64(uint64_t& v) { return fixed(8, [&](const uint8_t* p) { v = load_le64(p); }); }

  // n bytes as a sub-span.
  bool bytes(uint64_t n, byte_span& out) {
    if (!has(n)) return false;
    out = data_.subspan(pos_, size_t(n));
    pos_ += size_t(n);
    return true;
  }
  // n UTF-16LE code units (2n bytes), no terminator. Checks 2n without overflow.
  bool utf16(uint64_t n, std::u16string& out) {
    if (n > remaining() / 2) return false;
    const uint8_t* from = data_.data() + pos_;
    if constexpr (std::endian::native == std::endian::little) {
      // The same bytes. Copied once where they lie on a code unit boundary (a string grown by
      // resize would be filled with zeros first).
      if (n == 0) {
        out.clear();
      } else if (reinterpret_cast<uintptr_t>(from) % alignof(char16_t) == 0) {
        out.assign(reinterpret_cast<const char16_t*>(from), size_t(n));
      } else {
        out.resize(size_t(n));
        std::memcpy(out.data(), from, size_t(2 * n));
      }
    } else {
      out.resize(size_t(n));
      for (size_t i = 0; i < n; ++i) out[i] = char16_t(load_le16(from + 2 * i));
    }
    pos_ += size_t(2 * n);
    return true;
  }
  // A u32 count followed by that many UTF-16LE code units.
  bool counted_utf16(std::u16string& out) {
    size_t start = pos_;
    uint32_t n = 0;
    if (!u32(n) || !utf16(n, out)) {
      pos_ = start;
      return false;
    }
    return true;
  }

 private:
  template <class F>
  bool fixed(size_t n, F&& f) {
    if (!has(n)) return false;
    f(data_.data() + pos_);
    pos_ += n;
    return true;
  }

  byte_span data_;
  size_t pos_ = 0;
};

// Appends little-endian values to a growing byte vector.
class byte_writer {
 public:
  explicit byte_writer(std::vector<uint8_t>& out) : out_(out) {}
  void u8(uint8_t v) { out_.push_back(v); }
  void u16(uint16_t v) { append(v, 2); }
  void u32(uint32_t v) { append(v, 4); }
  void u64(uint64_t v) { append(v, 8); }
  void bytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
  }
  void utf16(const std::u16string& s) {
    for (char16_t c : s) u16(uint16_t(c));
  }
  void counted_utf16(const std::u16string& s) {
    u32(uint32_t(s.size()));
    utf16(s);
  }
  size_t size() const { return out_.size(); }

 private:
  void append(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out_.push_back(uint8_t(v >> (8 * i)));
  }
  std::vector<uint8_t>& out_;
};

}  // namespace repcopy
