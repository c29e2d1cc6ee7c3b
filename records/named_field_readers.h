#pragma once
// Readers of the named-field files: the two counted-string caches 0_nf_names.cache and
// 0_nf_values.cache, and the table 0_nfields.dat (one field list record per events record:
// u32 F, then F pairs of name and value record numbers). The table keeps no index; Load only
// checks that it consists of whole records, and the join walks it with read_fields.

#include <cstdint>
#include <utility>
#include <vector>

#include "records/rep_buffer.h"

namespace repcopy {

class RepNfieldsDatBuffer : public RepPartBuffer {
 public:
  RepNfieldsDatBuffer(byte_buffer data, uint64_t real_len);

  // Reads the field-list record at offset (advancing it); false when it does not fit the
  // buffer (offset and pairs are then left alone).
  bool read_fields(uint64_t& offset, std::vector<std::pair<uint32_t, uint32_t>>& pairs) const;

 protected:
  bool WalkRecords() override;
  void ClearIndex() override {}
};

class RepNfNamesBuffer : public RepPartBuffer {
 public:
  RepNfNamesBuffer(byte_buffer data, uint64_t real_len);
};

class RepNfValuesBuffer : public RepPartBuffer {
 public:
  RepNfValuesBuffer(byte_buffer data, uint64_t real_len);
};

}  // namespace repcopy
