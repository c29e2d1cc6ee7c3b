// The join of one part: every events record with the records of the part's caches it names.
#include <atomic>
#include <utility>
#include <vector>

#include "compression/crc32.h"
#include "filters/event_id_filter.h"
#include "filters/time_window.h"
#include "records/cache_readers.h"
#include "records/events_reader.h"
#include "records/named_field_readers.h"
#include "records/position_readers.h"
#include "records/record_format.h"
#include "records/string_words.h"
#include "source/rep_file_source.h"
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

// The run's time window and EventID list (none without a filter); a category index that names
// no record passes the list, and the event is then reported as damaged.
bool passes_filters(const filter_config* filter, const part_readers& p, const footer_info& info,
                    const events_layout& r, uint32_t event_time) {
  if (filter == nullptr) return true;
  if (!event_in_window(*filter, event_time)) return false;
  return !filter->id_on || r.cat_index == kNoIndex || !has_record(p.cat, r.cat_index) ||
         id_passes(*filter, masked_event_id(p.cat->event_id(r.cat_index), info.platform_id));
}

using field_pairs = std::vector<std::pair<uint32_t, uint32_t>>;

// A serial for each part this process joins (source_part_ref), never the same for two
// parts; 0 once the serials are used up, which only makes the writers look every value up.
uint32_t next_part_serial() {
  static std::atomic<uint32_t> next{1};
  uint32_t serial = next.load(std::memory_order_relaxed);
  do {
    if (serial == 0) return 0;
  } while (!next.compare_exchange_weak(serial, serial + 1, std::memory_order_relaxed));
  return serial;
}

// The CRC-32 of each record's text in one cache of a part, taken the first time an event names
// the record: the events of a part name the same texts over and over. Sized by the records the
// buffer's walk found, so a damaged count cannot make it large.
class text_crcs {
 public:
  explicit text_crcs(const RepPartBuffer* buffer)
      : known_(buffer != nullptr ? buffer->ulCount() : 0, kUnknown) {}

  // text is record index's text (index < the buffer's ulCount()).
  uint32_t of(uint32_t index, std::u16string_view text) {
    uint64_t& known = known_[index];
    if (known == kUnknown) known = crc32_of_text(text);
    return uint32_t(known);
  }

 private:
  static constexpr uint64_t kUnknown = ~uint64_t(0);  // no CRC-32 is this
  std::vector<uint64_t> known_;
};

// One kept events record with what the walk over its part adds: its times and its named fields.
struct kept_record {
  uint32_t number;  // also its record in 0_record.keys
  const events_layout& r;
  uint32_t stored_time;
  uint32_t event_time;
  uint32_t coded_event_time;  // becomes full_event::record_sum
  bool fields_ok;             // false when 0_nfields.dat had no record for it
  const field_pairs& fields;
};

// Builds the event of one kept record from the part's caches, one step per cache. A step whose
// index names no record leaves its field empty and marks the event unsound, and the caller
// drops it (the computer is checked by the caller, before the times are taken from it).
//
// The event is reused from record to record: the sink packs it (read_ahead) or swaps it with an
// event of its own, so it comes back holding texts and tables that the next record is copied
// into. Once they have grown to the part's lengths, building an event allocates nothing.
class event_builder {
 public:
  event_builder(const part_readers& p, const footer_info& info, full_event& e)
      : p_(p),
        info_(info),
        e_(e),
        part_serial_(next_part_serial()),
        host_computer_crc_(crc32_of_text(info.computer)),
        computer_crcs_(p.comp),
        user_crcs_(p.user),
        user2_crcs_(p.user),
        category_crcs_(p.cat),
        source_crcs_(p.src),
        description_crcs_(p.desc),
        string_crcs_(p.ins),
        name_crcs_(p.nf_names),
        value_crcs_(p.nf_values) {}

