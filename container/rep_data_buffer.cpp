#include "container/rep_data_buffer.h"

#include <iostream>

#include "container/buffer_id.h"
#include "container/format.h"
#include "container/rep_file_buffer.h"
#include "container/value_dump.h"
#include "records/record_factory.h"

namespace repcopy {

namespace {

void report_unknown_id(int32_t id) { std::cout << "Unknown  id: " << id << std::endl; }

}  // namespace

RepDataBuffer::RepDataBuffer(byte_span data, uint64_t packed_len, uint64_t item_offset)
    : RepBuffer(byte_span(), kBufferIdNested), item_(locate_item(data, item_offset, packed_len)) {
  data_ = item_.item;
}

int32_t RepDataBuffer::Load() {
  unpack_result r;
  if (item_.fault != item_fault::none) {
    report_item_fault(item_);
  } else {
    r = inflate_item(item_);
  }
  unpacked_ = std::move(r.data);
  unpacked_len_real_ = r.real_len;
  crc32_real_ = r.crc32_real;
  status_ = r.status;
  return status_;
}

void RepDataBuffer::Dump() const {
  std::cout << "\n" << item_.name << "\n";
  if (item_.unpacked_len != unpacked_len_real_) {
    std::cout << "unpacked_len = " << value_dump(item_.unpacked_len) << "\n";
    std::cout << "unpacked_len_real = " << value_dump(unpacked_len_real_) << "\n";
  }
  if (item_.crc32 != crc32_real_) {
    std::cout << "crc32 = " << value_dump(item_.crc32) << "\n";
    std::cout << "crc32_real = " << value_dump(crc32_real_) << "\n";
  }
  std::cout.flush();
}

std::unique_ptr<RepPartBuffer> RepDataBuffer::CreateRecordBuffer(int32_t buffer_id) {
  Load();  // its status is reported by its own messages
  if (buffer_id < 0 || buffer_id >= kBufferIdCount) {
    report_unknown_id(buffer_id);
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

std::unique_ptr<RepBuffer> make_buffer(std::vector<uint8_t> data, uint64_t real_len, int32_t id) {
  if (id == kBufferIdUnknown) {
    byte_span real(data.data(), size_t(std::min<uint64_t>(real_len, data.size())));
    id = classify_by_content(real);
  }
  if (id == kBufferIdRawFile) {
    return std::make_unique<RepFileBuffer>(std::move(data), real_len, kAllLoadFlags);
  }
  if (id >= 0 && id < kBufferIdCount) return make_record_buffer(id, std::move(data), real_len);
  report_unknown_id(id);
  return nullptr;
}

}  // namespace repcopy
