#include "records/cache_readers.h"

#include "records/record_format.h"

namespace repcopy {

namespace {

uint16_t u16_at(byte_span data, uint32_t offset) {
  byte_reader r(data, offset);
  uint16_t v = 0;
  r.u16(v);
  return v;
}

uint32_t u32_at(byte_span data, uint32_t offset) {
  byte_reader r(data, offset);
  uint32_t v = 0;
  r.u32(v);
  return v;
}

// The offset after a counted string the walk has located.
uint32_t after(const counted_text& t) {
  return t.at + record_file::kCountedStringHeader + 2 * t.units;
}

}  // namespace

// ---- RepNameTailBuffer: counted name, then fixed fields ----

void RepNameTailBuffer::index_name(uint32_t start, const counted_text& name) {
  record_starts_.push_back(start);
  string_starts_.push_back(start + record_file::kCountedStringHeader);
  tail_starts_.push_back(after(name));
}

void RepNameTailBuffer::ClearIndex() {
  RepPartBuffer::ClearIndex();
  tail_starts_ = {};
}

// ---- RepCatBuffer: counted name, u16 category, u16 marker, u32 EventID ----

RepCatBuffer::RepCatBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepNameTailBuffer(std::move(data), real_len, record_file::kCatId) {}

bool RepCatBuffer::WalkRecords() {
  return walk_each<category_record>(
      [this](uint32_t start, const category_record& r) { index_name(start, r.name); });
}

std::u16string RepCatBuffer::name(uint32_t i) const { return string_at(i); }

uint16_t RepCatBuffer::category(uint32_t i) const {
  return i < tail_starts_.size() ? u16_at(data_, tail_starts_[i]) : 0;
}

uint16_t RepCatBuffer::category_marker(uint32_t i) const {
  return i < tail_starts_.size() ? u16_at(data_, tail_starts_[i] + 2) : 0;
}

uint32_t RepCatBuffer::event_id(uint32_t i) const {
  return i < tail_starts_.size() ? u32_at(data_, tail_starts_[i] + 4) : 0;
}

// ---- RepCompBuffer: counted name, u32 time_offset ----

RepCompBuffer::RepCompBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepNameTailBuffer(std::move(data), real_len, record_file::kCompId) {}

bool RepCompBuffer::WalkRecords() {
  return walk_each<computer_record>(
      [this](uint32_t start, const computer_record& r) { index_name(start, r.name); });
}

std::u16string RepCompBuffer::name(uint32_t i) const { return string_at(i); }

uint32_t RepCompBuffer::time_offset(uint32_t i) const {
  return i < tail_starts_.size() ? u32_at(data_, tail_starts_[i]) : 0;
}

// ---- RepUserBuffer: counted string 1, counted string 2, u32 M, M bytes ----

RepUserBuffer::RepUserBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kUserId) {}

bool RepUserBuffer::WalkRecords() {
  return walk_each<user_record>([this](uint32_t start, const user_record& r) {
    record_starts_.push_back(start);
    string_starts_.push_back(start + record_file::kCountedStringHeader);
    second_starts_.push_back(r.string2.at);
    binary_starts_.push_back(after(r.string2));
  });
}

void RepUserBuffer::ClearIndex() {
  RepPartBuffer::ClearIndex();
  second_starts_ = {};
  binary_starts_ = {};
}

std::u16string RepUserBuffer::string1(uint32_t i) const { return string_at(i); }

std::u16string RepUserBuffer::string2(uint32_t i) const {
  return i < second_starts_.size() ? counted_string_at(second_starts_[i]) : std::u16string();
}

std::vector<uint8_t> RepUserBuffer::binary(uint32_t i) const {
  if (i >= binary_starts_.size()) return {};
  byte_reader r(data_, binary_starts_[i]);
  uint32_t m = 0;
  byte_span value;
  if (!r.u32(m) || !r.bytes(m, value)) return {};
  return std::vector<uint8_t>(value.begin(), value.end());
}

// ---- Counted-string caches ----

RepDescBuffer::RepDescBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kDescId) {}

RepInsBuffer::RepInsBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kInsId) {}

RepSrcBuffer::RepSrcBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kSrcId) {}

}  // namespace repcopy
