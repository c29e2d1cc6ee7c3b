#pragma once
// The fields of an event, listed once. An event exists in two forms that share this list:
// full_event (model/full_event.h), which owns its texts and tables, and stored_event
// (model/stored_event.h), whose texts and tables are views into one block. Each form is an
// event_fields with its own kinds of text, byte run and table.
//
// fields(visit, events...) names every field in order, so that packing, unpacking, hashing,
// comparing and the reader's reuse of an event walk the same list:
//   visit(name, role, field of the first event, field of the second event, ...)
// The name is the one repdump diff reports; two numbers that it reports as one share a name.
// A field added to a record must be added to its list (the tests count the visited fields).

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace repcopy {

inline constexpr uint32_t kNoIndex = 0xFFFFFFFF;

// A text of a stored event's table row: where its characters are and how many, in twelve bytes
// where a view takes sixteen, so that an insertion string's row takes 24 bytes instead of 32.
// The rows are what the writers walk most. It reads as a view.
#pragma pack(push, 4)
struct row_text {
  row_text() = default;
  // No text is 4 G code units long: the items that hold texts are at most 4 GB.
  row_text(std::u16string_view text) : chars_(text.data()), units_(uint32_t(text.size())) {}
  operator std::u16string_view() const { return {chars_, units_}; }
  const char16_t* data() const { return chars_; }
  size_t size() const { return units_; }
  bool empty() const { return units_ == 0; }
  bool operator==(const row_text& other) const {
    return std::u16string_view(*this) == std::u16string_view(other);
  }
  friend bool operator==(const row_text& a, std::u16string_view b) {
    return std::u16string_view(a) == b;
  }

 private:
  const char16_t* chars_ = nullptr;
  uint32_t units_ = 0;
};
#pragma pack(pop)
static_assert(sizeof(void*) != 8 || sizeof(row_text) == 12);

// content: what the event says; hashed and compared. derived: what a reader or writer computes
// from the content or from the file around the event (a text's CRC-32, the table counts,
// record_sum, the cache record numbers, the source file); copied, never hashed nor compared.
enum class field_role { content, derived };

// One insertion string of an event.
template <class Text>
struct insertion_string_of {
  uint32_t ordinal = 0;  // one-based slot number
  Text text;
  uint32_t crc = 0;
  // Record number in "0_ins.cache": that of the source part's cache as the reader leaves it
  // (kNoIndex for a slot without text), the target's once the writer has set it.
  uint32_t cache_index = 0;
  bool operator==(const insertion_string_of&) const = default;

  template <class Visit, class... S>
  static void fields(Visit&& v, S&... s) {
    v("ordinal", field_role::content, s.ordinal...);
    v("text", field_role::content, s.text...);
    v("crc", field_role::derived, s.crc...);
    v("cache_index", field_role::derived, s.cache_index...);
  }
};

// One named field of an event.
template <class Text>
struct named_field_of {
  Text name;
  Text value;
  uint32_t name_crc = 0;
  uint32_t value_crc = 0;
  uint32_t name_index = 0;   // record number in "0_nf_names.cache"
  uint32_t value_index = 0;  // record number in "0_nf_values.cache"
  bool operator==(const named_field_of&) const = default;

  template <class Visit, class... F>
  static void fields(Visit&& v, F&... f) {
    v("name", field_role::content, f.name...);
    v("value", field_role::content, f.value...);
    v("name_crc", field_role::derived, f.name_crc...);
    v("value_crc", field_role::derived, f.value_crc...);
    v("name_index", field_role::derived, f.name_index...);
    v("value_index", field_role::derived, f.value_index...);
  }
};

// The repository file an event was read from (its native path), so that a batch that cannot be
// written can name the files whose events it held. Not part of the event's content: it compares
// equal always and no writer serializes it.
struct source_file_ref {
  std::shared_ptr<const std::string> path;
  bool operator==(const source_file_ref&) const { return true; }
};

// The members are declared in an order that leaves no padding between them (a stored_event's
// size counts in the memory bounds); fields() lists them in the record's own order.
// The part of a repository file an event was read from: a serial of the reading process, the
// same for every event of one part and never given to two parts; 0 for an event read from no
// part. Until a writer sets them, an event's cache record numbers are those of that part's
// caches, so two events with the same part and record number hold the same cache values. Like
// the source file it is not part of the event's content and compares equal always.
struct source_part_ref {
  uint32_t serial = 0;
  bool operator==(const source_part_ref&) const { return true; }
};

template <class Text, class Bytes, class Strings, class Fields>
struct event_fields {
  uint32_t origin_flag = 0;
  uint32_t user_string1_crc = 0;
  Text host_computer;  // upper-cased computer or host name of the source file
  uint32_t host_computer_crc = 0;
  uint32_t platform_id = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  Text under_data_source;
  uint32_t record_key = 0;
  Text computer;  // the event's own computer name (computer cache)
  uint32_t computer_crc = 0;
  Text user_string1;
  Text user_string2;
  uint32_t user_string2_crc = 0;
  uint32_t category = 0;  // 16-bit value
  Text src_name;
  uint32_t src_name_crc = 0;
  uint32_t event_id = 0;
  Text category_name;
  uint32_t category_name_crc = 0;
  uint32_t event_time = 0;   // seconds since 1970 UTC
  uint32_t stored_time = 0;  // event_time - time_offset of the computer record
  Text domain;
  uint32_t computer_type = 0;
  Bytes user_binary;
  // The running sum of the events file's event-time deltas up to this record: the event time as
  // the file codes it. Kept for completeness; the time used is event_time, and the writer codes
  // its deltas from event_time again.
  uint32_t record_sum = 0;
  Text description;
  Bytes data;
  uint16_t string_slots = 0;
  uint16_t strings_aux = 0;
  uint32_t string_count = 0;
  Strings strings;
  uint32_t named_count = 0;
  uint32_t description_crc = 0;
  Fields named_fields;
  // Cache record numbers; kNoIndex means none (except comp_index, always valid). A constructed
  // event has every number 0, as the reader fills them all.
  uint32_t src_index = 0;
  uint32_t cat_index = 0;
  uint32_t comp_index = 0;
  uint32_t user_index = 0;
  uint32_t desc_index = 0;
  source_part_ref source_part;
  source_file_ref source_file;

  // Back to the constructed state.
  void reset() { *this = event_fields{}; }
  bool operator==(const event_fields&) const = default;

  template <class Visit, class... E>
  static void fields(Visit&& v, E&... e) {
    constexpr field_role content = field_role::content;
    constexpr field_role derived = field_role::derived;
    v("origin_flag", content, e.origin_flag...);
    v("host_computer", content, e.host_computer...);
    v("host_computer_crc", derived, e.host_computer_crc...);
    v("platform_id", content, e.platform_id...);
    v("os_version", content, e.os_major...);
    v("os_version", content, e.os_minor...);
    v("under_data_source", content, e.under_data_source...);
    v("record_key", content, e.record_key...);
    v("computer", content, e.computer...);
    v("computer_crc", derived, e.computer_crc...);
    v("user_string1", content, e.user_string1...);
    v("user_string1_crc", derived, e.user_string1_crc...);
    v("user_string2", content, e.user_string2...);
    v("user_string2_crc", derived, e.user_string2_crc...);
    v("category", content, e.category...);
    v("src_name", content, e.src_name...);
    v("src_name_crc", derived, e.src_name_crc...);
    v("event_id", content, e.event_id...);
    v("category_name", content, e.category_name...);
    v("category_name_crc", derived, e.category_name_crc...);
    v("event_time", content, e.event_time...);
    v("stored_time", content, e.stored_time...);
    v("domain", content, e.domain...);
    v("computer_type", content, e.computer_type...);
    v("user_binary", content, e.user_binary...);
    v("record_sum", derived, e.record_sum...);
    v("description", content, e.description...);
    v("description_crc", derived, e.description_crc...);
    v("data", content, e.data...);
    v("string_slots", content, e.string_slots...);
    v("string_slots", content, e.strings_aux...);
    v("string_count", derived, e.string_count...);
    v("strings", content, e.strings...);
    v("named_count", derived, e.named_count...);
    v("named_fields", content, e.named_fields...);
    v("src_index", derived, e.src_index...);
    v("cat_index", derived, e.cat_index...);
    v("comp_index", derived, e.comp_index...);
    v("user_index", derived, e.user_index...);
    v("desc_index", derived, e.desc_index...);
    v("source_part", derived, e.source_part...);
    v("source_file", derived, e.source_file...);
  }
};

// Walks the field list of the records' type (an event, an insertion string or a named field)
// over one record or several of the same family side by side.
template <class Visit, class First, class... Rest>
void for_each_field(Visit&& v, First& first, Rest&... rest) {
  std::remove_cvref_t<First>::fields(v, first, rest...);
}

// The kinds of field a walk meets, whichever form holds the event: numbers, texts, byte runs
// and tables of insertion strings or named fields.
template <class T>
concept field_number = std::is_integral_v<T>;
template <class T>
concept field_text = std::same_as<T, std::u16string> || std::same_as<T, std::u16string_view> ||
                     std::same_as<T, row_text>;
template <class T>
struct is_field_row : std::false_type {};
template <class Text>
struct is_field_row<insertion_string_of<Text>> : std::true_type {};
template <class Text>
struct is_field_row<named_field_of<Text>> : std::true_type {};
// (A type without value_type, such as a number, is neither a table nor bytes.)
template <class T>
concept field_table = is_field_row<std::remove_const_t<typename T::value_type>>::value;
template <class T>
concept field_bytes = std::same_as<std::remove_const_t<typename T::value_type>, uint8_t>;

}  // namespace repcopy