  // False when an index other than the computer's named no record.
  bool build(const kept_record& k) {
    sound_ = k.fields_ok;
    clear_keeping_memory(e_, spares_);
    take_footer();
    take_record(k);
    take_computer(k.r.comp_index);
    take_user(k.r.user_index);
    take_category(k.r.cat_index);
    take_source(k.r.src_index);
    take_description(k.r.desc_index);
    take_strings(k.r);
    take_fields(k.fields);
    return sound_;
  }

 private:
  // A new element at the end of the table, from the spares when there are any; its text is
  // cleared, its numbers are zero.
  template <class T>
  static T& next_element(std::vector<T>& table, std::vector<T>& spares) {
    if (spares.empty()) return table.emplace_back();
    T& t = table.emplace_back(std::move(spares.back()));
    spares.pop_back();
    return t;
  }

  // Whether the record exists; a missing one makes the event unsound.
  bool found(const RepPartBuffer* buffer, uint32_t index) {
    if (has_record(buffer, index)) return true;
    sound_ = false;
    return false;
  }
  // For the indexes where kNoIndex names no record, soundly.
  bool named_and_found(const RepPartBuffer* buffer, uint32_t index) {
    return index != kNoIndex && found(buffer, index);
  }

  void take_footer() {
    e_.origin_flag = 1;
    e_.host_computer = info_.computer;
    e_.host_computer_crc = host_computer_crc_;
    e_.platform_id = info_.platform_id;
    e_.under_data_source = info_.under_data_source;
    e_.domain = info_.domain;
    e_.computer_type = info_.computer_type;
  }

  void take_record(const kept_record& k) {
    if (found(p_.keys, k.number)) e_.record_key = p_.keys->record_key(k.number);
    e_.event_time = k.event_time;
    e_.stored_time = k.stored_time;
    e_.record_sum = k.coded_event_time;
    e_.data.assign(k.r.data.bytes.begin(), k.r.data.bytes.end());
    e_.string_slots = k.r.string_slots;
    e_.strings_aux = k.r.strings_aux;
    e_.src_index = k.r.src_index;
    e_.cat_index = k.r.cat_index;
    e_.comp_index = k.r.comp_index;
    e_.user_index = k.r.user_index;
    e_.desc_index = k.r.desc_index;
    e_.source_part.serial = part_serial_;
  }

  void take_computer(uint32_t index) {
    p_.comp->string_at(index, e_.computer);
    e_.computer_crc = computer_crcs_.of(index, e_.computer);
  }

  void take_user(uint32_t index) {
    if (!named_and_found(p_.user, index)) return;
    p_.user->string_at(index, e_.user_string1);
    e_.user_string1_crc = user_crcs_.of(index, e_.user_string1);
    p_.user->string2(index, e_.user_string2);
    e_.user_string2_crc = user2_crcs_.of(index, e_.user_string2);
    p_.user->binary(index, e_.user_binary);
  }

  void take_category(uint32_t index) {
    if (!named_and_found(p_.cat, index)) return;
    e_.category = p_.cat->category(index);
    e_.event_id = masked_event_id(p_.cat->event_id(index), info_.platform_id);
    p_.cat->string_at(index, e_.category_name);
    e_.category_name_crc = category_crcs_.of(index, e_.category_name);
  }

  void take_source(uint32_t index) {
    if (!named_and_found(p_.src, index)) return;
    p_.src->string_at(index, e_.src_name);
    e_.src_name_crc = source_crcs_.of(index, e_.src_name);
  }

  void take_description(uint32_t index) {
    if (!named_and_found(p_.desc, index)) return;
    p_.desc->string_at(index, e_.description);
    e_.description_crc = description_crcs_.of(index, e_.description);
  }

