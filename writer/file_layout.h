#pragma once
// What only the writer needs on top of the internal files' numbering (records/record_format.h):
// the order in which it runs the writers, and which writers may leave their item out. The items
// stand in the file in kItemWriteOrder; both orders are in Buffer IDs.

#include <initializer_list>

#include "records/record_format.h"

namespace repcopy {

// The cache writers store the record numbers that 0_events.dat and 0_nfields.dat copy, so they
// run first.
inline constexpr int32_t kWriterRunOrder[record_file::kBufferIdCount] = {
    record_file::kCatId,        record_file::kCompId,       record_file::kDescId,
    record_file::kInsId,        record_file::kSrcId,        record_file::kUserId,
    record_file::kRecordKeysId, record_file::kFirstPosId,   record_file::kLastPosId,
    record_file::kFilterDatId,  record_file::kFilterStatId, record_file::kEventsId,
    record_file::kNfNamesId,    record_file::kNfValuesId,   record_file::kNfieldsId};

// Writers whose item is left out of the file when it is empty: the named-field files.
inline constexpr bool omitted_when_empty(int32_t buffer_id) {
  return buffer_id == record_file::kNfieldsId || buffer_id == record_file::kNfNamesId ||
         buffer_id == record_file::kNfValuesId;
}

namespace layout_check {
constexpr int run_position(int32_t buffer_id) {
  for (int i = 0; i < record_file::kBufferIdCount; ++i) {
    if (kWriterRunOrder[i] == buffer_id) return i;
  }
  return -1;
}
// Each writer of record numbers runs before every writer that copies them.
constexpr bool runs_before(std::initializer_list<int32_t> first,
                           std::initializer_list<int32_t> then) {
  for (int32_t a : first) {
    for (int32_t b : then) {
      if (run_position(a) >= run_position(b)) return false;
    }
  }
  return true;
}
}  // namespace layout_check

static_assert(record_file::is_id_permutation(kWriterRunOrder));
static_assert(layout_check::runs_before({record_file::kCatId, record_file::kCompId,
                                         record_file::kDescId, record_file::kInsId,
                                         record_file::kSrcId, record_file::kUserId},
                                        {record_file::kEventsId}));
static_assert(layout_check::runs_before({record_file::kNfNamesId, record_file::kNfValuesId},
                                        {record_file::kNfieldsId}));

}  // namespace repcopy
