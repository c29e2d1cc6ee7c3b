#pragma once
// One description per record layout of the internal files (bytes in records/record_format.h).
// Each record type lists its fields once, in order, in fields(archive, record); the readers walk
// an item with it, the writers size and serialize their item with it (records/record_archive.h).
// Numbers that the writer always writes the same way are members with that value.

#include <cstdint>

#include "records/record_archive.h"
#include "records/record_format.h"

namespace repcopy {

// 0_desc.cache, 0_ins.cache, 0_src.cache, 0_nf_names.cache, 0_nf_values.cache.
struct string_record {
  counted_text text;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.text(r.text);
  }
};

// 0_cat.cache.
struct category_record {
  counted_text name;
  uint16_t category = 0;
  uint16_t marker = record_file::kCategoryMarker;  // ignored on reading
  uint32_t event_id = 0;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.text(r.name);
    a.u16(r.category);
    a.u16(r.marker);
    a.u32(r.event_id);
  }
};

// 0_comp.cache.
struct computer_record {
  counted_text name;
  uint32_t time_offset = 0;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.text(r.name);
    a.u32(r.time_offset);
  }
};

// 0_user.cache.
struct user_record {
  counted_text string1;
  counted_text string2;
  uint32_t binary_length = 0;
  byte_run binary;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.text(r.string1);
    a.text(r.string2);
    a.u32(r.binary_length);
    a.bytes(r.binary, r.binary_length);
  }
};

// 0_events.dat.
struct events_layout {
  uint32_t data_length = 0;
  uint32_t src_index = 0;
  uint32_t cat_index = 0;
  uint32_t comp_index = 0;
  uint32_t user_index = 0;
  uint32_t desc_index = 0;
  uint16_t string_slots = 0;
  uint16_t strings_aux = 0;
  uint32_t stored_delta = 0;
  uint32_t event_delta = 0;
  word_run words;
  byte_run data;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.u32(r.data_length);
    a.u32(r.src_index);
    a.u32(r.cat_index);
    a.u32(r.comp_index);
    a.u32(r.user_index);
    a.u32(r.desc_index);
    a.u16(r.string_slots);
    a.u16(r.strings_aux);
    a.u32(r.stored_delta);
    a.u32(r.event_delta);
    a.words(r.words, r.string_slots);
    a.bytes(r.data, r.data_length);
  }
};

// 0_record.keys.
struct record_key_record {
  uint32_t record_key = 0;
  uint32_t event_time = 0;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.u32(r.record_key);
    a.u32(r.event_time);
  }
};

// 0_first.pos, 0_last.pos.
struct position_record {
  uint64_t time = 0;
  uint32_t record_key = 0;
  uint64_t filetime = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  uint32_t zero = 0;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.u64(r.time);
    a.u32(r.record_key);
    a.u64(r.filetime);
    a.u32(r.os_major);
    a.u32(r.os_minor);
    a.u32(r.zero);
  }
};

// 0_nfields.dat.
struct field_list_record {
  uint32_t count = 0;
  pair_run pairs;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.u32(r.count);
    a.pairs(r.pairs, r.count);
  }
};

// filters.stat.
struct filter_stat_record {
  uint64_t events = 0;
  uint32_t one = 1;
  uint32_t last_event_time = 0;
  template <class A, class R>
  static constexpr void fields(A& a, R& r) {
    a.u64(r.events);
    a.u32(r.one);
    a.u32(r.last_event_time);
    a.zeros(record_file::kFilterStatZeros);
  }
};

// The fixed sizes of record_format.h are the sizes these descriptions count.
static_assert(record_size(category_record{}) == 4 + record_file::kCategoryExtra);
static_assert(record_size(computer_record{}) == 4 + record_file::kComputerExtra);
static_assert(record_size(user_record{}) == record_file::kUserFixed);
static_assert(record_size(events_layout{}) == record_file::kEventsFixedSize);
static_assert(record_size(record_key_record{}) == record_file::kRecordKeySize);
static_assert(record_size(position_record{}) == record_file::kPositionRecordSize);
static_assert(record_size(filter_stat_record{}) == record_file::kFilterStatSize);

}  // namespace repcopy
