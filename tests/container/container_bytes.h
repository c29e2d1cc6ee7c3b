#pragma once
// Hand-built repository file bytes for the container tests. Everything here is written from the
// byte layout directly (own little-endian appends, zlib's own deflate and CRC, or stored deflate
// blocks written by hand), so that a mistake shared by our reader and writer cannot hide.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace repcopy::test {

using bytes = std::vector<uint8_t>;

inline void put_u8(bytes& b, uint8_t v) { b.push_back(v); }
inline void put_u16(bytes& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void put_u32(bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void put_u64(bytes& b, uint64_t v) {
  for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void set_u32(bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
inline void set_u64(bytes& b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
inline void put_utf16(bytes& b, const std::u16string& s) {
  for (char16_t c : s) put_u16(b, uint16_t(c));
}
inline void put_counted(bytes& b, const std::u16string& s) {
  put_u32(b, uint32_t(s.size()));
  put_utf16(b, s);
}
inline bytes append(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Records of the base layout (u32 count, UTF-16LE code units), back to back.
inline bytes counted_records(const std::vector<std::u16string>& strings) {
  bytes b;
  for (const auto& s : strings) put_counted(b, s);
  return b;
}

// One valid record per string in the layout of the internal file with this Buffer ID (the
// numbering of records/record_format.h), the string placed where a mix-up of items shows:
//   0 category: the string as name, category 7, marker 1, EventID 100
//   1 computer: the string as name, time_offset 0
//   3 events: 36 fixed bytes (string_slots 0, no words), the string's UTF-16LE bytes as data
//   7 record keys: record_key = number of code units, event_time = first code unit (or 0)
//   9 user: the string as string 1, an empty string 2, no binary value
//   10 field lists: F = 0 (4 zero bytes; the string is not kept)
//   2, 5, 8, 11, 12 and other IDs: counted strings (any bytes suit the position and filter
//   files, which are not parsed as records)
inline bytes valid_records(int32_t buffer_id, const std::vector<std::u16string>& strings) {
  bytes b;
  for (const auto& s : strings) {
    switch (buffer_id) {
      case 0:
        put_counted(b, s);
        put_u16(b, 7);
        put_u16(b, 1);
        put_u32(b, 100);
        break;
      case 1:
        put_counted(b, s);
        put_u32(b, 0);
        break;
      case 3:
        put_u32(b, uint32_t(2 * s.size()));         // data_length
        for (int i = 0; i < 5; ++i) put_u32(b, 0);  // src, cat, comp, user, desc indexes
        put_u16(b, 0);                              // string_slots: no string words
        put_u16(b, 0);                              // strings_aux
        put_u32(b, 0);                              // stored-time delta
        put_u32(b, 0);                              // event-time delta
        put_utf16(b, s);
        break;
      case 7:
        put_u32(b, uint32_t(s.size()));
        put_u32(b, s.empty() ? 0u : uint32_t(s[0]));
        break;
      case 9:
        put_counted(b, s);
        put_counted(b, u"");
        put_u32(b, 0);
        break;
      case 10:
        put_u32(b, 0);
        break;
      default:
        put_counted(b, s);
        break;
    }
  }
  return b;
}

// One valid record for the internal file with this Buffer ID.
inline bytes valid_record_bytes(int32_t buffer_id) { return valid_records(buffer_id, {u"v"}); }

inline uint32_t zlib_crc(const bytes& data) {
  return uint32_t(crc32(crc32(0L, Z_NULL, 0), data.data(), uInt(data.size())));
}

// Raw deflate (no wrapper) with zlib itself.
inline bytes raw_deflate(const bytes& data) {
  z_stream zs{};
  deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  bytes out(deflateBound(&zs, uLong(data.size())) + 16);
  zs.next_in = const_cast<Bytef*>(data.data());
  zs.avail_in = uInt(data.size());
  zs.next_out = out.data();
  zs.avail_out = uInt(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// One final stored deflate block: 0x01, LEN, ~LEN, the bytes (at most 65535).
inline bytes stored_block(const bytes& data) {
  bytes b{0x01};
  put_u16(b, uint16_t(data.size()));
  put_u16(b, uint16_t(~data.size()));
  return append(b, data);
}

// A packed item around a ready deflate stream with the given trailer values.
inline bytes item_with(const std::string& name, const bytes& stream, uint32_t crc,
                       uint32_t unpacked_len) {
  bytes b{'E', 'D', 'R', 'P', 0x08, 0x08, 0, 0, 0, 0, 0, 3};
  for (char c : name) b.push_back(uint8_t(c));
  b.push_back(0);
  b = append(b, stream);
  put_u32(b, crc);
  put_u32(b, unpacked_len);
  return b;
}
// A packed item of data in a stored block (so that each data byte appears in the item as is).
inline bytes stored_item(const std::string& name, const bytes& data) {
  return item_with(name, stored_block(data), zlib_crc(data), uint32_t(data.size()));
}
// A packed item of data compressed by zlib.
inline bytes deflated_item(const std::string& name, const bytes& data) {
  return item_with(name, raw_deflate(data), zlib_crc(data), uint32_t(data.size()));
}

struct table_item {
  std::u16string name;  // name in the part table
  bytes item;           // packed item bytes, placed before the footer
  uint64_t unpacked_len = 0;
  // When set, the entry points here instead of at the item (which is then not written).
  bool forged = false;
  uint64_t item_offset = 0;
  uint64_t packed_len = 0;
};

struct footer_spec {
  std::vector<table_item> items;
  std::vector<std::pair<std::u16string, std::u16string>> props;
};

inline bytes property_block(const std::vector<std::pair<std::u16string, std::u16string>>& props) {
  bytes pairs;
  for (const auto& [n, v] : props) {
    put_counted(pairs, n);
    put_counted(pairs, v);
  }
  bytes b;
  put_u64(b, pairs.size());
  return append(b, pairs);
}

// Header, then per footer its items followed by the footer, each footer naming the one before;
// the header names the last.
inline bytes build_file(const std::vector<footer_spec>& footers) {
  bytes f(512, 0);
  const uint8_t magic[16] = {0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D,
                             0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64};
  std::copy(magic, magic + 16, f.begin());
  uint64_t prev_offset = 0;
  uint32_t prev_len = 0;
  for (const footer_spec& spec : footers) {
    bytes table;
    for (const table_item& it : spec.items) {
      uint64_t offset = it.item_offset, len = it.packed_len;
      if (!it.forged) {
        offset = f.size();
        len = it.item.size();
        f = append(f, it.item);
      }
      put_counted(table, it.name);
      put_u64(table, it.unpacked_len);
      put_u64(table, offset);
      put_u64(table, len);
    }
    const uint64_t footer_offset = f.size();
    bytes footer;
    put_u64(footer, prev_offset);
    put_u32(footer, prev_len);
    put_u64(footer, table.size());
    footer = append(footer, table);
    footer = append(footer, property_block(spec.props));
    f = append(f, footer);
    prev_offset = footer_offset;
    prev_len = uint32_t(footer.size());
  }
  set_u64(f, 32, prev_offset);
  set_u32(f, 40, prev_len);
  return f;
}

// The usual item of a part: name in the table and in the item, stored block, records as data.
inline table_item part_item(const std::string& name, const bytes& data) {
  return table_item{std::u16string(name.begin(), name.end()), stored_item(name, data), data.size()};
}

}  // namespace repcopy::test
