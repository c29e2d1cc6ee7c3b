#pragma once
// Byte layouts of the fifteen internal files of a repository segment. All integers are
// little-endian; records follow each other with no header, count, padding or alignment, and a
// record's number is its zero-based position in the item. Readers and writers both use this.
//
// Counted string (0_desc.cache, 0_ins.cache, 0_src.cache, 0_nf_names.cache, 0_nf_values.cache):
//   0       u32    N, number of UTF-16 code units (0 is a valid, empty string)
//   4       2N     UTF-16LE code units, no terminator
// Category record (0_cat.cache), 12 + 2N bytes:
//   counted string (name), u16 category number, u16 written as 1, u32 EventID
// Computer record (0_comp.cache), 8 + 2N bytes:
//   counted string (name), u32 time_offset (event_time - stored_time of that computer's events)
// User record (0_user.cache), 12 + 2N1 + 2N2 + M bytes:
//   counted string (string 1), counted string (string 2), u32 M, M bytes of binary value
//
// Events record (0_events.dat), 36 + 4W + data_length bytes:
//   0  u32 data_length    4  u32 src_index    8  u32 cat_index   12  u32 comp_index
//   16 u32 user_index     20 u32 desc_index   24 u16 string_slots  26 u16 strings_aux
//   28 u32 stored-time delta   32 u32 event-time delta   (deltas modulo 2^32; the first record
//                                                          of an item holds absolute times)
//   36 4W  string words (records/string_words.h)   36 + 4W  data_length bytes of data
//
// Record keys (0_record.keys), 8 bytes per event: u32 record_key, u32 event_time.
// Position record (0_first.pos, 0_last.pos), the whole 32-byte item:
//   0 u64 time ("dTime")   8 u32 record_key   12 u64 FILETIME of the time at 0 ("Time")
//   20 u32 os_major   24 u32 os_minor   28 u32 zero
// Field list record (0_nfields.dat), 4 + 8F bytes, one per events record:
//   0 u32 F, then F pairs of u32 (record in 0_nf_names.cache, record in 0_nf_values.cache)
// Filter statistics (filters.stat), 27 bytes:
//   0 u64 number of events   8 u32 1   12 u32 event_time of the last event   16 11 zero bytes
// filter.dat is empty.

#include <cstdint>

namespace repcopy {
namespace record_file {

// Buffer IDs of the internal files (the reader classes in the same order).
inline constexpr int32_t kCatId = 0;
inline constexpr int32_t kCompId = 1;
inline constexpr int32_t kDescId = 2;
inline constexpr int32_t kEventsId = 3;
inline constexpr int32_t kFirstPosId = 4;
inline constexpr int32_t kInsId = 5;
inline constexpr int32_t kLastPosId = 6;
inline constexpr int32_t kRecordKeysId = 7;
inline constexpr int32_t kSrcId = 8;
inline constexpr int32_t kUserId = 9;
inline constexpr int32_t kNfieldsId = 10;
inline constexpr int32_t kNfNamesId = 11;
inline constexpr int32_t kNfValuesId = 12;
inline constexpr int32_t kFilterDatId = 13;
inline constexpr int32_t kFilterStatId = 14;

inline constexpr uint32_t kCountedStringHeader = 4;
inline constexpr uint32_t kCategoryExtra = 8;  // u16 category, u16 1, u32 EventID
inline constexpr uint16_t kCategoryMarker = 1;
inline constexpr uint32_t kComputerExtra = 4;  // u32 time_offset
inline constexpr uint32_t kUserFixed = 12;     // N1, N2, M

inline constexpr uint32_t kEventsFixedSize = 36;
inline constexpr uint32_t kEventsSlotsOffset = 24;
inline constexpr uint32_t kEventsWordsOffset = 36;

inline constexpr uint32_t kRecordKeySize = 8;
inline constexpr uint32_t kPositionRecordSize = 32;
inline constexpr uint32_t kPositionFiletimeOffset = 12;
inline constexpr uint32_t kFilterStatSize = 27;
inline constexpr uint32_t kFieldPairSize = 8;

}  // namespace record_file
}  // namespace repcopy
