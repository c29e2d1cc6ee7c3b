#pragma once
// Helpers of the target tests: a scratch directory, fake segment writers, and an independent
// reader of the bytes the target writes (it shares no code with the writer).

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "records/segment.h"

namespace repcopy::testutil {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with everything in it.
class temp_dir {
 public:
  temp_dir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() /
            ("repcopy-target-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~temp_dir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const fs::path& path() const { return path_; }
  std::u16string u16() const { return path_.u16string(); }

 private:
  fs::path path_;
};

inline uint32_t rd32(std::span<const uint8_t> b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}
inline uint64_t rd64(std::span<const uint8_t> b, size_t at) {
  return uint64_t(rd32(b, at)) | (uint64_t(rd32(b, at + 4)) << 32);
}
inline std::u16string rd16s(std::span<const uint8_t> b, size_t at, size_t units) {
  std::u16string s;
  for (size_t i = 0; i < units; ++i) s += char16_t(b[at + 2 * i] | (b[at + 2 * i + 1] << 8));
  return s;
}

// A packed item as a gzip member: the two gzip identification bytes in place of the 4-byte
// signature; everything after the signature already has gzip's layout. zlib checks the CRC and
// the length of the trailer. Empty when zlib rejects it.
inline std::optional<std::vector<uint8_t>> gunzip_item(std::span<const uint8_t> item) {
  if (item.size() < 4) return std::nullopt;
  std::vector<uint8_t> member = {0x1F, 0x8B};
  member.insert(member.end(), item.begin() + 4, item.end());
  z_stream s{};
  if (inflateInit2(&s, 16 + 15) != Z_OK) return std::nullopt;
  std::vector<uint8_t> out;
  uint8_t chunk[4096];
  s.next_in = member.data();
  s.avail_in = uInt(member.size());
  int r = Z_OK;
  while (r == Z_OK) {
    s.next_out = chunk;
    s.avail_out = sizeof chunk;
    r = inflate(&s, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - s.avail_out));
    if (r == Z_BUF_ERROR) break;
  }
  const bool whole = r == Z_STREAM_END && s.avail_in == 0;
  inflateEnd(&s);
  if (!whole) return std::nullopt;
  return out;
}

// Name/value pairs of a property block (u64 length, then the pairs), in written order.
using property_list = std::vector<std::pair<std::u16string, std::u16string>>;
inline std::optional<property_list> parse_property_block(std::span<const uint8_t> b) {
  if (b.size() < 8 || rd64(b, 0) != b.size() - 8) return std::nullopt;
  property_list out;
  size_t at = 8;
  while (at < b.size()) {
    if (b.size() - at < 4) return std::nullopt;
    size_t n = rd32(b, at);
    at += 4;
    if ((b.size() - at) / 2 < n) return std::nullopt;
    std::u16string name = rd16s(b, at, n);
    at += 2 * n;
    if (b.size() - at < 4) return std::nullopt;
    size_t m = rd32(b, at);
    at += 4;
    if ((b.size() - at) / 2 < m) return std::nullopt;
    out.emplace_back(name, rd16s(b, at, m));
    at += 2 * m;
  }
  return out;
}

inline const char* const kItemNames[15] = {
    "0_cat.cache",  "0_comp.cache",  "0_desc.cache",     "0_ins.cache",       "0_src.cache",
    "0_user.cache", "0_record.keys", "0_first.pos",      "0_last.pos",        "filter.dat",
    "filters.stat", "0_events.dat",  "0_nf_names.cache", "0_nf_values.cache", "0_nfields.dat"};
inline const char16_t* const kWideItemNames[15] = {
    u"0_cat.cache",  u"0_comp.cache",  u"0_desc.cache",     u"0_ins.cache",       u"0_src.cache",
    u"0_user.cache", u"0_record.keys", u"0_first.pos",      u"0_last.pos",        u"filter.dat",
    u"filters.stat", u"0_events.dat",  u"0_nf_names.cache", u"0_nf_values.cache", u"0_nfields.dat"};

// The content a fake writer of a position produces: empty for "filter.dat", and for the named
// field files unless named fields are present; otherwise a position-dependent pattern.
inline std::vector<uint8_t> fake_content(int position, bool named_fields) {
  if (position == 9) return {};
  if (position >= 12 && !named_fields) return {};
  std::vector<uint8_t> out(100 + 37 * position + (position == 11 ? 5000 : 0));
  for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t((position * 31 + i * 7 + i / 13) & 0xFF);
  return out;
}

// A writer that produces fake_content and logs the order of its calls.
class fake_segment : public segment {
 public:
  fake_segment(int position, bool named_fields, std::vector<std::string>* log)
      : segment(kItemNames[position], kWideItemNames[position]),
        content_(fake_content(position, named_fields)),
        position_(position),
        log_(log) {}
  uint32_t estimate_size(const event_batch&) override {
    if (log_) log_->push_back("estimate " + std::to_string(position_));
    // Over-estimate, as real writers may; never 0 for a non-empty item.
    return content_.empty() ? 0 : uint32_t(content_.size() + 16);
  }
  uint32_t serialize(std::span<uint8_t> out, event_batch&) override {
    if (log_) log_->push_back("serialize " + std::to_string(position_));
    if (out.size() < content_.size()) return 0;
    if (!content_.empty()) std::memcpy(out.data(), content_.data(), content_.size());
    return uint32_t(content_.size());
  }

