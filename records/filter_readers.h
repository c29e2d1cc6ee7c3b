#pragma once
// Readers of filter.dat and filters.stat. This system does not interpret either file: Load does
// nothing and returns 0 whatever the item holds, and Dump shows the bytes.

#include <cstdint>
#include <vector>

#include "records/record_format.h"
#include "records/rep_buffer.h"

namespace repcopy {

class RepFiltersDatBuffer : public RepPartBuffer {
 public:
  RepFiltersDatBuffer(byte_buffer data, uint64_t real_len)
      : RepPartBuffer(std::move(data), real_len, record_file::kFilterDatId) {}
  int32_t Load() override { return 0; }
};

class RepFilterStatBuffer : public RepPartBuffer {
 public:
  RepFilterStatBuffer(byte_buffer data, uint64_t real_len)
      : RepPartBuffer(std::move(data), real_len, record_file::kFilterStatId) {}
  int32_t Load() override { return 0; }
};

}  // namespace repcopy