  // A slot without text (NO_STRING) keeps its ordinal with an empty text. A word sequence that
  // ends inside an explicit position has lost that string: the event is unsound.
  void take_strings(const events_layout& r) {
    bool cut_short = false;
    p_.events->words(r, words_);
    decode_string_words(words_, r.string_slots, slots_, &cut_short);
    for (const decoded_slot& slot : slots_) {
      insertion_string& s = next_element(e_.strings, spares_.strings);
      s.text.clear();
      s.ordinal = slot.ordinal;
      s.crc = 0;
      s.cache_index = kNoIndex;
      if (slot.cache_index != NO_STRING && named_and_found(p_.ins, slot.cache_index)) {
        p_.ins->string_at(slot.cache_index, s.text);
        s.crc = string_crcs_.of(slot.cache_index, s.text);
        s.cache_index = slot.cache_index;
      }
    }
    if (cut_short) sound_ = false;
    e_.string_count = uint32_t(e_.strings.size());
  }

  // Both halves of a pair are looked up even when the other is missing.
  void take_fields(const field_pairs& fields) {
    for (const auto& [name_index, value_index] : fields) {
      named_field& f = next_element(e_.named_fields, spares_.fields);
      f.name.clear();
      f.value.clear();
      f.name_crc = 0;
      f.value_crc = 0;
      if (found(p_.nf_names, name_index)) {
        p_.nf_names->string_at(name_index, f.name);
        f.name_crc = name_crcs_.of(name_index, f.name);
      }
      if (found(p_.nf_values, value_index)) {
        p_.nf_values->string_at(value_index, f.value);
        f.value_crc = value_crcs_.of(value_index, f.value);
      }
      f.name_index = name_index;
      f.value_index = value_index;
    }
    e_.named_count = uint32_t(e_.named_fields.size());
  }

  const part_readers& p_;
  const footer_info& info_;
  full_event& e_;
  const uint32_t part_serial_;
  bool sound_ = true;
  const uint32_t host_computer_crc_;
  // The texts' CRC-32s, one table per cache text (the user cache has two).
  text_crcs computer_crcs_, user_crcs_, user2_crcs_, category_crcs_, source_crcs_,
      description_crcs_;
  text_crcs string_crcs_, name_crcs_, value_crcs_;
  event_spares spares_;
  std::vector<uint32_t> words_;
  std::vector<decoded_slot> slots_;
};

}  // namespace

int32_t RepFileSource::make_full_event2(const part_record& part, const footer_info& info,
                                        uint32_t count, const event_sink& sink) {
  const part_readers p(part);
  if (p.events == nullptr) return 0;
  if (count > p.events->ulCount()) count = p.events->ulCount();
  // Both running sums and the named-field cursor move over every record, kept or skipped.
  uint32_t stored_time = 0;
  // The running sum of the event-time deltas: the event time as the events file codes it. The
  // event's time comes from its computer record instead; this sum only travels along in
  // full_event::record_sum.
  uint32_t coded_event_time = 0;
  uint64_t field_offset = 0;
  field_pairs fields;
  full_event event;
  event_builder builder(p, info, event);
  for (uint32_t i = 0; i < count; ++i) {
    const events_layout r = p.events->record(i);
    stored_time += r.stored_delta;
    coded_event_time += r.event_delta;
    fields.clear();
    // A table without a record for this event gives it no fields and marks it damaged.
    const bool fields_ok = p.nfields == nullptr || p.nfields->read_fields(field_offset, fields);

    if (!has_record(p.comp, r.comp_index)) {  // no computer record, so no time
      ++damage_.bad_records;
      continue;
    }
    const uint32_t event_time = p.comp->time_offset(r.comp_index) + stored_time;
    if (!passes_filters(filter_, p, info, r, event_time)) continue;
    const kept_record kept{i, r, stored_time, event_time, coded_event_time, fields_ok, fields};
    const bool sound =
        fatal_on_exception("=make_full_event2=\n", [&] { return builder.build(kept); });
    if (!sound) {  // a field would be missing or wrong: the event is not copied
      ++damage_.bad_records;
      continue;
    }
    event.source_file.path = source_path_;
    sink(event);  // outside the guard: destroying a paused generator unwinds through here
  }
  return 0;
}

}  // namespace repcopy
