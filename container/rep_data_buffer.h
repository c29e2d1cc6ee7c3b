#pragma once
// RepDataBuffer: one packed item of a repository file. Built over the bytes the item lies in
// (not owned; they must outlive it); Load unpacks the item into a vector of its own, whose
// ownership then passes on to a record buffer (CreateRecordBuffer) or to a buffer entry
// (UnpackAsEntry).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "container/footer.h"
#include "container/packed_item.h"
#include "records/rep_buffer.h"

namespace repcopy {

class RepDataBuffer : public RepBuffer {
 public:
  // Checks the item's bounds and reads its name, crc32 and unpacked_len; an item that does not
  // fit is reported by Load.
  // The unpack's messages go to messages.
  RepDataBuffer(message_sink& messages, byte_span data, uint64_t packed_len, uint64_t item_offset);
  RepDataBuffer(message_sink& messages, const buffer_entry& entry)
      : RepDataBuffer(messages, entry.data, entry.packed_len, entry.item_offset) {}

  // Unpacks and checks the item: 0; -1 for a bad item (bounds, signature, name) or an inflate
  // error, the data then empty; -5 for a CRC mismatch, the data kept. Each call unpacks anew.
  int32_t Load() override;
  // "\n", name, "\n", then the trailer values that differ from the real ones.
  void Dump(message_sink& messages) const override;

  // Loads, then builds the record buffer of buffer_id (0..14) over the unpacked data, which it
  // takes over; not loaded yet. Any other ID: "Unknown  id: " and nullptr.
  std::unique_ptr<RepPartBuffer> CreateRecordBuffer(int32_t buffer_id);
  // Loads, then classifies the unpacked data by its first bytes: for -2 or -1 an entry owning
  // the data {data, offset 0, unpacked_len_real, ID}; otherwise an entry with no data.
  buffer_entry UnpackAsEntry();

  const std::string& name() const { return item_.name; }
  uint32_t name_len() const { return uint32_t(item_.name.size()); }
  uint32_t crc32() const { return item_.crc32; }
  uint32_t unpacked_len() const { return item_.unpacked_len; }
  uint32_t crc32_real() const { return crc32_real_; }
  uint64_t unpacked_len_real() const { return unpacked_len_real_; }
  // Status of the last Load (-1 before the first).
  int32_t status() const { return status_; }
  const byte_buffer& unpacked() const { return unpacked_; }
  // Where the item's parts lie, and what is wrong with its bounds or header.
  const item_layout& layout() const { return item_; }

 private:
  message_sink& messages_;
  item_layout item_;
  uint32_t crc32_real_ = 0;
  uint64_t unpacked_len_real_ = 0;
  int32_t status_ = -1;
  byte_buffer unpacked_;
};

// Builds the reader of Buffer ID id over data (real_len bytes of it in use): -3 first
// classifies the data by content; -2 builds a RepFileBuffer with all load flags set over it;
// 0..14 the record buffer of that ID. Any other ID writes "Unknown  id: " and gives nullptr.
std::unique_ptr<RepBuffer> make_buffer(message_sink& messages, byte_buffer data, uint64_t real_len,
                                       int32_t id);

}  // namespace repcopy
