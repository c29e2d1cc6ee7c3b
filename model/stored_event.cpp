#include "model/stored_event.h"

#include <cstring>
#include <memory>
#include <type_traits>

namespace repcopy {

namespace {

// Lays the parts of one event out in its block: a sizing pass counts, a filling pass copies.
class block_layout {
 public:
  explicit block_layout(std::byte* base) : base_(base) {}

  size_t size() const { return offset_; }

  template <class T>
  std::span<T> table(size_t n) {
    static_assert(std::is_trivially_destructible_v<T>);
    offset_ = (offset_ + alignof(T) - 1) & ~(alignof(T) - 1);
    T* first = base_ ? reinterpret_cast<T*>(base_ + offset_) : nullptr;
    if (base_)
      for (size_t i = 0; i < n; ++i) std::construct_at(first + i);
    offset_ += n * sizeof(T);
    return base_ ? std::span<T>(first, n) : std::span<T>();
  }

  std::span<const uint8_t> bytes(std::span<const uint8_t> from) {
    if (from.empty()) return {};
    uint8_t* to = base_ ? reinterpret_cast<uint8_t*>(base_ + offset_) : nullptr;
    if (to) std::memcpy(to, from.data(), from.size());
    offset_ += from.size();
    return base_ ? std::span<const uint8_t>(to, from.size()) : std::span<const uint8_t>();
  }

  std::u16string_view text(std::u16string_view from) {
    if (from.empty()) return {};
    offset_ = (offset_ + 1) & ~size_t(1);
    char16_t* to = base_ ? reinterpret_cast<char16_t*>(base_ + offset_) : nullptr;
    if (to) std::memcpy(to, from.data(), from.size() * sizeof(char16_t));
    offset_ += from.size() * sizeof(char16_t);
    return base_ ? std::u16string_view(to, from.size()) : std::u16string_view();
  }

 private:
  std::byte* base_;
  size_t offset_ = 0;
};

// One pass over every part of the event that goes into the block, in block order. A sizing pass
// (no block) sets only views and spans without data, which nobody reads.
void lay_out(block_layout& b, const full_event& e, stored_event& out) {
  out.strings = b.table<stored_string>(e.strings.size());
  out.named_fields = b.table<stored_field>(e.named_fields.size());
  out.user_binary = b.bytes(e.user_binary);
  out.data = b.bytes(e.data);
  out.host_computer = b.text(e.host_computer);
  out.under_data_source = b.text(e.under_data_source);
  out.computer = b.text(e.computer);
  out.user_string1 = b.text(e.user_string1);
  out.user_string2 = b.text(e.user_string2);
  out.src_name = b.text(e.src_name);
  out.category_name = b.text(e.category_name);
  out.domain = b.text(e.domain);
  out.description = b.text(e.description);
  for (size_t i = 0; i < e.strings.size(); ++i) {
    const insertion_string& from = e.strings[i];
    const std::u16string_view text = b.text(from.text);
    if (out.strings.data() == nullptr) continue;
    stored_string& to = out.strings[i];
    to.text = text;
    to.ordinal = from.ordinal;
    to.crc = from.crc;
    to.cache_index = from.cache_index;
  }
  for (size_t i = 0; i < e.named_fields.size(); ++i) {
    const named_field& from = e.named_fields[i];
    const std::u16string_view name = b.text(from.name);
    const std::u16string_view value = b.text(from.value);
    if (out.named_fields.data() == nullptr) continue;
    stored_field& to = out.named_fields[i];
    to.name = name;
    to.value = value;
    to.name_crc = from.name_crc;
    to.value_crc = from.value_crc;
    to.name_index = from.name_index;
    to.value_index = from.value_index;
  }
}

}  // namespace

stored_event::stored_event(const full_event& e)
    : origin_flag(e.origin_flag),
      host_computer_crc(e.host_computer_crc),
      platform_id(e.platform_id),
      os_major(e.os_major),
      os_minor(e.os_minor),
      record_key(e.record_key),
      computer_crc(e.computer_crc),
      user_string1_crc(e.user_string1_crc),
      user_string2_crc(e.user_string2_crc),
      category(e.category),
      src_name_crc(e.src_name_crc),
      event_id(e.event_id),
      category_name_crc(e.category_name_crc),
      event_time(e.event_time),
      stored_time(e.stored_time),
      computer_type(e.computer_type),
      record_sum(e.record_sum),
      description_crc(e.description_crc),
      string_slots(e.string_slots),
      strings_aux(e.strings_aux),
      string_count(e.string_count),
      named_count(e.named_count),
      src_index(e.src_index),
      cat_index(e.cat_index),
      comp_index(e.comp_index),
      user_index(e.user_index),
      desc_index(e.desc_index),
      source_file(e.source_file) {
  block_layout sizing(nullptr);
  stored_event unused;
  lay_out(sizing, e, unused);
  block_size_ = sizing.size();
  if (block_size_ == 0) return;
  block_ = std::make_unique_for_overwrite<std::byte[]>(block_size_);
  block_layout filling(block_.get());
  lay_out(filling, e, *this);
}

full_event stored_event::to_full_event() const {
  full_event e;
  e.origin_flag = origin_flag;
  e.host_computer = host_computer;
  e.host_computer_crc = host_computer_crc;
  e.platform_id = platform_id;
  e.os_major = os_major;
  e.os_minor = os_minor;
  e.under_data_source = under_data_source;
  e.record_key = record_key;
  e.computer = computer;
  e.computer_crc = computer_crc;
  e.user_string1 = user_string1;
  e.user_string1_crc = user_string1_crc;
  e.user_string2 = user_string2;
  e.user_string2_crc = user_string2_crc;
  e.category = category;
  e.src_name = src_name;
  e.src_name_crc = src_name_crc;
  e.event_id = event_id;
  e.category_name = category_name;
  e.category_name_crc = category_name_crc;
  e.event_time = event_time;
  e.stored_time = stored_time;
  e.domain = domain;
  e.computer_type = computer_type;
  e.user_binary.assign(user_binary.begin(), user_binary.end());
  e.record_sum = record_sum;
  e.description = description;
  e.description_crc = description_crc;
  e.data.assign(data.begin(), data.end());
  e.string_slots = string_slots;
  e.strings_aux = strings_aux;
  e.string_count = string_count;
  for (const stored_string& s : strings)
    e.strings.push_back({s.ordinal, std::u16string(s.text), s.crc, s.cache_index});
  e.named_count = named_count;
  for (const stored_field& f : named_fields)
    e.named_fields.push_back({std::u16string(f.name), std::u16string(f.value), f.name_crc,
                              f.value_crc, f.name_index, f.value_index});
  e.src_index = src_index;
  e.cat_index = cat_index;
  e.comp_index = comp_index;
  e.user_index = user_index;
  e.desc_index = desc_index;
  e.source_file = source_file;
  return e;
}

}  // namespace repcopy