 private:
  std::vector<uint8_t> content_;
  int position_;
  std::vector<std::string>* log_;
};

inline std::function<std::unique_ptr<segment>(int)> fake_factory(
    bool named_fields, std::vector<std::string>* log = nullptr) {
  return [named_fields, log](int position) -> std::unique_ptr<segment> {
    return std::make_unique<fake_segment>(position, named_fields, log);
  };
}

// One part-table entry as read back from a written file.
struct read_entry {
  std::u16string name;
  uint64_t unpacked_len = 0;
  uint64_t item_offset = 0;
  uint64_t packed_len = 0;
};

// A repository file read back independently; ok is false (and error says why) when any
// structural rule is broken.
struct read_file_result {
  bool ok = false;
  std::string error;
  std::vector<uint8_t> guid;  // the 16 file GUID bytes
  std::vector<read_entry> entries;
  property_list properties;
};

inline read_file_result read_repository_file(const std::vector<uint8_t>& f) {
  read_file_result r;
  auto fail = [&r](std::string why) {
    r.error = std::move(why);
    return r;
  };
  static const uint8_t kMagic[16] = {0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D,
                                     0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64};
  if (f.size() < 512) return fail("shorter than the header");
  if (std::memcmp(f.data(), kMagic, 16) != 0) return fail("magic");
  for (size_t i = 44; i < 512; ++i)
    if (f[i] != 0) return fail("reserved header bytes not zero");
  r.guid.assign(f.begin() + 16, f.begin() + 32);
  const uint64_t footer = rd64(f, 32);
  const uint32_t footer_len = rd32(f, 40);
  if (footer + footer_len != f.size()) return fail("header sum != file length");
  if (footer_len < 28 || footer < 512) return fail("footer position");
  if (rd64(f, footer) != 0 || rd32(f, footer + 8) != 0) return fail("previous footer not 0");
  const uint64_t tbl_len = rd64(f, footer + 12);
  size_t at = footer + 20;
  const size_t tbl_end = at + tbl_len;
  if (tbl_end + 8 > f.size()) return fail("table past the end");
  while (at < tbl_end) {
    read_entry e;
    if (tbl_end - at < 4) return fail("entry head");
    size_t n = rd32(f, at);
    at += 4;
    if (tbl_end - at < 2 * n + 24) return fail("entry body");
    e.name = rd16s(f, at, n);
    at += 2 * n;
    e.unpacked_len = rd64(f, at);
    e.item_offset = rd64(f, at + 8);
    e.packed_len = rd64(f, at + 16);
    at += 24;
    r.entries.push_back(e);
  }
  auto props = parse_property_block(std::span<const uint8_t>(f).subspan(tbl_end));
  if (!props) return fail("property block");
  r.properties = *props;
  r.ok = true;
  return r;
}

inline std::vector<uint8_t> read_bytes(const fs::path& p) {
  std::vector<uint8_t> out(fs::file_size(p));
  FILE* f = std::fopen(p.c_str(), "rb");
  if (f == nullptr) return {};
  size_t n = std::fread(out.data(), 1, out.size(), f);
  std::fclose(f);
  out.resize(n);
  return out;
}

// Every regular file below dir, as paths relative to dir.
inline std::vector<fs::path> files_below(const fs::path& dir) {
  std::vector<fs::path> out;
  for (auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), dir));
  return out;
}

}  // namespace repcopy::testutil
