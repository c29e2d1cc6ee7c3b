#pragma once
// full_event: the record in which a source builds an event, by joining an events record with
// its caches. The copy packs it into a stored_event (model/stored_event.h), the form in which the
// event storage batches it and the writers of a target file serialize it again. Every string
// carries its CRC-32 (over its UTF-16LE bytes, 0 for an empty string) so that writers can
// deduplicate by CRC and length. Plain value type: deep copy, cheap move. Its fields are listed
// in model/event_fields.h.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/event_fields.h"

namespace repcopy {

using insertion_string = insertion_string_of<std::u16string>;
using named_field = named_field_of<std::u16string>;

using full_event = event_fields<std::u16string, std::vector<uint8_t>, std::vector<insertion_string>,
                                std::vector<named_field>>;

// Receives one event at a time. The receiver may move the event's contents out, or swap them
// with an event of its own: the producer does not look at an event again once it has handed it
// over, but it may build its next event into the same object and reuse the memory it then holds.
using event_sink = std::function<void(full_event&)>;

// Insertion strings and named fields kept from earlier events, their texts' memory with them.
struct event_spares {
  static constexpr size_t kMax = 1024;  // at most this many of each are kept
  std::vector<insertion_string> strings;
  std::vector<named_field> fields;
};

// Back to the constructed state keeping the memory of the texts, the binary values and the
// tables; the insertion strings and named fields become spares. A reader that builds event after
// event in one full_event allocates nothing once the memory has grown.
inline void clear_keeping_memory(full_event& e, event_spares& spares) {
  auto keep_spares = [](auto& table, auto& spare) {
    for (auto& row : table)
      if (spare.size() < event_spares::kMax) spare.push_back(std::move(row));
    table.clear();
  };
  for_each_field(
      [&](const char*, field_role, auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        if constexpr (std::is_same_v<Field, std::vector<insertion_string>>) {
          keep_spares(field, spares.strings);
        } else if constexpr (std::is_same_v<Field, std::vector<named_field>>) {
          keep_spares(field, spares.fields);
        } else if constexpr (field_text<Field> || field_bytes<Field>) {
          field.clear();
        } else {
          field = Field{};
        }
      },
      e);
}

}  // namespace repcopy
