#pragma once
// Helpers of the record-file tests: a little-endian byte builder for hand-written expected
// bytes, event builders with correct CRCs, and a driver that runs one writer the way
// create_repository_file does (estimate, zero-filled area of that size, serialize).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "container/full_event.h"
#include "records/segment.h"
#include "util/bytes.h"
#include "util/crc32.h"

namespace repcopy::test {

using bytes = std::vector<uint8_t>;

// Builds expected bytes field by field.
class byte_builder {
 public:
  byte_builder& u16(uint16_t v) {
    w_.u16(v);
    return *this;
  }
  byte_builder& u32(uint32_t v) {
    w_.u32(v);
    return *this;
  }
  byte_builder& u64(uint64_t v) {
    w_.u64(v);
    return *this;
  }
  byte_builder& raw(const bytes& b) {
    w_.bytes(b.data(), b.size());
    return *this;
  }
  byte_builder& zeros(size_t n) {
    out_.resize(out_.size() + n, 0);
    return *this;
  }
  // u32 code-unit count, then the code units.
  byte_builder& counted(const std::u16string& s) {
    w_.counted_utf16(s);
    return *this;
  }
  bytes take() const { return out_; }
  operator bytes() const { return out_; }

 private:
  bytes out_;
  byte_writer w_{out_};
};

inline insertion_string ins(uint32_t ordinal, const std::u16string& text) {
  insertion_string s;
  s.ordinal = ordinal;
  s.text = text;
  s.crc = crc32_of_text(text);
  return s;
}

inline named_field field(const std::u16string& name, const std::u16string& value) {
  named_field f;
  f.name = name;
  f.value = value;
  f.name_crc = crc32_of_text(name);
  f.value_crc = crc32_of_text(value);
  return f;
}

// An event as a source would yield it: every string with its CRC.
struct event_builder {
  full_event e;
  event_builder() { e.origin_flag = 1; }
  event_builder& times(uint32_t event_time, uint32_t stored_time) {
    e.event_time = event_time;
    e.stored_time = stored_time;
    return *this;
  }
  event_builder& computer(const std::u16string& s) {
    e.computer = s;
    e.computer_crc = crc32_of_text(s);
    return *this;
  }
  event_builder& host(const std::u16string& s) {
    e.host_computer = s;
    e.host_computer_crc = crc32_of_text(s);
    return *this;
  }
  event_builder& src(const std::u16string& s) {
    e.src_name = s;
    e.src_name_crc = crc32_of_text(s);
    return *this;
  }
  event_builder& desc(const std::u16string& s) {
    e.description = s;
    e.description_crc = crc32_of_text(s);
    return *this;
  }
  event_builder& category(const std::u16string& name, uint32_t number, uint32_t event_id) {
    e.category_name = name;
    e.category_name_crc = crc32_of_text(name);
    e.category = number;
    e.event_id = event_id;
    return *this;
  }
  event_builder& user(const std::u16string& s1, const std::u16string& s2, bytes binary = {}) {
    e.user_string1 = s1;
    e.user_string1_crc = crc32_of_text(s1);
    e.user_string2 = s2;
    e.user_string2_crc = crc32_of_text(s2);
    e.user_binary = std::move(binary);
    return *this;
  }
  event_builder& strings(uint16_t slots, std::vector<insertion_string> list) {
    e.string_slots = slots;
    e.strings = std::move(list);
    e.string_count = uint32_t(e.strings.size());
    return *this;
  }
  event_builder& fields(std::vector<named_field> list) {
    e.named_fields = std::move(list);
    e.named_count = uint32_t(e.named_fields.size());
    return *this;
  }
  operator full_event() const { return e; }
};

// Runs writer over events; checks the contract (length within the estimate, nothing written
// past the length) and returns the item.
inline bytes write_item(segment& writer, event_batch& events) {
  const uint32_t estimate = writer.estimate_size(events);
  bytes area(estimate, 0);
  const uint32_t written = writer.serialize(area, events);
  EXPECT_LE(written, estimate);
  for (size_t i = written; i < area.size(); ++i) {
    EXPECT_EQ(area[i], 0) << "byte " << i << " written past the returned length";
  }
  area.resize(std::min<size_t>(written, area.size()));
  return area;
}

inline bytes write_item(int position, event_batch& events) {
  auto writer = create_segment(position);
  return write_item(*writer, events);
}

// Appends two code units to prefix so that the CRC-32 of the result is target. The CRC of a
// fixed-length message is affine in its bits over GF(2): crc(x) = crc(0) ^ M x. The 32 columns of
// M come from the 32 unit vectors; solving M x = target ^ crc(0) by elimination gives the four
// bytes.
inline std::u16string force_crc(const std::u16string& prefix, uint32_t target) {
  auto crc_with = [&](uint32_t x) {
    std::u16string s = prefix;
    s.push_back(char16_t(x & 0xFFFF));
    s.push_back(char16_t(x >> 16));
    return crc32_of_text(s);
  };
  const uint32_t base = crc_with(0);
  uint32_t basis[32] = {};  // basis[b]: a reduced column with leading bit b
  uint32_t combo[32] = {};  // the input bits that make it
  for (int i = 0; i < 32; ++i) {
    uint32_t v = crc_with(1u << i) ^ base;
    uint32_t c = 1u << i;
    for (int b = 31; b >= 0 && v; --b) {
      if (!((v >> b) & 1)) continue;
      if (!basis[b]) {
        basis[b] = v;
        combo[b] = c;
        break;
      }
      v ^= basis[b];
      c ^= combo[b];
    }
  }
  uint32_t want = target ^ base;
  uint32_t x = 0;
  for (int b = 31; b >= 0; --b) {
    if (!((want >> b) & 1)) continue;
    EXPECT_NE(basis[b], 0u) << "columns do not span";
    want ^= basis[b];
    x ^= combo[b];
  }
  std::u16string s = prefix;
  s.push_back(char16_t(x & 0xFFFF));
  s.push_back(char16_t(x >> 16));
  return s;
}

}  // namespace repcopy::test
