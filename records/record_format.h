#pragma once
// Byte layouts of the fifteen internal files of a repository segment. All integers are
// little-endian; records follow each other with no header, count, padding or alignment, and a
// record's number is its zero-based position in the item. Readers and writers both use this;
// each record layout below is described once, as a field list, in records/record_layouts.h.
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

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace repcopy {
namespace record_file {

// The one numbering of the internal files, their Buffer IDs: the readers (records/
// record_factory.h), the writers (records/segment.h) and the container's classification of
// entries (container/buffer_id.h) all count in it.
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
inline constexpr int32_t kBufferIdCount = 15;    // IDs 0..14
inline constexpr int32_t kPartBufferCount = 13;  // IDs 0..12 belong to a part

// Item name and key (the four UTF-16 code units before the name's first ".") of each Buffer ID.
inline constexpr std::string_view kItemNames[kBufferIdCount] = {
    "0_cat.cache",   "0_comp.cache",     "0_desc.cache",      "0_events.dat", "0_first.pos",
    "0_ins.cache",   "0_last.pos",       "0_record.keys",     "0_src.cache",  "0_user.cache",
    "0_nfields.dat", "0_nf_names.cache", "0_nf_values.cache", "filter.dat",   "filters.stat"};
inline constexpr std::u16string_view kBufferKeys[kBufferIdCount] = {
    u"_cat", u"comp", u"desc", u"ents", u"irst", u"_ins", u"last", u"cord",
    u"_src", u"user", u"elds", u"ames", u"lues", u"lter", u"ters"};
// Order in which a writer lays out the items of one file, in Buffer IDs.
inline constexpr int32_t kItemWriteOrder[kBufferIdCount] = {0, 1, 2,  3,  4,  5,  6, 7,
                                                            8, 9, 11, 12, 10, 13, 14};

// Compile-time checks of the table above: each key is cut from its name, and the write order
// names every internal file once.
constexpr bool key_matches_name(int32_t id) {
  const std::string_view name = kItemNames[id];
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos || dot < 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (kBufferKeys[id][i] != char16_t(name[dot - 4 + i])) return false;
  }
  return kBufferKeys[id].size() == 4;
}
constexpr bool keys_match_names() {
  for (int32_t id = 0; id < kBufferIdCount; ++id) {
    if (!key_matches_name(id)) return false;
  }
  return true;
}
constexpr bool is_id_permutation(const int32_t (&order)[kBufferIdCount]) {
  bool seen[kBufferIdCount] = {};
  for (int32_t id : order) {
    if (id < 0 || id >= kBufferIdCount || seen[id]) return false;
    seen[id] = true;
  }
  return true;
}
static_assert(keys_match_names());
static_assert(is_id_permutation(kItemWriteOrder));

inline constexpr uint32_t kCountedStringHeader = 4;
inline constexpr uint32_t kCategoryExtra = 8;  // u16 category, u16 1, u32 EventID
inline constexpr uint16_t kCategoryMarker = 1;
inline constexpr uint32_t kComputerExtra = 4;  // u32 time_offset
inline constexpr uint32_t kUserFixed = 12;     // N1, N2, M

inline constexpr uint32_t kEventsFixedSize = 36;

inline constexpr uint32_t kRecordKeySize = 8;
inline constexpr uint32_t kPositionRecordSize = 32;
inline constexpr uint32_t kFilterStatSize = 27;
inline constexpr uint32_t kFilterStatZeros = 11;  // the zero bytes at its end
inline constexpr uint32_t kFieldPairSize = 8;

}  // namespace record_file
}  // namespace repcopy
