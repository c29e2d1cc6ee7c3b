#include "container/rep_data_buffer.h"

#include <sstream>

#include "container/buffer_id.h"
#include "container/format.h"
#include "container/rep_file_buffer.h"
#include "container/value_dump.h"
#include "records/record_factory.h"

namespace repcopy {

namespace {

void report_unknown_id(message_sink& messages, int32_t id) {
  messages.out(message_kind::notice) << "Unknown  id: " << id;
}

}  // namespace

RepDataBuffer::RepDataBuffer(message_sink& messages, byte_span data, uint64_t packed_len,
                             uint64_t item_offset)
    : RepBuffer(byte_span(), kBufferIdNested),
      messages_(messages),
      item_(locate_item(data, item_offset, packed_len)) {
  data_ = item_.item;
}

int32_t RepDataBuffer::Load() {
  unpack_result r;
  if (item_.fault != item_fault::none) {
    report_item_fault(messages_, item_);
  } else {
    r = inflate_item(messages_, item_);
  }
  unpacked_ = std::move(r.data);
  unpacked_len_real_ = r.real_len;
  crc32_real_ = r.crc32_real;
  status_ = r.status;
  return status_;
}

void RepDataBuffer::Dump(message_sink& messages) const {
  std::ostringstream os;
  os << "\n" << item_.name << "\n";
  if (item_.unpacked_len != unpacked_len_real_) {
    os << "unpacked_len = " << value_dump(item_.unpacked_len) << "\n";
    os << "unpacked_len_real = " << value_dump(unpacked_len_real_) << "\n";
  }
  if (item_.crc32 != crc32_real_) {
    os << "crc32 = " << value_dump(item_.crc32) << "\n";
    os << "crc32_real = " << value_dump(crc32_real_) << "\n";
  }
  messages.write(message_kind::summary, message_stream::out, os.view());
}

std::unique_ptr<RepPartBuffer> RepDataBuffer::CreateRecordBuffer(int32_t buffer_id) {
  Load();  // its status is reported by its own messages
  if (buffer_id < 0 || buffer_id >= kBufferIdCount) {
    report_unknown_id(messages_, buffer_id);
    return nullptr;
  }
  return make_record_buffer(buffer_id, std::move(unpacked_), unpacked_len_real_);
}

buffer_entry RepDataBuffer::UnpackAsEntry() {
  Load();
  buffer_entry entry;
  byte_span real(unpacked_.data(),
                 size_t(std::min<uint64_t>(unpacked_len_real_, unpacked_.size())));
  const int32_t id = classify_by_content(real);
  if (id != kBufferIdRawFile && id != kBufferIdNested) return entry;
  entry.owner = std::move(unpacked_);
  entry.data = real;  // the vector's heap block moved with it
  entry.item_offset = 0;
  entry.packed_len = real.size();
  entry.buffer_id = id;
  return entry;
}

std::unique_ptr<RepBuffer> make_buffer(message_sink& messages, byte_buffer data, uint64_t real_len,
                                       int32_t id) {
  if (id == kBufferIdUnknown) {
    byte_span real(data.data(), size_t(std::min<uint64_t>(real_len, data.size())));
    id = classify_by_content(real);
  }
  if (id == kBufferIdRawFile) {
    return std::make_unique<RepFileBuffer>(messages, std::move(data), real_len, kAllLoadFlags);
  }
  if (id >= 0 && id < kBufferIdCount) return make_record_buffer(id, std::move(data), real_len);
  report_unknown_id(messages, id);
  return nullptr;
}

}  // namespace repcopy
