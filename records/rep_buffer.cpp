#include "records/rep_buffer.h"

#include <iostream>

#include "util/hex_dump.h"

namespace repcopy {

RepPartBuffer::RepPartBuffer(std::vector<uint8_t> unpacked, uint64_t real_len, int32_t buffer_id)
    : RepBuffer(byte_span(), buffer_id), owned_(std::move(unpacked)) {
  if (real_len > owned_.size()) real_len = owned_.size();
  data_ = byte_span(owned_.data(), size_t(real_len));
}

int32_t RepPartBuffer::Load() {
  ulCount_ = 0;
  if (WalkRecords()) return 0;
  ClearIndex();
  return -1;
}

void RepPartBuffer::Dump() const {
  std::cout << "id = " << buffer_id_ << " " << class_name(buffer_id_) << "\n"
            << "buffer_len = " << buffer_len() << "\n"
            << "ulCount = " << ulCount_ << "\n\n";
  hex_dump(data_, data_.size());
}

bool RepPartBuffer::WalkRecords() { return walk_starts<string_record>(); }

void RepPartBuffer::ClearIndex() { record_starts_ = {}; }

std::u16string RepPartBuffer::counted_string_at(uint32_t offset) const {
  byte_reader r(data_, offset);
  std::u16string s;
  r.counted_utf16(s);
  return s;
}

std::u16string RepPartBuffer::string_at(uint32_t i) const {
  if (i >= record_starts_.size()) return {};
  return counted_string_at(record_starts_[i]);
}

const char* RepPartBuffer::class_name(int32_t buffer_id) {
  static const char* kNames[] = {"RepCatBuffer",      "RepCompBuffer",       "RepDescBuffer",
                                 "RepEventsBuffer",   "RepFirstPosBuffer",   "RepInsBuffer",
                                 "RepLastPosBuffer",  "RepRecordBuffer",     "RepSrcBuffer",
                                 "RepUserBuffer",     "RepNfieldsDatBuffer", "RepNfnamesBuffer",
                                 "RepNfvaluesBuffer", "RepFiltersDatBuffer", "RepFilterStatBuffer"};
  if (buffer_id < 0 || buffer_id > 14) return "N/A";
  return kNames[buffer_id];
}

}  // namespace repcopy
