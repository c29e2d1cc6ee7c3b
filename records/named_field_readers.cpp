#include "records/named_field_readers.h"

#include "records/record_format.h"

namespace repcopy {

RepNfieldsDatBuffer::RepNfieldsDatBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kNfieldsId) {}

bool RepNfieldsDatBuffer::WalkRecords() {
  return walk_each<field_list_record>([](uint32_t, const field_list_record&) {});
}

bool RepNfieldsDatBuffer::read_fields(uint64_t& offset,
                                      std::vector<std::pair<uint32_t, uint32_t>>& pairs) const {
  if (offset > data_.size()) return false;
  walk_archive a(data_, size_t(offset));
  field_list_record record;
  describe(a, record);
  if (!a.ok()) return false;
  pairs.resize(record.count);
  byte_reader r(data_, record.pairs.at);
  for (auto& [name, value] : pairs) {
    r.u32(name);
    r.u32(value);
  }
  offset = a.pos();
  return true;
}

RepNfNamesBuffer::RepNfNamesBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kNfNamesId) {}

RepNfValuesBuffer::RepNfValuesBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kNfValuesId) {}

}  // namespace repcopy
