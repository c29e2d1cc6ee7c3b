#include "records/cache_readers.h"

#include "records/record_format.h"

namespace repcopy {

namespace {

// Skips one counted string; false when its length field or its code units pass the end.
bool skip_counted(byte_reader& r) {
  uint32_t n = 0;
  return r.u32(n) && r.skip(uint64_t(n) * 2);
}

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

}  // namespace

// ---- RepNameTailBuffer: counted name, then a fixed tail ----

RepNameTailBuffer::RepNameTailBuffer(std::vector<uint8_t> data, uint64_t real_len,
                                     int32_t buffer_id, uint32_t tail_size)
    : RepPartBuffer(std::move(data), real_len, buffer_id), tail_size_(tail_size) {}

uint64_t RepNameTailBuffer::CountRecords() {
  byte_reader r(data_);
  while (!r.at_end()) {
    if (!skip_counted(r) || !r.skip(tail_size_)) return kWalkFailed;
    ++ulCount_;
  }
  return r.pos();
}

void RepNameTailBuffer::ResizeIndex() {
  RepPartBuffer::ResizeIndex();
  tail_starts_.resize(ulCount_);
}

void RepNameTailBuffer::FillIndex() {
  byte_reader r(data_);
  for (uint32_t i = 0; i < ulCount_; ++i) {
    record_starts_[i] = uint32_t(r.pos());
    string_starts_[i] = uint32_t(r.pos() + 4);
    skip_counted(r);
    tail_starts_[i] = uint32_t(r.pos());
    r.skip(tail_size_);
  }
}

// ---- RepCatBuffer: counted name, u16 category, u16 marker, u32 EventID ----

RepCatBuffer::RepCatBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepNameTailBuffer(std::move(data), real_len, record_file::kCatId,
                        record_file::kCategoryExtra) {}

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
    : RepNameTailBuffer(std::move(data), real_len, record_file::kCompId,
                        record_file::kComputerExtra) {}

std::u16string RepCompBuffer::name(uint32_t i) const { return string_at(i); }

uint32_t RepCompBuffer::time_offset(uint32_t i) const {
  return i < tail_starts_.size() ? u32_at(data_, tail_starts_[i]) : 0;
}

// ---- RepUserBuffer: counted string 1, counted string 2, u32 M, M bytes ----

RepUserBuffer::RepUserBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kUserId) {}

uint64_t RepUserBuffer::CountRecords() {
  byte_reader r(data_);
  while (!r.at_end()) {
    uint32_t m = 0;
    if (!skip_counted(r) || !skip_counted(r) || !r.u32(m) || !r.skip(m)) return kWalkFailed;
    ++ulCount_;
  }
  return r.pos();
}

void RepUserBuffer::ResizeIndex() {
  RepPartBuffer::ResizeIndex();
  second_starts_.resize(ulCount_);
  binary_starts_.resize(ulCount_);
}

void RepUserBuffer::FillIndex() {
  byte_reader r(data_);
  for (uint32_t i = 0; i < ulCount_; ++i) {
    record_starts_[i] = uint32_t(r.pos());
    string_starts_[i] = uint32_t(r.pos() + 4);
    skip_counted(r);
    second_starts_[i] = uint32_t(r.pos());
    skip_counted(r);
    binary_starts_[i] = uint32_t(r.pos());
    uint32_t m = 0;
    r.u32(m);
    r.skip(m);
  }
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
