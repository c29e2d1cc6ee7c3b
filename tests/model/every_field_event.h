#pragma once
// An event with every field set to a value of its own, for tests that change one field at a time.

#include "model/full_event.h"

namespace repcopy::testutil {

inline full_event every_field_event() {
  full_event e;
  e.origin_flag = 1;
  e.host_computer = u"HOST";
  e.platform_id = 500;
  e.os_major = 6;
  e.os_minor = 3;
  e.under_data_source = u"Security";
  e.record_key = 77;
  e.computer = u"pc";
  e.user_string1 = u"CORP";
  e.user_string2 = u"alice";
  e.category = 12;
  e.src_name = u"Source";
  e.event_id = 4624;
  e.category_name = u"Logon";
  e.event_time = 1700000000;
  e.stored_time = 3600;
  e.domain = u"CORP";
  e.computer_type = 2;
  e.user_binary = {1, 2, 3};
  e.description = u"An account logged on";
  e.data = {9, 8, 7, 6};
  e.string_slots = 2;
  e.strings_aux = 1;
  e.string_count = 2;
  e.strings = {{1, u"first"}, {2, u"second"}};
  e.named_count = 1;
  e.named_fields = {{u"Name", u"Value"}};
  return e;
}

}  // namespace repcopy::testutil
