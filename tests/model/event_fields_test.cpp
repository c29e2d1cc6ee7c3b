#include "model/event_fields.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "audit/event_hash.h"
#include "model/event_hash.h"
#include "model/full_event.h"
#include "model/stored_event.h"
#include "tests/model/every_field.h"

namespace repcopy {
namespace {

using test::every_field;

// The number of members of an aggregate: the most initializers it takes.
struct any_value {
  template <class T>
  operator T&() const;
};
template <class T, size_t... I>
constexpr bool takes_initializers(std::index_sequence<I...>) {
  return requires { T{(void(I), any_value{})...}; };
}
template <class T, size_t N = 0>
constexpr size_t member_count() {
  if constexpr (!takes_initializers<T>(std::make_index_sequence<N + 1>())) {
    return N;
  } else {
    return member_count<T, N + 1>();
  }
}

template <class T>
size_t listed_fields() {
  T record{};
  size_t n = 0;
  for_each_field([&n](const char*, field_role, auto&) { ++n; }, record);
  return n;
}

// A member added to a record but not to its field list would be left out of every walk.
TEST(EventFields, EveryMemberIsListed) {
  EXPECT_EQ(listed_fields<full_event>(), member_count<full_event>());
  EXPECT_EQ(listed_fields<insertion_string>(), member_count<insertion_string>());
  EXPECT_EQ(listed_fields<named_field>(), member_count<named_field>());
}

// Changes the n-th field of the list (counting from 0) to a value no other field holds.
struct change_field {
  size_t target;
  size_t at = 0;
  const char* name = nullptr;
  field_role role = field_role::derived;

  template <class Field>
  void operator()(const char* field_name, field_role field_role, Field& f) {
    if (at++ != target) return;
    name = field_name;
    role = field_role;
    if constexpr (std::is_same_v<Field, std::vector<insertion_string>>) {
      f.back().text += u"!";  // a row's content, not the table's length
    } else if constexpr (std::is_same_v<Field, std::vector<named_field>>) {
      f.back().value += u"!";
    } else if constexpr (field_text<Field>) {
      f += u"!";
    } else if constexpr (field_bytes<Field>) {
      f.back() ^= 0xEE;  // the same length: the bytes themselves count
    } else if constexpr (field_number<Field>) {
      f = Field(f + 0x5A5A);
    } else if constexpr (std::is_same_v<Field, source_part_ref>) {
      f.serial += 0x5A5A;
    } else {
      f.path = std::make_shared<const std::string>("/elsewhere.rep");
    }
  }
};

// What every walk must see of one changed field: the stored form keeps it, and the hash and the
// diff (which names the field, or the table of a row) see it exactly when it is content.
void expect_walks_see(const full_event& original, const full_event& changed, field_role role,
                      const std::string& name) {
  event_hasher hash;
  const stored_event stored(changed);
  const full_event unpacked = stored.to_full_event();
  EXPECT_EQ(unpacked, changed);
  EXPECT_EQ(unpacked.source_file.path, changed.source_file.path);
  EXPECT_EQ(unpacked.source_part.serial, changed.source_part.serial);
  EXPECT_EQ(hash(stored), hash(changed));
  const bool content = role == field_role::content;
  EXPECT_EQ(hash(changed) != hash(original), content);
  const std::vector<std::string> named =
      content ? std::vector<std::string>{name} : std::vector<std::string>{};
  EXPECT_EQ(changed_fields(original, changed), named);
  EXPECT_EQ(changed_fields(changed, original), named);
  // equality of full_event compares the derived numbers too, the source file and part aside
  EXPECT_EQ(changed == original, name == "source_file" || name == "source_part");
}

// Each field of the event, and each field of a row of its tables, changed alone.
TEST(EventFields, EveryWalkSeesEveryField) {
  const full_event original = every_field();
  for (size_t i = 0; i < listed_fields<full_event>(); ++i) {
    full_event changed = original;
    change_field change{i};
    for_each_field(change, changed);
    SCOPED_TRACE(change.name);
    expect_walks_see(original, changed, change.role, change.name);
  }
  for (size_t i = 0; i < listed_fields<insertion_string>(); ++i) {
    full_event changed = original;
    change_field change{i};
    for_each_field(change, changed.strings.back());
    SCOPED_TRACE(std::string("strings.") + change.name);
    expect_walks_see(original, changed, change.role, "strings");
  }
  for (size_t i = 0; i < listed_fields<named_field>(); ++i) {
    full_event changed = original;
    change_field change{i};
    for_each_field(change, changed.named_fields.back());
    SCOPED_TRACE(std::string("named_fields.") + change.name);
    expect_walks_see(original, changed, change.role, "named_fields");
  }
  // A row fewer or more.
  full_event fewer = original, more = original;
  fewer.strings.pop_back();
  more.named_fields.push_back({});
  expect_walks_see(original, fewer, field_role::content, "strings");
  expect_walks_see(original, more, field_role::content, "named_fields");
}

TEST(EventFields, ChangedFieldsNamesTwoNumbersOfOneNameOnce) {
  full_event a = every_field();
  full_event b = a;
  b.os_major += 1;
  b.os_minor += 1;
  b.string_slots += 1;
  b.strings_aux += 1;
  EXPECT_EQ(changed_fields(a, b), (std::vector<std::string>{"os_version", "string_slots"}));
}

// A character moved from one text to the next changes the hash: every text counts its length.
TEST(EventHash, NeighbouringTextsCannotTradeCharacters) {
  struct split {
    const char* fields;
    std::function<void(full_event&, std::u16string, std::u16string)> set;
  };
  const split splits[] = {
      {"user strings",
       [](full_event& e, std::u16string a, std::u16string b) {
         e.user_string1 = a;
         e.user_string2 = b;
       }},
      {"named field name and value",
       [](full_event& e, std::u16string a, std::u16string b) {
         e.named_fields[0] = {a, b};
       }},
      {"insertion strings",
       [](full_event& e, std::u16string a, std::u16string b) {
         e.strings = {{1, a}, {1, b}};
       }},
      {"description and data",
       [](full_event& e, std::u16string a, std::u16string b) {
         // The data follows the description: "ab" + {'c', 0} against "a" + {'b', 0, 'c', 0}.
         e.description = a;
         e.data.clear();
         for (char16_t c : b) e.data.insert(e.data.end(), {uint8_t(c), 0});
       }},
  };
  event_hasher hasher;
  for (const split& s : splits) {
    SCOPED_TRACE(s.fields);
    full_event left = every_field(), right = every_field();
    s.set(left, u"ab", u"c");
    s.set(right, u"a", u"bc");
    EXPECT_NE(hasher(left), hasher(right));
  }
}

// A reused event comes back as a constructed one; its tables' rows wait as spares.
TEST(EventFields, ClearKeepingMemoryGivesAConstructedEvent) {
  full_event e = every_field();
  const size_t capacity = e.description.capacity();
  event_spares spares;
  clear_keeping_memory(e, spares);
  EXPECT_EQ(e, full_event{});
  EXPECT_EQ(e.source_file.path, nullptr);
  EXPECT_EQ(e.description.capacity(), capacity);
  EXPECT_EQ(spares.strings.size(), 3u);
  EXPECT_EQ(spares.fields.size(), 2u);
  EXPECT_EQ(spares.strings[0].text, u"first");
}

}  // namespace
}  // namespace repcopy
