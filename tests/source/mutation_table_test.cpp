// Damaged repository files never give altered events: every event a damaged file yields equals
// the event the undamaged file gives, and the events left out are exactly those the message
// counts. The damage is made by hand in the bytes of a file built byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <string>
#include <tuple>

#include "source/rep_file_source.h"
#include "tests/container/rep_file_bytes.h"
#include "tests/temp_tree.h"
#include "tests/test_console.h"
#include "util/text.h"

namespace repcopy::test {
namespace {

// Two parts of three events each, every item a stored deflate block so that the bytes of each
// cache stand in the file as they are.
test_part first_part() {
  test_part p = sample_part();
  p.nf_names = {u"Name", u"Other"};
  p.nf_values = {u"value", u"more"};
  p.nfields = std::vector<field_list>{{{0, 0}, {1, 1}}, {}, {{1, 0}}};
  return p;
}
test_part second_part() {
  test_part p = sample_part();
  p.index = 1;
  p.keys = {21, 22, 23};
  p.srcs = {u"Other-Source"};
  p.users = {{u"NT AUTHORITY", u"SYSTEM", {4}}};
  return p;
}
bytes file_of(const std::vector<test_part>& parts) {
  rep_file_builder b;
  b.windows(u"srv01", u"CORP");
  for (const test_part& p : parts) {
    for (const auto& [name, data] : p.items()) b.packed(name, stored_item(name, data), data.size());
    b.add_events_count(p.events.size());
  }
  return b.build();
}

// Position of the part table entry named name: its name length field.
size_t entry_at(const bytes& file, const std::string& name) {
  bytes wide;
  for (char c : name) wide.push_back(uint8_t(c)), wide.push_back(0);
  const auto it = std::search(file.begin(), file.end(), wide.begin(), wide.end());
  EXPECT_NE(it, file.end()) << name;
  return size_t(it - file.begin()) - 4;
}
// Fields of an entry after its name.
size_t item_offset_at(const bytes& file, const std::string& name) {
  return entry_at(file, name) + 4 + 2 * name.size() + 8;
}
size_t packed_len_at(const bytes& file, const std::string& name) {
  return item_offset_at(file, name) + 8;
}
// Flips one byte of the first place where text stands as UTF-16LE.
void flip_in_text(bytes& file, const std::u16string& text) {
  bytes wide;
  for (char16_t c : text) wide.push_back(uint8_t(c)), wide.push_back(uint8_t(c >> 8));
  const auto it = std::search(file.begin(), file.end(), wide.begin(), wide.end());
  ASSERT_NE(it, file.end());
  it[2] ^= 0x20;
}

class MutationTableTest : public ::testing::Test {
 protected:
  struct read_result {
    std::vector<full_event> events;
    std::string err;
  };
  read_result read(const bytes& file) {
    testutil::put(dir_.path / "file.rep", file);
    read_result r;
    std::tie(std::ignore, r.err) = capture_output([&] {
      copy_outcome outcome;
      RepFileSource source(test_console(), nullptr, RepFileImage((dir_.path / "file.rep").string()),
                           &outcome);
      source.ProcessFile([&](const full_event& e) { r.events.push_back(e); });
    });
    return r;
  }

  testutil::temp_dir dir_;
};

TEST_F(MutationTableTest, DamagedFilesYieldOnlyUnalteredEventsAndCountTheRest) {
  const bytes sound = file_of({first_part(), second_part()});
  const std::vector<full_event> base = read(sound).events;
  ASSERT_EQ(base.size(), 6u);

  test_part lost_fields = first_part();
  lost_fields.omit = {10};  // 0_nfields.dat lost: the named fields would vanish

  struct mutation {
    const char* kind;
    std::function<void(bytes&)> mutate;  // on the sound file, or
    std::vector<test_part> parts;        // the file made of these parts
    size_t kept;                         // events that still arrive
    const char* message;                 // what standard error says after the path
  };
  const std::string part1_damaged =
      "3 event(s) dropped (3 in 1 part(s) with a damaged item), 1 damaged item(s)\n";
  const mutation mutations[] = {
      {"part table entry runs past the end of the table",
       [](bytes& f) { patch(f, entry_at(f, "1_user.cache"), 1000, 4); },
       {},
       0,
       "does not load"},
      {"absurd item offset",
       [](bytes& f) { patch(f, item_offset_at(f, "1_user.cache"), uint64_t(1) << 60, 8); },
       {},
       3,
       part1_damaged.c_str()},
      {"absurd item length",
       [](bytes& f) { patch(f, packed_len_at(f, "0_ins.cache"), uint64_t(1) << 62, 8); },
       {},
       3,
       "3 event(s) dropped (3 in 1 part(s) with a damaged item), 1 damaged item(s)\n"},
      {"record keys entry with a name length of 0",
       [](bytes& f) { patch(f, entry_at(f, "1_record.keys"), 0, 4); },
       {},
       0,
       "does not load"},
      {"named-field values entry with a name length of 2^31-1",
       [](bytes& f) { patch(f, entry_at(f, "0_nf_values.cache"), 0x7FFFFFFF, 4); },
       {},
       0,
       "does not load"},
      {"flipped byte in a cache string",
       [](bytes& f) { flip_in_text(f, u"NT AUTHORITY"); },
       {},
       3,
       part1_damaged.c_str()},
      {"flipped byte in a named-field value",
       [](bytes& f) { flip_in_text(f, u"value"); },
       {},
       3,
       "3 event(s) dropped (3 in 1 part(s) with a damaged item), 1 damaged item(s)\n"},
      {"two items' places swapped",
       [](bytes& f) {
         for (int field = 0; field < 2; ++field) {
           const size_t a = item_offset_at(f, "0_desc.cache") + 8 * size_t(field);
           const size_t b = item_offset_at(f, "0_src.cache") + 8 * size_t(field);
           std::swap_ranges(f.begin() + std::ptrdiff_t(a), f.begin() + std::ptrdiff_t(a + 8),
                            f.begin() + std::ptrdiff_t(b));
         }
       },
       {},
       3,
       "3 event(s) dropped (3 in 1 part(s) with a damaged item), 2 damaged item(s)\n"},
      {"named-field table lost",
       nullptr,
       {lost_fields, second_part()},
       3,
       "3 event(s) dropped (3 in 1 part(s) with a damaged item)\n"},
  };
  const std::regex dropped_count("([0-9]+) event\\(s\\) dropped");
  for (const mutation& m : mutations) {
    SCOPED_TRACE(m.kind);
    bytes file = sound;
    if (m.mutate) {
      m.mutate(file);
    } else {
      file = file_of(m.parts);
    }
    const read_result r = read(file);
    // No event differs from the sound file's, and none comes twice.
    size_t from = 0;
    for (const full_event& e : r.events) {
      const auto it = std::find(base.begin() + std::ptrdiff_t(from), base.end(), e);
      ASSERT_NE(it, base.end()) << "an altered event, record key " << e.record_key;
      from = size_t(it - base.begin()) + 1;
    }
    EXPECT_EQ(r.events.size(), m.kept);
    const std::string path = (dir_.path / "file.rep").string();
    if (std::string(m.message) == "does not load") {
      EXPECT_EQ(r.err, "Damaged source file skipped, it does not load: " + path + "\n");
      continue;
    }
    EXPECT_EQ(r.err, "Damaged source file " + path + ": " + m.message);
    std::smatch n;
    ASSERT_TRUE(std::regex_search(r.err, n, dropped_count));
    EXPECT_EQ(std::stoul(n[1]), base.size() - r.events.size());
  }
}

}  // namespace
}  // namespace repcopy::test
