#include "records/record_factory.h"

namespace repcopy {

// Placeholder until the record readers exist: every ID gets the base counted-string layout.
std::unique_ptr<RepPartBuffer> make_record_buffer(int32_t buffer_id, std::vector<uint8_t> data,
                                                  uint64_t real_len) {
  if (buffer_id < 0 || buffer_id > 14) return nullptr;
  return std::make_unique<RepPartBuffer>(std::move(data), real_len, buffer_id);
}

}  // namespace repcopy
