#pragma once
// Test-only builder of repository files, byte by byte: little-endian fields, packed items (zlib
// itself or stored deflate blocks written by hand), footers with their part table and property
// block, and the records of a part. It shares no code with the readers or the target writer, so
// a mistake in the format code cannot cancel itself out.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "compression/crc32.h"
#include "model/full_event.h"
#include "util/byte_buffer.h"

// Records are written with designated initializers that leave the trailing vectors empty.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace repcopy::test {

// The bytes of a hand-built item or file, in the buffer type the readers take.
using bytes = byte_buffer;
inline constexpr uint32_t kNone = 0xFFFFFFFF;

// Little-endian bytes, field by field.
struct le {
  bytes b;
  le& n(uint64_t v, int width) {
    for (int i = 0; i < width; ++i) b.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  le& u8(uint8_t v) { return n(v, 1); }
  le& u16(uint16_t v) { return n(v, 2); }
  le& u32(uint32_t v) { return n(v, 4); }
  le& u64(uint64_t v) { return n(v, 8); }
  le& u32s(std::initializer_list<uint32_t> vs) {
    for (uint32_t v : vs) u32(v);
    return *this;
  }
  le& raw(const bytes& d) { return b.insert(b.end(), d.begin(), d.end()), *this; }
  le& zeros(size_t count) { return raw(bytes(count, 0)); }
  le& counted(const std::u16string& s) {
    u32(uint32_t(s.size()));
    for (char16_t c : s) u16(uint16_t(c));
    return *this;
  }
  operator bytes() const { return b; }
};

// Overwrites width bytes at `at` with v, little-endian.
inline void patch(bytes& b, size_t at, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

inline uint32_t zlib_crc(const bytes& d) {
  return uint32_t(crc32(crc32(0L, Z_NULL, 0), d.data(), uInt(d.size())));
}

inline bytes raw_deflate(const bytes& in) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  bytes out(deflateBound(&z, uLong(in.size())) + 16);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// One final stored deflate block: 0x01, LEN, ~LEN, the bytes (at most 65535), so that each data
// byte appears in the item as is.
inline bytes stored_block(const bytes& data) {
  return le().u8(1).u16(uint16_t(data.size())).u16(uint16_t(~data.size())).raw(data);
}

// "EDRP", method 8, flags 8, 5 zero bytes, system byte, name, NUL, stream, crc32, length.
inline bytes item_with(const std::string& name, const bytes& stream, uint32_t crc, uint32_t len) {
  le item;
  item.raw({'E', 'D', 'R', 'P', 8, 8, 0, 0, 0, 0, 0, 11});
  for (char c : name) item.u8(uint8_t(c));
  return item.u8(0).raw(stream).u32(crc).u32(len);
}
inline bytes stored_item(const std::string& name, const bytes& data) {
  return item_with(name, stored_block(data), zlib_crc(data), uint32_t(data.size()));
}
inline bytes packed_item(const std::string& name, const bytes& data) {
  return item_with(name, raw_deflate(data), zlib_crc(data), uint32_t(data.size()));
}

// ---- events as a source yields them ----

// source_record: the string's record in its part's cache, as a reader leaves it in cache_index.
inline insertion_string ins(uint32_t ordinal, const std::u16string& text,
                            uint32_t source_record = 0) {
  return {ordinal, text, crc32_of_text(text), source_record};
}
inline named_field field(const std::u16string& name, const std::u16string& value) {
  return {name, value, crc32_of_text(name), crc32_of_text(value)};
}
// The event with every string's CRC and the counts set.
inline full_event E(full_event e) {
  e.origin_flag = 1;
  std::u16string* texts[] = {&e.computer,      &e.host_computer, &e.src_name,    &e.description,
                             &e.category_name, &e.user_string1,  &e.user_string2};
  uint32_t* crcs[] = {&e.computer_crc,    &e.host_computer_crc, &e.src_name_crc,
                      &e.description_crc, &e.category_name_crc, &e.user_string1_crc,
                      &e.user_string2_crc};
  for (int i = 0; i < 7; ++i) *crcs[i] = crc32_of_text(*texts[i]);
  e.string_count = uint32_t(e.strings.size());
  e.named_count = uint32_t(e.named_fields.size());
  return e;
}

// ---- records of a part ----

using cat_rec = std::tuple<std::u16string, uint16_t, uint32_t>;      // name, category, EventID
using comp_rec = std::pair<std::u16string, uint32_t>;                // name, time offset
using user_rec = std::tuple<std::u16string, std::u16string, bytes>;  // strings 1 and 2, binary
// One record of 0_events.dat; the deltas are stored as given.
struct ev {
  uint32_t src = kNone, cat = kNone, comp = 0, user = kNone, desc = kNone;
  uint16_t slots = 0, aux = 0;
  uint32_t stored_delta = 0, event_delta = 0;
  std::vector<uint32_t> words;
  bytes data;
};
using field_list = std::vector<std::pair<uint32_t, uint32_t>>;

inline bytes counted_strings(const std::vector<std::u16string>& v) {
  le o;
  for (const auto& s : v) o.counted(s);
  return o;
}

// The records of one part. Items whose Buffer ID is in `omit` are not written.
struct test_part {
  int index = 0;
  std::vector<cat_rec> cats;
  std::vector<comp_rec> comps;
  std::vector<std::u16string> descs, ins, srcs, nf_names, nf_values;
  std::vector<user_rec> users;
  std::vector<ev> events;
  std::vector<uint32_t> keys;                      // record keys (time field written as 0)
  std::optional<std::vector<field_list>> nfields;  // 0_nfields.dat when set
  std::vector<int> omit;

  // (item name, unpacked bytes) in the writer's order.
  std::vector<std::pair<std::string, bytes>> items() const {
    std::vector<std::pair<std::string, bytes>> out;
    auto add = [&](int id, const char* name, bytes b) {
      if (std::find(omit.begin(), omit.end(), id) == omit.end())
        out.emplace_back(std::to_string(index) + "_" + name, std::move(b));
    };
    le cat, comp, user, evs, keys_b, nf;
    for (const auto& [name, number, id] : cats) cat.counted(name).u16(number).u16(1).u32(id);
    for (const auto& [name, offset] : comps) comp.counted(name).u32(offset);
    for (const auto& [s1, s2, binary] : users)
      user.counted(s1).counted(s2).u32(uint32_t(binary.size())).raw(binary);
    for (const auto& e : events) {
      evs.u32(uint32_t(e.data.size())).u32(e.src).u32(e.cat).u32(e.comp).u32(e.user).u32(e.desc);
      evs.u16(e.slots).u16(e.aux).u32(e.stored_delta).u32(e.event_delta);
      for (uint32_t w : e.words) evs.u32(w);
      evs.raw(e.data);
    }
    for (uint32_t k : keys) keys_b.u32(k).u32(0);
    add(0, "cat.cache", cat);
    add(1, "comp.cache", comp);
    add(2, "desc.cache", counted_strings(descs));
    add(3, "events.dat", evs);
    add(4, "first.pos", bytes(32, 0));
    add(5, "ins.cache", counted_strings(ins));
    add(6, "last.pos", bytes(32, 0));
    add(7, "record.keys", keys_b);
    add(8, "src.cache", counted_strings(srcs));
    add(9, "user.cache", user);
    if (nfields) {
      for (const auto& list : *nfields) {
        nf.u32(uint32_t(list.size()));
        for (auto [n, v] : list) nf.u32(n).u32(v);
      }
      add(11, "nf_names.cache", counted_strings(nf_names));
      add(12, "nf_values.cache", counted_strings(nf_values));
      add(10, "nfields.dat", nf);
    }
    return out;
  }
};

// Caches and three events of a Windows part:
//   event 0: every cache named, two insertion strings, data {9, 8}, computer "ws01" (+1000 s)
//   event 1: category 1, computer "ws02" (offset 0), no source, user or description
//   event 2: nothing named but the computer "ws01"
inline test_part sample_part() {
  test_part p;
  p.cats = {{u"Logon", 12544, 4624}, {u"Logoff", 12545, 4634}};
  p.comps = {{u"ws01", 1000}, {u"ws02", 0}};
  p.descs = {u"An account logged on"};
  p.ins = {u"alice", u"bob", u"carol"};
  p.srcs = {u"Security-Auditing"};
  p.users = {{u"CORP", u"alice", {1, 2, 3}}};
  p.events = {ev{0, 0, 0, 0, 0, 2, 7, 100, 1100, {0, 1}, {9, 8}},
              ev{.cat = 1, .comp = 1, .stored_delta = 20, .event_delta = 5},
              ev{.comp = 0, .stored_delta = 30, .event_delta = 30}};
  p.keys = {11, 12, 13};
  return p;
}

// ---- the container ----

// Header, then per footer its items followed by the footer; each footer names the one before,
// the header names the last.
class rep_file_builder {
 public:
  // A packed item made from data by zlib.
  rep_file_builder& item(const std::string& name, const bytes& data) {
    return packed(name, packed_item(name, data), data.size());
  }
  // Bytes placed as the item of a part table entry, as they are.
  rep_file_builder& packed(const std::string& name, bytes item, uint64_t unpacked_len = 0) {
    footers_.back().entries.push_back({name, std::move(item), unpacked_len, std::nullopt});
    return *this;
  }
  // An entry claiming this offset and length; no item is written for it.
  rep_file_builder& forged(const std::string& name, uint64_t offset, uint64_t packed_len) {
    footers_.back().entries.push_back({name, {}, 0, std::pair{offset, packed_len}});
    return *this;
  }
  rep_file_builder& part(const test_part& p) {
    for (auto& [name, data] : p.items()) item(name, data);
    ++footers_.back().parts;
    if (std::find(p.omit.begin(), p.omit.end(), 3) == p.omit.end()) {
      footers_.back().events += p.events.size();
    }
    return *this;
  }
  // Events records added item by item (not through part()), for the footer's "EventsCount".
  rep_file_builder& add_events_count(size_t n) {
    footers_.back().events += n;
    ++footers_.back().parts;
    return *this;
  }
  rep_file_builder& property(const std::u16string& name, const std::u16string& value) {
    footers_.back().props.emplace_back(name, value);
    return *this;
  }
  // Starts the next, newer footer.
  rep_file_builder& next_footer() {
    footers_.emplace_back();
    return *this;
  }
  // The properties a file of this platform carries.
  rep_file_builder& windows(const std::u16string& computer, const std::u16string& domain = u"D") {
    return common(u"500").property(u"Computer", computer).property(u"Domain", domain);
  }
  rep_file_builder& unix_host(const std::u16string& platform, const std::u16string& host) {
    return common(platform).property(u"Host", host);
  }
  rep_file_builder& common(const std::u16string& platform) {
    return property(u"ComputerType", u"0000001A")
        .property(u"EventsCount", kCountOfParts)
        .property(u"PlatformID", platform)
        .property(u"UnderDataSource", u"Security");
  }

  bytes build() const {
    le file;
    file.raw({0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D, 0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4,
              0xF3, 0x64});
    file.b.resize(512, 0);
    uint64_t prev_offset = 0, prev_len = 0;
    for (const footer_layout& f : footers_) {
      le table, props;
      for (const entry& e : f.entries) {
        const uint64_t offset = e.forged ? e.forged->first : file.b.size();
        const uint64_t len = e.forged ? e.forged->second : e.item.size();
        file.raw(e.item);
        table.counted(std::u16string(e.name.begin(), e.name.end()));
        table.u64(e.unpacked_len).u64(offset).u64(len);
      }
      for (const auto& [n, v] : f.props) {
        if (v == kCountOfParts) {
          // A footer without parts (nested files only, say) keeps a nonzero count: 0 would make
          // it an empty file.
          const std::string count = std::to_string(f.parts != 0 ? f.events : 5);
          props.counted(n).counted(std::u16string(count.begin(), count.end()));
        } else {
          props.counted(n).counted(v);
        }
      }
      const uint64_t footer_offset = file.b.size();
      file.u64(prev_offset).u32(uint32_t(prev_len)).u64(table.b.size()).raw(table);
      file.u64(props.b.size()).raw(props);
      prev_offset = footer_offset;
      prev_len = file.b.size() - footer_offset;
    }
    patch(file.b, 32, prev_offset, 8);
    patch(file.b, 40, prev_len, 4);
    return file;
  }

 private:
  struct entry {
    std::string name;
    bytes item;
    uint64_t unpacked_len;
    std::optional<std::pair<uint64_t, uint64_t>> forged;  // offset, packed_len
  };
  // "EventsCount" of common(): the number of events records of the footer's parts (5 when it
  // has none).
  static constexpr const char16_t* kCountOfParts = u"(events of the parts)";
  struct footer_layout {
    size_t events = 0;
    size_t parts = 0;
    std::vector<entry> entries;
    std::vector<std::pair<std::u16string, std::u16string>> props;
  };
  std::vector<footer_layout> footers_{1};
};

}  // namespace repcopy::test
