// The join of one part: every events record with the records of the part's caches it names.
#include <utility>
#include <vector>

#include "filters/event_id_filter.h"
#include "filters/time_window.h"
#include "records/cache_readers.h"
#include "records/events_reader.h"
#include "records/named_field_readers.h"
#include "records/position_readers.h"
#include "records/record_format.h"
#include "records/string_words.h"
#include "source/rep_file_source.h"
#include "util/crc32.h"
#include "util/fatal.h"

namespace repcopy {

namespace {

// The record buffers of one part, each null when the part lacks it or its slot holds another
// class.
struct part_readers {
  const RepCatBuffer* cat;
  const RepCompBuffer* comp;
  const RepDescBuffer* desc;
  const RepEventsBuffer* events;
  const RepInsBuffer* ins;
  const RepRecordBuffer* keys;
  const RepSrcBuffer* src;
  const RepUserBuffer* user;
  const RepNfieldsDatBuffer* nfields;
  const RepNfNamesBuffer* nf_names;
  const RepNfValuesBuffer* nf_values;

  explicit part_readers(const part_record& part)
      : cat(slot<RepCatBuffer>(part, record_file::kCatId)),
        comp(slot<RepCompBuffer>(part, record_file::kCompId)),
        desc(slot<RepDescBuffer>(part, record_file::kDescId)),
        events(slot<RepEventsBuffer>(part, record_file::kEventsId)),
        ins(slot<RepInsBuffer>(part, record_file::kInsId)),
        keys(slot<RepRecordBuffer>(part, record_file::kRecordKeysId)),
        src(slot<RepSrcBuffer>(part, record_file::kSrcId)),
        user(slot<RepUserBuffer>(part, record_file::kUserId)),
        nfields(slot<RepNfieldsDatBuffer>(part, record_file::kNfieldsId)),
        nf_names(slot<RepNfNamesBuffer>(part, record_file::kNfNamesId)),
        nf_values(slot<RepNfValuesBuffer>(part, record_file::kNfValuesId)) {}

