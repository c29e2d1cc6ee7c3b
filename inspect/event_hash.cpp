#include "inspect/event_hash.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "util/text.h"

namespace repcopy {

void event_hasher::put(uint32_t v) {
  for (int i = 0; i < 4; ++i) buffer_.push_back(uint8_t(v >> (8 * i)));
}

// Every variable-length field is preceded by its length, so that no two different events
// serialize to the same bytes.
void event_hasher::put(const std::u16string& s) {
  put(uint32_t(s.size()));
  for (char16_t c : s) {
    buffer_.push_back(uint8_t(c));
    buffer_.push_back(uint8_t(c >> 8));
  }
}

void event_hasher::put(const std::vector<uint8_t>& b) {
  put(uint32_t(b.size()));
  buffer_.insert(buffer_.end(), b.begin(), b.end());
}

event_hash event_hasher::operator()(const full_event& e) {
  buffer_.clear();
  put(e.origin_flag);
  put(e.host_computer);
  put(e.platform_id);
  put(e.os_major);
  put(e.os_minor);
  put(e.under_data_source);
  put(e.record_key);
  put(e.computer);
  put(e.user_string1);
  put(e.user_string2);
  put(e.category);
  put(e.src_name);
  put(e.event_id);
  put(e.category_name);
  put(e.event_time);
  put(e.stored_time);
  put(e.domain);
  put(e.computer_type);
  put(e.user_binary);
  put(e.description);
  put(e.data);
  put(uint32_t(e.string_slots) | uint32_t(e.strings_aux) << 16);
  put(uint32_t(e.strings.size()));
  for (const insertion_string& s : e.strings) {
    put(s.ordinal);
    put(s.text);
  }
  put(uint32_t(e.named_fields.size()));
  for (const named_field& f : e.named_fields) {
    put(f.name);
    put(f.value);
  }
  const XXH128_hash_t h = XXH3_128bits(buffer_.data(), buffer_.size());
  return {h.high64, h.low64};
}

std::string group_text(const event_group& g) {
  return to_utf8(g.domain) + " / " + to_utf8(g.computer) + " / " + to_utf8(g.data_source);
}

std::vector<std::string> changed_fields(const full_event& a, const full_event& b) {
  std::vector<std::string> out;
  auto check = [&out](bool same, const char* name) {
    if (!same) out.emplace_back(name);
  };
  check(a.origin_flag == b.origin_flag, "origin_flag");
  check(a.host_computer == b.host_computer, "host_computer");
  check(a.platform_id == b.platform_id, "platform_id");
  check(a.os_major == b.os_major && a.os_minor == b.os_minor, "os_version");
  check(a.under_data_source == b.under_data_source, "under_data_source");
  check(a.record_key == b.record_key, "record_key");
  check(a.computer == b.computer, "computer");
  check(a.user_string1 == b.user_string1, "user_string1");
  check(a.user_string2 == b.user_string2, "user_string2");
  check(a.category == b.category, "category");
  check(a.src_name == b.src_name, "src_name");
  check(a.event_id == b.event_id, "event_id");
  check(a.category_name == b.category_name, "category_name");
  check(a.event_time == b.event_time, "event_time");
  check(a.stored_time == b.stored_time, "stored_time");
  check(a.domain == b.domain, "domain");
  check(a.computer_type == b.computer_type, "computer_type");
  check(a.user_binary == b.user_binary, "user_binary");
  check(a.description == b.description, "description");
  check(a.data == b.data, "data");
  check(a.string_slots == b.string_slots && a.strings_aux == b.strings_aux, "string_slots");
  bool strings_same = a.strings.size() == b.strings.size();
  for (size_t i = 0; strings_same && i < a.strings.size(); ++i) {
    strings_same =
        a.strings[i].ordinal == b.strings[i].ordinal && a.strings[i].text == b.strings[i].text;
  }
  check(strings_same, "strings");
  bool fields_same = a.named_fields.size() == b.named_fields.size();
  for (size_t i = 0; fields_same && i < a.named_fields.size(); ++i) {
    fields_same = a.named_fields[i].name == b.named_fields[i].name &&
                  a.named_fields[i].value == b.named_fields[i].value;
  }
  check(fields_same, "named_fields");
  return out;
}

}  // namespace repcopy
