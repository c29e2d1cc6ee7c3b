#include "records/position_readers.h"

#include <iostream>

#include "records/record_format.h"
#include "util/time_text.h"

namespace repcopy {

RepRecordBuffer::RepRecordBuffer(byte_buffer data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kRecordKeysId) {}

bool RepRecordBuffer::WalkRecords() {
  return walk_each<record_key_record>([](uint32_t, const record_key_record&) {});
}

record_key_record RepRecordBuffer::key_record(uint32_t i) const {
  record_key_record r;
  if (i >= ulCount_) return r;
  walk_archive a(data_, uint64_t(i) * record_file::kRecordKeySize);
  describe(a, r);
  return a.ok() ? r : record_key_record{};
}

uint32_t RepRecordBuffer::record_key(uint32_t i) const { return key_record(i).record_key; }
uint32_t RepRecordBuffer::event_time(uint32_t i) const { return key_record(i).event_time; }

void RepPosBuffer::Dump(message_sink& messages) const {
  RepPartBuffer::Dump(messages);
  if (buffer_len() < record_file::kPositionRecordSize) return;
  walk_archive a(data_);
  position_record r;
  describe(a, r);
  const uint64_t time = r.time;
  const uint64_t filetime = r.filetime;
  // Both are formatted as signed 64-bit seconds; the FILETIME difference wraps like the
  // format's own 64-bit arithmetic, so a time before 1970 prints as such.
  const int64_t seconds = int64_t(filetime - kFiletimeUnixEpoch) / int64_t(kFiletimeTicksPerSecond);
  messages.out(message_kind::summary) << "dTime = " << time_text(int64_t(time)) << "\n"
                                      << "Time  = " << time_text(seconds) << "\n";
}

RepFirstPosBuffer::RepFirstPosBuffer(byte_buffer data, uint64_t real_len)
    : RepPosBuffer(std::move(data), real_len, record_file::kFirstPosId) {}

RepLastPosBuffer::RepLastPosBuffer(byte_buffer data, uint64_t real_len)
    : RepPosBuffer(std::move(data), real_len, record_file::kLastPosId) {}

}  // namespace repcopy
