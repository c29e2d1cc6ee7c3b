#include "records/rep_buffer.h"

#include <iostream>

#include "util/hex_dump.h"

namespace repcopy {

RepPartBuffer::RepPartBuffer(byte_buffer unpacked, uint64_t real_len, int32_t buffer_id)
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

void RepPartBuffer::Dump(message_sink& messages) const {
  messages.out(message_kind::summary)
      << "id = " << buffer_id_ << " " << class_name(buffer_id_) << "\n"
      << "buffer_len = " << buffer_len() << "\n"
      << "ulCount = " << ulCount_ << "\n";
  hex_dump(messages, data_, data_.size(), 0, message_kind::summary);
}

bool RepPartBuffer::WalkRecords() { return walk_starts<string_record>(); }

void RepPartBuffer::ClearIndex() { record_starts_ = {}; }

std::u16string RepPartBuffer::counted_string_at(uint32_t offset) const {
  std::u16string s;
  counted_string_at(offset, s);
  return s;
}

void RepPartBuffer::counted_string_at(uint32_t offset, std::u16string& out) const {
  byte_reader r(data_, offset);
  if (!r.counted_utf16(out)) out.clear();
}

std::u16string RepPartBuffer::string_at(uint32_t i) const {
  std::u16string s;
  string_at(i, s);
  return s;
}

void RepPartBuffer::string_at(uint32_t i, std::u16string& out) const {
  if (i >= record_starts_.size()) {
    out.clear();
    return;
  }
  counted_string_at(record_starts_[i], out);
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
