#include "audit/event_hash.h"

#include "util/text.h"

namespace repcopy {

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
