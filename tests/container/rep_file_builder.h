#pragma once
// Test-only builder of repository files, byte by byte: the 512-byte header, packed items (raw
// deflate through zlib directly), one footer with its part table and property block, and the
// records of the internal files. It shares no code with the readers or the target writer, so a
// mistake in the format code cannot cancel itself out.

#include <zlib.h>

// Records are written with designated initializers that leave the trailing vectors empty.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace repcopy::test_rep {

using bytes = std::vector<uint8_t>;
inline constexpr uint32_t kNone = 0xFFFFFFFF;

// Little-endian bytes, field by field.
struct le {
  bytes b;
  le& u8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  le& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
  le& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
  le& u64(uint64_t v) { return u32(uint32_t(v)).u32(uint32_t(v >> 32)); }
  le& raw(const bytes& d) {
    b.insert(b.end(), d.begin(), d.end());
    return *this;
  }
  le& utf16(const std::u16string& s) {
    for (char16_t c : s) u16(uint16_t(c));
    return *this;
  }
  le& counted(const std::u16string& s) { return u32(uint32_t(s.size())).utf16(s); }
};

inline bytes deflate_raw(const bytes& in) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
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

inline uint32_t zlib_crc(const bytes& d) {
  return uint32_t(crc32(crc32(0L, Z_NULL, 0), d.data(), uInt(d.size())));
}

// "EDRP", method 8, flags 8, 5 zero bytes, system byte, name, NUL, raw deflate, crc, length.
inline bytes packed_item(const std::string& name, const bytes& data, uint8_t system = 11) {
  le item;
  item.raw({'E', 'D', 'R', 'P', 8, 8, 0, 0, 0, 0, 0, system});
  for (char c : name) item.u8(uint8_t(c));
  item.u8(0).raw(deflate_raw(data)).u32(zlib_crc(data)).u32(uint32_t(data.size()));
  return item.b;
}

// ---- records of the internal files ----

struct cat_rec {
  std::u16string name;
  uint16_t category = 0;
  uint32_t event_id = 0;
};
struct comp_rec {
  std::u16string name;
  uint32_t time_offset = 0;
};
struct user_rec {
  std::u16string s1, s2;
  bytes binary;
};
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
  return o.b;
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

  bool omitted(int id) const {
    for (int o : omit)
      if (o == id) return true;
    return false;
  }

  // (item name, unpacked bytes) in the writer's order.
  std::vector<std::pair<std::string, bytes>> items() const {
    std::vector<std::pair<std::string, bytes>> out;
    const std::string p = std::to_string(index) + "_";
    auto add = [&](int id, const char* name, bytes b) {
      if (!omitted(id)) out.emplace_back(p + name, std::move(b));
    };
    le cat, comp, user, evs, keys_b, nf;
    for (const auto& c : cats) cat.counted(c.name).u16(c.category).u16(1).u32(c.event_id);
    for (const auto& c : comps) comp.counted(c.name).u32(c.time_offset);
    for (const auto& u : users)
      user.counted(u.s1).counted(u.s2).u32(uint32_t(u.binary.size())).raw(u.binary);
    for (const auto& e : events) {
      evs.u32(uint32_t(e.data.size())).u32(e.src).u32(e.cat).u32(e.comp).u32(e.user).u32(e.desc);
      evs.u16(e.slots).u16(e.aux).u32(e.stored_delta).u32(e.event_delta);
      for (uint32_t w : e.words) evs.u32(w);
      evs.raw(e.data);
    }
    for (uint32_t k : keys) keys_b.u32(k).u32(0);
    add(0, "cat.cache", cat.b);
    add(1, "comp.cache", comp.b);
    add(2, "desc.cache", counted_strings(descs));
    add(3, "events.dat", evs.b);
    add(4, "first.pos", bytes(32, 0));
    add(5, "ins.cache", counted_strings(ins));
    add(6, "last.pos", bytes(32, 0));
    add(7, "record.keys", keys_b.b);
    add(8, "src.cache", counted_strings(srcs));
    add(9, "user.cache", user.b);
    if (nfields) {
      for (const auto& list : *nfields) {
        nf.u32(uint32_t(list.size()));
        for (auto [n, v] : list) nf.u32(n).u32(v);
      }
      add(11, "nf_names.cache", counted_strings(nf_names));
      add(12, "nf_values.cache", counted_strings(nf_values));
      add(10, "nfields.dat", nf.b);
    }
    return out;
  }
};

// ---- the container ----

class rep_file_builder {
 public:
  // A packed item made from data.
  rep_file_builder& item(const std::string& name, const bytes& data) {
    return packed(name, packed_item(name, data), data.size());
  }
  // Bytes placed as the item of a part table entry, as they are.
  rep_file_builder& packed(const std::string& name, bytes item, uint64_t unpacked_len = 0) {
    items_.push_back({name, std::move(item), unpacked_len});
    return *this;
  }
  rep_file_builder& part(const test_part& p) {
    for (auto& [name, data] : p.items()) item(name, data);
    return *this;
  }
  rep_file_builder& property(const std::u16string& name, const std::u16string& value) {
    props_.emplace_back(name, value);
    return *this;
  }
  // The properties a file of this platform carries.
  rep_file_builder& windows(const std::u16string& computer, const std::u16string& domain) {
    return common(u"500").property(u"Computer", computer).property(u"Domain", domain);
  }
  rep_file_builder& unix_host(const std::u16string& platform, const std::u16string& host) {
    return common(platform).property(u"Host", host);
  }
  rep_file_builder& common(const std::u16string& platform) {
    return property(u"ComputerType", u"0000001A")
        .property(u"EventsCount", u"5")
        .property(u"PlatformID", platform)
        .property(u"UnderDataSource", u"Security");
  }

  bytes build() const {
    le file;
    file.raw({0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D, 0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4,
              0xF3, 0x64});
    for (int i = 0; i < 16; ++i) file.u8(uint8_t(0x10 + i));  // file GUID
    const size_t footer_fields = file.b.size();
    file.u64(0).u32(0);
    file.b.resize(512, 0);
    le table;
    for (const auto& it : items_) {
      std::u16string wide(it.name.begin(), it.name.end());
      table.counted(wide).u64(it.unpacked_len).u64(file.b.size()).u64(it.data.size());
      file.raw(it.data);
    }
    le props;
    for (const auto& [n, v] : props_) props.counted(n).counted(v);
    const uint64_t footer_offset = file.b.size();
    file.u64(0).u32(0).u64(table.b.size()).raw(table.b).u64(props.b.size()).raw(props.b);
    const uint32_t footer_len = uint32_t(file.b.size() - footer_offset);
    le head;
    head.u64(footer_offset).u32(footer_len);
    std::copy(head.b.begin(), head.b.end(), file.b.begin() + long(footer_fields));
    return file.b;
  }

 private:
  struct entry {
    std::string name;
    bytes data;
    uint64_t unpacked_len;
  };
  std::vector<entry> items_;
  std::vector<std::pair<std::u16string, std::u16string>> props_;
};

}  // namespace repcopy::test_rep
