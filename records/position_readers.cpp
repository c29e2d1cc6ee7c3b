#include "records/position_readers.h"

#include <iostream>

#include "records/record_format.h"
#include "util/time_text.h"

namespace repcopy {

RepRecordBuffer::RepRecordBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPartBuffer(std::move(data), real_len, record_file::kRecordKeysId) {}

uint64_t RepRecordBuffer::CountRecords() {
  if (buffer_len() % record_file::kRecordKeySize != 0) return kWalkFailed;
  ulCount_ = uint32_t(buffer_len() / record_file::kRecordKeySize);
  return buffer_len();
}

uint32_t RepRecordBuffer::u32_of(uint32_t i, uint32_t field) const {
  if (i >= ulCount_) return 0;
  byte_reader r(data_, uint64_t(i) * record_file::kRecordKeySize + field);
  uint32_t v = 0;
  r.u32(v);
  return v;
}

uint32_t RepRecordBuffer::record_key(uint32_t i) const { return u32_of(i, 0); }
uint32_t RepRecordBuffer::event_time(uint32_t i) const { return u32_of(i, 4); }

void RepPosBuffer::Dump() const {
  RepPartBuffer::Dump();
  if (buffer_len() < record_file::kPositionRecordSize) return;
  byte_reader r(data_);
  uint64_t time = 0;
  uint64_t filetime = 0;
  r.u64(time);
  r.seek(record_file::kPositionFiletimeOffset);
  r.u64(filetime);
  // Both are formatted as signed 64-bit seconds; the FILETIME difference wraps like the
  // format's own 64-bit arithmetic, so a time before 1970 prints as such.
  const int64_t seconds = int64_t(filetime - kFiletimeUnixEpoch) / int64_t(kFiletimeTicksPerSecond);
  std::cout << "dTime = " << time_text(int64_t(time)) << "\n";
  std::cout << "Time  = " << time_text(seconds) << "\n\n" << std::flush;
}

RepFirstPosBuffer::RepFirstPosBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPosBuffer(std::move(data), real_len, record_file::kFirstPosId) {}

RepLastPosBuffer::RepLastPosBuffer(std::vector<uint8_t> data, uint64_t real_len)
    : RepPosBuffer(std::move(data), real_len, record_file::kLastPosId) {}

}  // namespace repcopy
