#pragma once
// Helpers of the target tests: a scratch directory, fake segment writers, and an independent
// reader of the bytes the target writes (it shares no code with the writer).

#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "records/record_format.h"
#include "records/segment.h"
#include "tests/temp_tree.h"

namespace repcopy::testutil {

namespace fs = std::filesystem;

inline std::vector<uint8_t> read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
inline uint64_t rd(std::span<const uint8_t> b, size_t at, int bytes = 4) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}
// A length-prefixed UTF-16 text at at, which moves past it; nullopt when it does not fit in b.
inline std::optional<std::u16string> rd_text(std::span<const uint8_t> b, size_t& at) {
  if (b.size() - at < 4 || (b.size() - at - 4) / 2 < rd(b, at)) return std::nullopt;
  std::u16string s(rd(b, at), u'\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = char16_t(rd(b, at + 4 + 2 * i, 2));
  at += 4 + 2 * s.size();
  return s;
}

// A packed item as a gzip member: the gzip magic in place of the 4-byte signature; the rest
// already has gzip's layout. zlib checks the CRC and length of the trailer. nullopt if rejected.
inline std::optional<std::vector<uint8_t>> gunzip_item(std::span<const uint8_t> item) {
  std::vector<uint8_t> member = {0x1F, 0x8B}, out(1 << 20);
  member.insert(member.end(), item.begin() + 4, item.end());
  z_stream s{};
  s.next_in = member.data();
  s.avail_in = uInt(member.size());
  s.next_out = out.data();
  s.avail_out = uInt(out.size());
  if (inflateInit2(&s, 16 + 15) != Z_OK) return std::nullopt;
  const bool whole = inflate(&s, Z_FINISH) == Z_STREAM_END && s.avail_in == 0;
  out.resize(s.total_out);
  inflateEnd(&s);
  return whole ? std::optional(out) : std::nullopt;
}

using property_list = std::vector<std::pair<std::u16string, std::u16string>>;

// A repository file read back: the part table and properties, or an error naming the broken rule.
struct read_entry {
  std::string name;
  uint64_t unpacked_len, item_offset, packed_len;
};
struct read_file_result {
  std::string error;
  std::vector<read_entry> entries;
  property_list properties;
};
inline read_file_result read_repository_file(const std::vector<uint8_t>& f) {
  static const uint8_t kMagic[16] = {0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D,
                                     0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64};
  read_file_result r;
  if (f.size() < 512 || std::memcmp(f.data(), kMagic, 16) != 0) return {"header", {}, {}};
  const uint64_t footer = rd(f, 32, 8);
  if (footer < 512 || footer + rd(f, 40) != f.size() || f.size() - footer < 28)
    return {"header sum != file length", {}, {}};
  if (rd(f, footer, 8) != 0 || rd(f, footer + 8) != 0) return {"a previous footer", {}, {}};
  const size_t table_end = footer + 20 + rd(f, footer + 12, 8);
  if (table_end > f.size()) return {"table past the end", {}, {}};
  std::span<const uint8_t> table(f.data(), table_end);
  for (size_t at = footer + 20; at < table_end;) {
    auto name = rd_text(table, at);
    if (!name || table_end - at < 24) return {"table entry", {}, {}};
    r.entries.push_back({std::string(name->begin(), name->end()), rd(f, at, 8), rd(f, at + 8, 8),
                         rd(f, at + 16, 8)});
    at += 24;
  }
  // The property block: its u64 length, then name/value pairs.
  std::span<const uint8_t> block = std::span<const uint8_t>(f).subspan(table_end);
  if (block.size() < 8 || rd(block, 0, 8) != block.size() - 8)
    return {"property block length", {}, {}};
  for (size_t at = 8; at < block.size();) {
    auto name = rd_text(block, at);
    auto value = name ? rd_text(block, at) : std::nullopt;
    if (!value) return {"property", {}, {}};
    r.properties.emplace_back(*name, *value);
  }
  return r;
}

// The content the fake writer of a Buffer ID produces: empty for "filter.dat", and for the named
// field files unless named fields are present; otherwise an ID-dependent pattern.
inline std::vector<uint8_t> fake_content(int32_t id, bool named_fields) {
  using namespace record_file;
  const bool named_file = id == kNfieldsId || id == kNfNamesId || id == kNfValuesId;
  if (id == kFilterDatId || (named_file && !named_fields)) return {};
  std::vector<uint8_t> out(100 + 37 * id + (id == kEventsId ? 5000 : 0));
  for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t((id * 31 + i * 7 + i / 13) & 0xFF);
  return out;
}

// A writer with the real writer's item names that produces fake_content.
class fake_segment : public segment {
 public:
  fake_segment(int32_t id, bool named_fields)
      : segment(id), content_(fake_content(id, named_fields)) {}
  uint32_t estimate_size(const event_batch&) override {
    return content_.empty() ? 0
                            : uint32_t(content_.size() + 16);  // over-estimates, as real ones may
  }
  uint32_t serialize(std::span<uint8_t> out, event_batch&) override {
    if (out.size() < content_.size()) return 0;
    std::copy(content_.begin(), content_.end(), out.begin());
    return uint32_t(content_.size());
  }

 private:
  std::vector<uint8_t> content_;
};

inline auto fake_factory(bool named_fields = false) {
  return [=](int32_t id) -> std::unique_ptr<segment> {
    return std::make_unique<fake_segment>(id, named_fields);
  };
}

}  // namespace repcopy::testutil
