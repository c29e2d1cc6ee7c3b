#include "records/cache_readers.h"

#include "records/record_format.h"

namespace repcopy {

// ---- RepCatBuffer: counted name, u16 category, u16 marker, u32 EventID ----

RepCatBuffer::RepCatBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kCatId) {}

bool RepCatBuffer::WalkRecords() { return walk_starts<category_record>(); }

std::u16string RepCatBuffer::name(uint32_t i) const { return string_at(i); }

uint16_t RepCatBuffer::category(uint32_t i) const {
  const auto r = record_at<category_record>(i);
  return r ? r->category : 0;
}

uint16_t RepCatBuffer::category_marker(uint32_t i) const {
  const auto r = record_at<category_record>(i);
  return r ? r->marker : 0;
}

uint32_t RepCatBuffer::event_id(uint32_t i) const {
  const auto r = record_at<category_record>(i);
  return r ? r->event_id : 0;
}

// ---- RepCompBuffer: counted name, u32 time_offset ----

RepCompBuffer::RepCompBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kCompId) {}

bool RepCompBuffer::WalkRecords() { return walk_starts<computer_record>(); }

std::u16string RepCompBuffer::name(uint32_t i) const { return string_at(i); }

uint32_t RepCompBuffer::time_offset(uint32_t i) const {
  const auto r = record_at<computer_record>(i);
  return r ? r->time_offset : 0;
}

// ---- RepUserBuffer: counted string 1, counted string 2, u32 M, M bytes ----

RepUserBuffer::RepUserBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kUserId) {}

bool RepUserBuffer::WalkRecords() { return walk_starts<user_record>(); }

std::u16string RepUserBuffer::string1(uint32_t i) const { return string_at(i); }

std::u16string RepUserBuffer::string2(uint32_t i) const {
  std::u16string s;
  string2(i, s);
  return s;
}

void RepUserBuffer::string2(uint32_t i, std::u16string& out) const {
  const auto r = record_at<user_record>(i);
  if (r)
    counted_string_at(r->string2.at, out);
  else
    out.clear();
}

std::vector<uint8_t> RepUserBuffer::binary(uint32_t i) const {
  std::vector<uint8_t> b;
  binary(i, b);
  return b;
}

void RepUserBuffer::binary(uint32_t i, std::vector<uint8_t>& out) const {
  const auto r = record_at<user_record>(i);
  if (r)
    out.assign(r->binary.bytes.begin(), r->binary.bytes.end());
  else
    out.clear();
}

// ---- Counted-string caches ----

RepDescBuffer::RepDescBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kDescId) {}

RepInsBuffer::RepInsBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kInsId) {}

RepSrcBuffer::RepSrcBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kSrcId) {}

}  // namespace repcopy
