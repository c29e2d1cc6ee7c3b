#pragma once
// Readers of 0_record.keys (8-byte records: record_key, event_time) and of the two position
// files 0_first.pos and 0_last.pos, which are not parsed (Load does nothing) and are only shown
// by Dump, with their two times when the item holds the whole 32-byte record.

#include <cstdint>
#include <vector>

#include "records/rep_buffer.h"

namespace repcopy {

class RepRecordBuffer : public RepPartBuffer {
 public:
  RepRecordBuffer(byte_buffer data, uint64_t real_len);

  // Record i (< ulCount()); 0 otherwise. Records sit at 8i, so no index is kept.
  uint32_t record_key(uint32_t i) const;
  uint32_t event_time(uint32_t i) const;

 protected:
  // Fails unless the item consists of whole records; a cut item counts none.
  bool WalkRecords() override;
  void ClearIndex() override { ulCount_ = 0; }

 private:
  record_key_record key_record(uint32_t i) const;
};

// Shared behaviour of the two position readers.
class RepPosBuffer : public RepPartBuffer {
 public:
  int32_t Load() override { return 0; }
  // The generic dump, then "dTime = " and "Time  = " lines when the item has 32 bytes or more.
  void Dump(message_sink& messages) const override;

 protected:
  RepPosBuffer(byte_buffer data, uint64_t real_len, int32_t buffer_id)
      : RepPartBuffer(std::move(data), real_len, buffer_id) {}
};

class RepFirstPosBuffer : public RepPosBuffer {
 public:
  RepFirstPosBuffer(byte_buffer data, uint64_t real_len);
};

class RepLastPosBuffer : public RepPosBuffer {
 public:
  RepLastPosBuffer(byte_buffer data, uint64_t real_len);
};

}  // namespace repcopy