  template <class T>
  static const T* slot(const part_record& part, int32_t id) {
    return dynamic_cast<const T*>(part.slots[size_t(id)].get());
  }
};

// Record i exists in the buffer (a missing buffer has none).
bool has_record(const RepPartBuffer* buffer, uint32_t i) {
  return buffer != nullptr && i < buffer->ulCount();
}

// Builds the event of one kept record. Returns false when an index other than the computer's
// named no record; that field then stays empty.
bool build_event(const part_readers& p, const footer_info& info, uint32_t i, const events_record& r,
                 uint32_t stored_time, uint32_t record_sum, uint32_t event_time, bool fields_ok,
                 const std::vector<std::pair<uint32_t, uint32_t>>& fields, full_event& e) {
  bool sound = fields_ok;
  e = full_event{};
  e.origin_flag = 1;
  e.host_computer = info.computer;
  e.host_computer_crc = crc32_of_text(e.host_computer);
  e.platform_id = info.platform_id;
  e.under_data_source = info.under_data_source;
  if (has_record(p.keys, i)) {
    e.record_key = p.keys->record_key(i);
  } else {
    sound = false;
  }
  e.computer = p.comp->name(r.comp_index);
  e.computer_crc = crc32_of_text(e.computer);
  if (r.user_index != kNoIndex) {
    if (has_record(p.user, r.user_index)) {
      e.user_string1 = p.user->string1(r.user_index);
      e.user_string1_crc = crc32_of_text(e.user_string1);
      e.user_string2 = p.user->string2(r.user_index);
      e.user_string2_crc = crc32_of_text(e.user_string2);
      e.user_binary = p.user->binary(r.user_index);
    } else {
      sound = false;
    }
  }
  if (r.cat_index != kNoIndex) {
    if (has_record(p.cat, r.cat_index)) {
      e.category = p.cat->category(r.cat_index);
      e.event_id = masked_event_id(p.cat->event_id(r.cat_index), info.platform_id);
      e.category_name = p.cat->name(r.cat_index);
      e.category_name_crc = crc32_of_text(e.category_name);
    } else {
      sound = false;
    }
  }
  if (r.src_index != kNoIndex) {
    if (has_record(p.src, r.src_index)) {
      e.src_name = p.src->string_at(r.src_index);
      e.src_name_crc = crc32_of_text(e.src_name);
    } else {
      sound = false;
    }
  }
  e.event_time = event_time;
  e.stored_time = stored_time;
  e.domain = info.domain;
  e.computer_type = info.computer_type;
  e.record_sum = record_sum;
  if (r.desc_index != kNoIndex) {
    if (has_record(p.desc, r.desc_index)) {
      e.description = p.desc->string_at(r.desc_index);
      e.description_crc = crc32_of_text(e.description);
    } else {
      sound = false;
    }
  }
  e.data.assign(r.data.begin(), r.data.end());
  e.string_slots = r.string_slots;
  e.strings_aux = r.strings_aux;
  for (const decoded_slot& slot : decode_string_words(r.words, r.string_slots)) {
    insertion_string s;
    s.ordinal = slot.ordinal;
    if (slot.cache_index != NO_STRING) {
      if (has_record(p.ins, slot.cache_index)) {
        s.text = p.ins->string_at(slot.cache_index);
        s.crc = crc32_of_text(s.text);
      } else {
        sound = false;
      }
    }
    e.strings.push_back(std::move(s));
  }
  e.string_count = uint32_t(e.strings.size());
  for (const auto& [name_index, value_index] : fields) {
    named_field f;
    if (has_record(p.nf_names, name_index)) {
      f.name = p.nf_names->string_at(name_index);
      f.name_crc = crc32_of_text(f.name);
    } else {
      sound = false;
    }
    if (has_record(p.nf_values, value_index)) {
      f.value = p.nf_values->string_at(value_index);
      f.value_crc = crc32_of_text(f.value);
    } else {
      sound = false;
    }
    f.name_index = name_index;
    f.value_index = value_index;
    e.named_fields.push_back(std::move(f));
  }
  e.named_count = uint32_t(e.named_fields.size());
  e.src_index = r.src_index;
  e.cat_index = r.cat_index;
  e.comp_index = r.comp_index;
  e.user_index = r.user_index;
  e.desc_index = r.desc_index;
  return sound;
}

}  // namespace

int32_t RepFileSource::make_full_event2(const part_record& part, const footer_info& info,
                                        uint32_t count, const event_sink& sink) {
  const part_readers p(part);
  if (p.events == nullptr) return 0;
  if (count > p.events->ulCount()) count = p.events->ulCount();
  // Both running sums and the named-field cursor move over every record, kept or skipped.
  uint32_t stored_time = 0;
  uint32_t record_sum = 0;
  uint64_t field_offset = 0;
  std::vector<std::pair<uint32_t, uint32_t>> fields;
  full_event event;
  for (uint32_t i = 0; i < count; ++i) {
    const events_record r = p.events->record(i);
    stored_time += r.stored_delta;
    record_sum += r.event_delta;
    fields.clear();
    // A table without a record for this event gives it no fields and marks it damaged.
    const bool fields_ok = p.nfields == nullptr || p.nfields->read_fields(field_offset, fields);

    if (!has_record(p.comp, r.comp_index)) {  // no computer record, so no time
      ++damage_.bad_records;
      continue;
    }
    const uint32_t event_time = p.comp->time_offset(r.comp_index) + stored_time;
    if (filter_ != nullptr && !event_in_window(*filter_, event_time)) continue;
    if (filter_ != nullptr && filter_->id_on && r.cat_index != kNoIndex &&
        has_record(p.cat, r.cat_index) &&
        !id_passes(*filter_, masked_event_id(p.cat->event_id(r.cat_index), info.platform_id))) {
      continue;
    }
    const bool sound = fatal_on_exception("=make_full_event2=\n", [&] {
      return build_event(p, info, i, r, stored_time, record_sum, event_time, fields_ok, fields,
                         event);
    });
    if (!sound) ++damage_.bad_records;
    sink(event);  // outside the guard: destroying a paused generator unwinds through here
  }
  return 0;
}

}  // namespace repcopy
