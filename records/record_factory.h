#pragma once
// Builds the record buffer (reader) of a Buffer ID 0 to 14 over an unpacked item.

#include <cstdint>
#include <memory>
#include <vector>

#include "records/rep_buffer.h"

namespace repcopy {

// nullptr for an ID outside 0 to 14. The buffer is not loaded yet.
std::unique_ptr<RepPartBuffer> make_record_buffer(int32_t buffer_id, byte_buffer data,
                                                  uint64_t real_len);

}  // namespace repcopy
