#pragma once
// An event with every field set, each to a value no other field holds, and rows in both tables,
// so that a field copied from the wrong place, or not at all, shows.

#include <memory>
#include <string>
#include <type_traits>

#include "model/event_fields.h"
#include "model/full_event.h"

namespace repcopy::test {

inline full_event every_field() {
  full_event e;
  uint32_t n = 1;
  for_each_field(
      [&n](const char*, field_role, auto& f) {
        using Field = std::remove_reference_t<decltype(f)>;
        if constexpr (field_number<Field>) f = Field(100 + n++);
        if constexpr (field_text<Field>) f = u"text " + std::u16string(n++, u'x');
        if constexpr (field_bytes<Field>) f.assign(3, uint8_t(n++));
      },
      e);
  e.strings = {{1, u"first", 11, 12}, {4, u"", 0, 13}, {6, std::u16string(300, u'q'), 14, 24}};
  e.named_fields = {{u"name", u"value", 21, 22, 23, 24}, {u"", u"only a value", 0, 41, 42, 43}};
  e.source_file.path = std::make_shared<const std::string>("/a.rep");
  return e;
}

}  // namespace repcopy::test
