// Structure-aware fuzzing of the record walks and the join. Plain byte mutation of a repository
// file almost never survives the CRC of its packed items, so the fuzzer would stop at the
// container. The custom mutator below unpacks one item of a valid file, changes its content the
// way damage or a hostile writer would (record fields, length words, cache indexes, string
// words, cut or grown records), packs it again with a valid CRC and lays the file out again
// (offsets, part table, header), so every input reaches RepFileSource with sound packing.
//
// The target reads the input as one repository file through RepFileSource, as the source walk
// does, and checks what every event it yields claims about itself.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "source/rep_file_source.h"
#include "util/message_sink.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

using bytes = std::vector<uint8_t>;

uint64_t get(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
void put(bytes& out, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void set(uint8_t* p, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = uint8_t(v >> (8 * i));
}

// One part table entry with its unpacked content.
struct item {
  std::u16string table_name;
  std::string packed_name;  // the 8-bit name inside the packed item
  bytes content;
};

// A repository file with one footer, taken apart. Empty when the input is not such a file or an
// item does not unpack with a matching CRC.
struct layout {
  std::vector<item> items;
  bytes properties;  // the property block after property_len
};

std::optional<bytes> inflate_raw(const uint8_t* p, size_t n, uint64_t expected) {
  if (expected > (1u << 24)) return std::nullopt;
  bytes out(size_t(expected) + 1);
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return std::nullopt;
  z.next_in = const_cast<Bytef*>(p);
  z.avail_in = uInt(n);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  const int rc = inflate(&z, Z_FINISH);
  const size_t got = z.total_out;
  inflateEnd(&z);
  if (rc != Z_STREAM_END || got != expected) return std::nullopt;
  out.resize(got);
  return out;
}

bytes deflate_raw(const bytes& in) {
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
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

std::optional<layout> take_apart(const uint8_t* d, size_t size) {
  if (size < 512) return std::nullopt;
  const uint64_t footer = get(d + 32, 8), footer_len = get(d + 40, 4);
  if (footer > size || size - footer != footer_len || footer_len < 28) return std::nullopt;
  if (get(d + footer, 8) != 0) return std::nullopt;  // one footer only
  const uint64_t tbl_len = get(d + footer + 12, 8);
  if (tbl_len > footer_len - 28) return std::nullopt;
  layout out;
  uint64_t pos = footer + 20;
  const uint64_t end = pos + tbl_len;
  while (pos < end) {
    if (end - pos < 28) return std::nullopt;
    const uint64_t n = get(d + pos, 4);
    if (n > (end - pos - 28) / 2) return std::nullopt;
    item it;
    for (uint64_t i = 0; i < n; ++i) it.table_name += char16_t(get(d + pos + 4 + 2 * i, 2));
    pos += 4 + 2 * n;
    const uint64_t unpacked = get(d + pos, 8), offset = get(d + pos + 8, 8),
                   packed = get(d + pos + 16, 8);
    pos += 24;
    if (offset > size || packed > size - offset || packed < 21) return std::nullopt;
    const uint8_t* p = d + offset;
    const void* nul = std::memchr(p + 12, 0, size_t(packed) - 12 - 8);
    if (nul == nullptr) return std::nullopt;
    const size_t name_len = size_t(static_cast<const uint8_t*>(nul) - (p + 12));
    it.packed_name.assign(reinterpret_cast<const char*>(p + 12), name_len);
    const size_t data_at = 13 + name_len;
    auto content = inflate_raw(p + data_at, size_t(packed) - data_at - 8, unpacked);
    if (!content) return std::nullopt;
    if (crc32(0, content->data(), uInt(content->size())) != get(p + packed - 8, 4)) {
      return std::nullopt;
    }
    it.content = std::move(*content);
    out.items.push_back(std::move(it));
  }
  const uint64_t prop_len = get(d + end, 8);
  if (prop_len != size - end - 8) return std::nullopt;
  out.properties.assign(d + end + 8, d + size);
  return out;
}

bytes lay_out(const layout& l) {
  bytes file = {0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D,
                0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64};
  file.resize(512, 0);
  bytes table;
  for (const item& it : l.items) {
    bytes packed = {'E', 'D', 'R', 'P', 8, 8, 0, 0, 0, 0, 0, 11};
    packed.insert(packed.end(), it.packed_name.begin(), it.packed_name.end());
    packed.push_back(0);
    const bytes stream = deflate_raw(it.content);
    packed.insert(packed.end(), stream.begin(), stream.end());
    put(packed, crc32(0, it.content.data(), uInt(it.content.size())), 4);
    put(packed, it.content.size(), 4);
    put(table, it.table_name.size(), 4);
    for (char16_t c : it.table_name) put(table, c, 2);
    put(table, it.content.size(), 8);
    put(table, file.size(), 8);
    put(table, packed.size(), 8);
    file.insert(file.end(), packed.begin(), packed.end());
  }
  const uint64_t footer = file.size();
  put(file, 0, 8);
  put(file, 0, 4);
  put(file, table.size(), 8);
  file.insert(file.end(), table.begin(), table.end());
  put(file, l.properties.size(), 8);
  file.insert(file.end(), l.properties.begin(), l.properties.end());
  set(file.data() + 32, footer, 8);
  set(file.data() + 40, file.size() - footer, 4);
  return file;
}

// Offsets of the events records of a "*_events.dat" item, found with the reader's own walk
// (36 fixed bytes, the string words, the data).
std::vector<size_t> event_records(const bytes& c) {
  std::vector<size_t> starts;
  size_t pos = 0;
  while (pos + 36 <= c.size() && starts.size() < 4096) {
    starts.push_back(pos);
    const uint64_t data_len = get(&c[pos], 4);
    const uint16_t slots = uint16_t(get(&c[pos + 24], 2));
    size_t words = 0;
    if (slots != 0) {
      words = 1;
      if (pos + 40 <= c.size() && get(&c[pos + 36], 4) != 0x02000000 && int16_t(slots) > 1) {
        while (words < slots && pos + 36 + 4 * (words + 1) <= c.size()) {
          const uint64_t w = get(&c[pos + 36 + 4 * words], 4);
          ++words;
          if (w == 0x02000000) break;
        }
      }
    }
    const uint64_t next = pos + 36 + 4 * uint64_t(words) + data_len;
    if (next > c.size()) break;
    pos = size_t(next);
  }
  return starts;
}

// Offsets of the counted strings (u32 n, 2n bytes) at the start of each cache record.
std::vector<size_t> counted_records(const bytes& c, size_t fixed_tail) {
  std::vector<size_t> starts;
  size_t pos = 0;
  while (pos + 4 <= c.size() && starts.size() < 4096) {
    starts.push_back(pos);
    pos += 4 + 2 * size_t(get(&c[pos], 4)) + fixed_tail;
  }
  return starts;
}

bool ends_with(const std::u16string& s, const std::u16string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Values that mean something somewhere in the records: none, the string-word markers, counts
// around the cache sizes, lengths that cross the end.
uint32_t interesting(std::mt19937& rng, uint32_t old, uint32_t records) {
  const uint32_t values[] = {0,           1,           2,          0xFFFFFFFF, 0x02000000,
                             0x01000000,  0x01000001,  0x7FFFFFFF, 0x80000000, records,
                             records + 1, records - 1, old + 1,    old - 1,    old ^ 0x80000000};
  return values[rng() % (sizeof values / sizeof values[0])];
}

void mutate_content(item& it, std::mt19937& rng, size_t max_growth) {
  bytes& c = it.content;
  const int choice = int(rng() % 8);
  if (ends_with(it.table_name, u"events.dat") && choice < 5) {
    const std::vector<size_t> recs = event_records(c);
    if (!recs.empty()) {
      const size_t r = recs[rng() % recs.size()];
      static const size_t kFields[] = {0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48};
      const size_t at = r + kFields[rng() % (sizeof kFields / sizeof kFields[0])];
      if (at + 4 <= c.size()) {
        if (at == r + 24) {  // string_slots and strings_aux
          set(&c[at], rng() % 2 ? rng() % 8 : rng(), 2);
        } else {
          set(&c[at], interesting(rng, uint32_t(get(&c[at], 4)), uint32_t(recs.size())), 4);
        }
        return;
      }
    }
  }
  if (choice < 6 && c.size() >= 4) {
    // A length word of a cache record, or any aligned word.
    const std::vector<size_t> recs = counted_records(c, 0);
    size_t at =
        recs.empty() || rng() % 2 ? (rng() % (c.size() / 4)) * 4 : recs[rng() % recs.size()];
    if (at + 4 > c.size()) at = c.size() - 4;
    set(&c[at], interesting(rng, uint32_t(get(&c[at], 4)), uint32_t(recs.size())), 4);
    return;
  }
  if (choice == 6) {  // cut or grow the item
    if (!c.empty() && rng() % 2) {
      c.resize(rng() % c.size());
    } else {
      const size_t grow = std::min<size_t>(1 + rng() % 64, max_growth);
      for (size_t i = 0; i < grow; ++i) c.push_back(uint8_t(rng()));
    }
    return;
  }
  // Plain byte mutation of the unpacked content.
  const size_t room = c.size() + std::min<size_t>(max_growth, 256);
  c.resize(room);
  c.resize(LLVMFuzzerMutate(c.data(), room - std::min<size_t>(max_growth, 256), room));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  std::mt19937 rng(seed);
  std::optional<layout> l = take_apart(data, size);
  if (!l || l->items.empty() || rng() % 16 == 0) return LLVMFuzzerMutate(data, size, max_size);
  const int changes = 1 + int(rng() % 3);
  for (int i = 0; i < changes; ++i) {
    item& it = l->items[rng() % l->items.size()];
    if (rng() % 32 == 0 && it.table_name.size() > 2) {
      it.table_name[rng() % it.table_name.size()] ^= char16_t(1 + rng() % 0x7F);  // a renamed entry
    } else {
      mutate_content(it, rng, max_size > size ? max_size - size : 0);
    }
  }
  const bytes file = lay_out(*l);
  if (file.size() > max_size) return LLVMFuzzerMutate(data, size, max_size);
  std::memcpy(data, file.data(), file.size());
  return file.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repcopy;
  filter_config filter;
  filter.time_on = size % 3 == 0;
  filter.time_from = 100;
  filter.time_to = 2000000000;
  RepFileSource source(repcopy::discard_messages(), &filter,
                       RepFileImage("fuzz.rep", bytes(data, data + size)));
  source.ProcessFile([](const full_event& e) {
    if (e.string_count != e.strings.size() || e.named_count != e.named_fields.size()) {
      __builtin_trap();
    }
  });
  return 0;
}
