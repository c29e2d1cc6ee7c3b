#include "records/named_field_readers.h"

#include "records/record_format.h"

namespace repcopy {

RepNfieldsDatBuffer::RepNfieldsDatBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kNfieldsId) {}

uint64_t RepNfieldsDatBuffer::CountRecords() {
  byte_reader r(data_);
  while (!r.at_end()) {
    uint32_t count = 0;
    if (!r.u32(count) || !r.skip(uint64_t(count) * record_file::kFieldPairSize)) {
      return kWalkFailed;
    }
    ++ulCount_;
  }
  return r.pos();
}

bool RepNfieldsDatBuffer::read_fields(uint64_t& offset,
                                      std::vector<std::pair<uint32_t, uint32_t>>& pairs) const {
  byte_reader r(data_);
  uint32_t count = 0;
  if (!r.seek(offset) || !r.u32(count) || !r.has(uint64_t(count) * record_file::kFieldPairSize)) {
    return false;
  }
  pairs.resize(count);
  for (auto& [name, value] : pairs) {
    r.u32(name);
    r.u32(value);
  }
  offset = r.pos();
  return true;
}

RepNfNamesBuffer::RepNfNamesBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kNfNamesId) {}

RepNfValuesBuffer::RepNfValuesBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kNfValuesId) {}

}  // namespace repcopy
