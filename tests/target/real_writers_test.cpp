// A whole batch through RepTarget with the real record writers, read back independently.

#include <gtest/gtest.h>

#include <map>

#include "target/rep_target.h"
#include "target_test_util.h"
#include "util/crc32.h"
#include "util/text.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;

full_event real_event(uint32_t time, int n) {
  full_event e;
  e.origin_flag = 1;
  e.platform_id = 630;
  e.event_time = time;
  e.stored_time = time - 3600;
  e.os_major = 5;
  e.os_minor = 2;
  auto text = [](const std::u16string& s, uint32_t& crc) {
    crc = crc32_of_text(s);
    return s;
  };
  e.host_computer = text(u"WEB7", e.host_computer_crc);
  e.computer = text(u"web7", e.computer_crc);
  e.src_name = text(u"sshd", e.src_name_crc);
  e.category_name = text(u"auth", e.category_name_crc);
  e.description = text(u"login number " + widen_ascii(std::to_string(n)), e.description_crc);
  e.user_string1 = text(u"root", e.user_string1_crc);
  e.event_id = 4624 + n;
  insertion_string s;
  s.ordinal = 1;
  s.text = u"value " + widen_ascii(std::to_string(n % 3));
  s.crc = crc32_of_text(s.text);
  e.strings.push_back(s);
  e.string_count = 1;
  e.string_slots = 1;
  return e;
}

storage_item real_item(bool named) {
  storage_item item;
  item.platform_id = 630;
  item.computer_name = u"web7";
  item.ds_name = u"Syslog";
  item.os_major = 5;
  item.os_minor = 2;
  for (int i = 0; i < 50; ++i) item.events.push_back(real_event(1700000000 + (i * 37) % 50, i));
  if (named) {
    named_field f;
    f.name = u"pid";
    f.value = u"4711";
    f.name_crc = crc32_of_text(f.name);
    f.value_crc = crc32_of_text(f.value);
    item.events[7].named_fields.push_back(f);
    item.events[7].named_count = 1;
  }
  item.batch_count = uint32_t(item.events.size());
  return item;
}

class RealWriters : public ::testing::TestWithParam<bool> {};

TEST_P(RealWriters, FileReadsBackItemByItem) {
  const bool named = GetParam();
  testutil::temp_dir root;
  RepTarget target(root.u16());
  testing::internal::CaptureStdout();
  ASSERT_EQ(target.flush_items(real_item(named)), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  auto files = testutil::files_below(root.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename().string().substr(0, 43),
            "S20231114221409"
            "20231114221320"
            "20231114221409");
  auto bytes = testutil::read_bytes(root.path() / files[0]);
  auto r = testutil::read_repository_file(bytes);
  ASSERT_TRUE(r.ok) << r.error;

  std::vector<std::string> names;
  uint64_t offset = 512;
  for (auto& e : r.entries) {
    names.push_back(to_utf8(e.name));
    EXPECT_EQ(e.item_offset, offset);
    offset += e.packed_len;
    auto content =
        testutil::gunzip_item(std::span<const uint8_t>(bytes.data() + e.item_offset, e.packed_len));
    ASSERT_TRUE(content.has_value()) << names.back();
    EXPECT_EQ(content->size(), e.unpacked_len) << names.back();
    if (names.back() == "filter.dat") {
      EXPECT_EQ(e.unpacked_len, 0u);
    }
    if (names.back() == "0_record.keys") {
      EXPECT_EQ(e.unpacked_len, 8u * 50u);
    }
    if (names.back() == "0_first.pos" || names.back() == "0_last.pos") {
      EXPECT_EQ(e.unpacked_len, 32u);
    }
  }
  std::vector<std::string> expected = {
      "0_cat.cache", "0_comp.cache", "0_desc.cache",  "0_events.dat", "0_first.pos",
      "0_ins.cache", "0_last.pos",   "0_record.keys", "0_src.cache",  "0_user.cache"};
  if (named) {
    for (const char* n : {"0_nf_names.cache", "0_nf_values.cache", "0_nfields.dat"})
      expected.push_back(n);
  }
  expected.push_back("filter.dat");
  expected.push_back("filters.stat");
  EXPECT_EQ(names, expected);

  std::map<std::u16string, std::u16string> props(r.properties.begin(), r.properties.end());
  EXPECT_EQ(props[u"EventsCount"], u"50");
  EXPECT_EQ(props[u"Host"], u"web7");
  EXPECT_EQ(props[u"DataSource"], u"{046FD196-5B96-41ac-A335-31FC73EFA206}");
  EXPECT_EQ(props[u"Version"], u"00050002");
  EXPECT_EQ(props[u"EventLogVersion"], u"00050002");
  EXPECT_EQ(props[u"SessionLocalTime"], u"20231114211409");
}

INSTANTIATE_TEST_SUITE_P(NamedFields, RealWriters, ::testing::Bool());

}  // namespace
}  // namespace repcopy
