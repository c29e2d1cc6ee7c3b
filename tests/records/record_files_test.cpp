// The cache, position, filter and named-field writers against hand-written bytes, the three
// corrections of the string handling (characters compared on a CRC and length hit, all code
// units copied, the user's binary value kept), and the record walks' refusal of cut or lying
// items.
#include <gtest/gtest.h>

#include "record_test_util.h"
#include "records/cache_readers.h"
#include "records/position_readers.h"
#include "records/record_factory.h"
#include "records/record_format.h"
#include "tests/test_console.h"
#include "util/fatal.h"

namespace repcopy {
namespace {

using test::bytes;
using test::E;

// The readers own their item as an unpacked buffer.
byte_buffer owned(const bytes& item) { return byte_buffer(item.begin(), item.end()); }
using test::field;
using test::ins;
using test::le;

TEST(CreateSegment, AnUnknownBufferIdIsAFatalStop) {
  for (int32_t id : {15, -1}) {
    try {
      create_segment(id);
      ADD_FAILURE() << "no fatal stop for " << id;
    } catch (const fatal_error& e) {
      EXPECT_EQ(e.marker(), "Unknown  id: " + std::to_string(id) + "\n");
    }
  }
}

full_event named(const char16_t* computer, const char16_t* host, const char16_t* src,
                 const char16_t* category_name, uint32_t event_id, const char16_t* desc,
                 uint32_t event_time, uint32_t stored_time) {
  full_event e = E({.host_computer = host,
                    .computer = computer,
                    .src_name = src,
                    .category_name = category_name,
                    .description = desc});
  e.category = *category_name ? 12 : 0;
  std::tie(e.event_id, e.event_time, e.stored_time) = std::tuple(event_id, event_time, stored_time);
  return e;
}

TEST(CacheWriters, FirstSeenOrderDeduplicationAndTheIndexesStored) {
  event_batch events{named(u"PC1", u"", u"Sec", u"", 0, u"", 1000, 1000),
                     named(u"PC1", u"", u"Sys", u"Logon", 4624, u"full", 5000, 1400),
                     named(u"", u"HOST", u"Sec", u"Logon", 4625, u"full", 10, 20)};
  EXPECT_EQ(test::write_item(record_file::kSrcId, events),
            bytes(le().counted(u"Sec").counted(u"Sys")));
  EXPECT_EQ(test::write_item(record_file::kDescId, events), bytes(le().counted(u"full")));
  le cats;
  cats.counted(u"").u16(0).u16(1).u32(0);
  cats.counted(u"Logon").u16(12).u16(1).u32(4624);
  cats.counted(u"Logon").u16(12).u16(1).u32(4625);
  EXPECT_EQ(test::write_item(record_file::kCatId, events), bytes(cats));
  // A computer per name and time offset, the host name when there is none; offsets wrap.
  const bytes comps =
      le().counted(u"PC1").u32(0).counted(u"PC1").u32(3600).counted(u"HOST").u32(0xFFFFFFF6);
  EXPECT_EQ(test::write_item(record_file::kCompId, events), comps);
  EXPECT_EQ(std::vector({events[0].src_index, events[1].src_index, events[2].src_index}),
            std::vector({0u, 1u, 0u}));
  EXPECT_EQ(std::vector({events[0].desc_index, events[1].desc_index, events[2].desc_index}),
            std::vector({kNoIndex, 0u, 0u}));  // an empty description gets no record
  EXPECT_EQ(events[2].cat_index, 2u);
  EXPECT_EQ(events[2].comp_index, 2u);
}

TEST(CacheWriters, UserBinaryValueIsWrittenAndPartOfTheKeyAndNulUnitsAreKept) {
  event_batch events{E({.user_string1 = u"D", .user_string2 = u"al", .user_binary = {1, 2}}),
                     E({.user_string1 = u"D", .user_string2 = u"al", .user_binary = {1, 3}}),
                     E({.user_string1 = u"D", .user_string2 = u"al", .user_binary = {1, 2}}),
                     E({.user_string1 = u"Da", .user_string2 = u"l"})};
  le users;
  users.counted(u"D").counted(u"al").u32(2).raw({1, 2});
  users.counted(u"D").counted(u"al").u32(2).raw({1, 3});
  users.counted(u"Da").counted(u"l").u32(0);
  EXPECT_EQ(create_segment(record_file::kUserId)->estimate_size(events),
            4u * 12 + 4 * 2 * 3 + 3 * 2);
  EXPECT_EQ(test::write_item(record_file::kUserId, events), bytes(users));
  EXPECT_EQ(events[2].user_index, 0u);
  event_batch nul{E({.strings = {ins(1, std::u16string(u"a\0b", 3))}})};
  EXPECT_EQ(test::write_item(record_file::kInsId, nul),
            bytes(le().u32(3).u16('a').u16(0).u16('b')));
}

// A user's binary value is part of its key the same way: equal CRC-32 and length, different
// bytes, two records.
TEST(CacheWriters, UserBinaryWithEqualCrcAndLengthStaysTwoRecords) {
  auto le_bytes = [](const std::u16string& s) {
    std::vector<uint8_t> b;
    for (char16_t c : s) {
      b.push_back(uint8_t(c));
      b.push_back(uint8_t(c >> 8));
    }
    return b;
  };
  const std::vector<uint8_t> first = le_bytes(u"Administrator");
  const std::vector<uint8_t> second =
      le_bytes(test::force_crc(u"Guest users", crc32_of_text(u"Administrator")));
  ASSERT_EQ(first.size(), second.size());
  ASSERT_NE(first, second);
  ASSERT_EQ(crc32_of(first.data(), first.size()), crc32_of(second.data(), second.size()));
  event_batch events{E({.user_string1 = u"u", .user_binary = first}),
                     E({.user_string1 = u"u", .user_binary = second}),
                     E({.user_string1 = u"u", .user_binary = second})};
  const bytes item = test::write_item(record_file::kUserId, events);
  EXPECT_EQ(std::vector({events[0].user_index, events[1].user_index, events[2].user_index}),
            std::vector({0u, 1u, 1u}));
  auto reader = make_record_buffer(record_file::kUserId, owned(item), item.size());
  ASSERT_EQ(reader->Load(), 0);
  const auto* users = dynamic_cast<const RepUserBuffer*>(reader.get());
  ASSERT_NE(users, nullptr);
  ASSERT_EQ(users->ulCount(), 2u);
  EXPECT_EQ(users->binary(0), first);
  EXPECT_EQ(users->binary(1), second);
}

// Equal CRC-32 and equal length, different text: every cache keeps two records.
TEST(CacheWriters, EqualCrcAndLengthStayTwoRecordsInEveryCache) {
  const std::u16string first = u"Administrator";
  const std::u16string second = test::force_crc(u"Guest users", crc32_of_text(first));
  ASSERT_EQ(first.size(), second.size());
  ASSERT_NE(first, second);
  ASSERT_EQ(crc32_of_text(first), crc32_of_text(second));
  using setter = full_event (*)(const std::u16string&);
  using index_of = uint32_t (*)(const stored_event&);
  const std::tuple<int32_t, setter, index_of> cases[] = {
      {record_file::kSrcId, [](const std::u16string& s) { return E({.src_name = s}); },
       [](const stored_event& e) { return e.src_index; }},
      {record_file::kDescId, [](const std::u16string& s) { return E({.description = s}); },
       [](const stored_event& e) { return e.desc_index; }},
      {record_file::kInsId, [](const std::u16string& s) { return E({.strings = {ins(1, s)}}); },
       [](const stored_event& e) { return e.strings[0].cache_index; }},
      {record_file::kCatId, [](const std::u16string& s) { return E({.category_name = s}); },
       [](const stored_event& e) { return e.cat_index; }},
      {record_file::kCompId, [](const std::u16string& s) { return E({.computer = s}); },
       [](const stored_event& e) { return e.comp_index; }},
      {record_file::kUserId, [](const std::u16string& s) { return E({.user_string1 = s}); },
       [](const stored_event& e) { return e.user_index; }},
      {record_file::kNfNamesId,
       [](const std::u16string& s) { return E({.named_fields = {field(s, u"v")}}); },
       [](const stored_event& e) { return e.named_fields[0].name_index; }},
      {record_file::kNfValuesId,
       [](const std::u16string& s) { return E({.named_fields = {field(u"n", s)}}); },
       [](const stored_event& e) { return e.named_fields[0].value_index; }}};
  for (const auto& [id, set, index] : cases) {
    event_batch events{set(first), set(second), set(second)};
    const bytes item = test::write_item(id, events);
    EXPECT_EQ(std::vector({index(events[0]), index(events[1]), index(events[2])}),
              std::vector({0u, 1u, 1u}))
        << id;
    auto reader = make_record_buffer(id, owned(item), item.size());
    ASSERT_EQ(reader->Load(), 0);
    EXPECT_EQ(reader->string_at(0), first) << id;
    EXPECT_EQ(reader->string_at(1), second) << id;
  }
}

// Events read from one part that name the same record of one of its caches hold the same value,
// so each writer of a per-event cache gives the later ones the first one's record without
// looking at their values. A record number of another part, and an event read from no part
// (part 0), are looked up by value.
TEST(CacheWriters, EventsOfAPartNamingOneRecordShareItsTargetRecord) {
  struct read_event {
    uint32_t part;
    uint32_t source_record;
    const char16_t* text;
  };
  const read_event read[] = {{7, 3, u"alpha"}, {7, 3, u"never read"},  // part 7's record 3 again
                             {8, 3, u"beta"},                          // record 3 of another part
                             {8, 5, u"alpha"},  // another part's record, a known value
                             {0, 3, u"beta"},   // read from no part
                             {8, 3, u"beta"}};
  const std::vector<uint32_t> expected = {0, 0, 1, 0, 1, 1};
  using maker = full_event (*)(const std::u16string&, uint32_t);
  using index_of = uint32_t (*)(const stored_event&);
  const std::tuple<int32_t, maker, index_of> cases[] = {
      {record_file::kCatId,
       [](const std::u16string& s, uint32_t r) {
         full_event e = E({.category_name = s});
         e.cat_index = r;
         return e;
       },
       [](const stored_event& e) { return e.cat_index; }},
      {record_file::kCompId,
       [](const std::u16string& s, uint32_t r) {
         full_event e = E({.computer = s});
         e.comp_index = r;
         return e;
       },
       [](const stored_event& e) { return e.comp_index; }},
      {record_file::kDescId,
       [](const std::u16string& s, uint32_t r) {
         full_event e = E({.description = s});
         e.desc_index = r;
         return e;
       },
       [](const stored_event& e) { return e.desc_index; }},
      {record_file::kSrcId,
       [](const std::u16string& s, uint32_t r) {
         full_event e = E({.src_name = s});
         e.src_index = r;
         return e;
       },
       [](const stored_event& e) { return e.src_index; }},
      {record_file::kUserId,
       [](const std::u16string& s, uint32_t r) {
         full_event e = E({.user_string1 = s});
         e.user_index = r;
         return e;
       },
       [](const stored_event& e) { return e.user_index; }}};
  for (const auto& [id, make, index] : cases) {
    event_batch events;
    for (const read_event& r : read) {
      full_event e = make(r.text, r.source_record);
      e.source_part.serial = r.part;
      events.push_back(e);
    }
    const bytes item = test::write_item(id, events);
    std::vector<uint32_t> indexes;
    for (const stored_event& e : events) indexes.push_back(index(e));
    EXPECT_EQ(indexes, expected) << id;
    auto reader = make_record_buffer(id, owned(item), item.size());
    ASSERT_EQ(reader->Load(), 0) << id;
    ASSERT_EQ(reader->ulCount(), 2u) << id;
    EXPECT_EQ(reader->string_at(0), u"alpha") << id;
    EXPECT_EQ(reader->string_at(1), u"beta") << id;

    // More values than the tables start for (they grow), each of part 1's records named twice
    // and then the same values from part 2: one record a value, in first-seen order.
    constexpr uint32_t kValues = 3000;
    event_batch many;
    for (uint32_t part : {1u, 1u, 2u}) {
      for (uint32_t r = 0; r < kValues; ++r) {
        full_event e = make(u"value " + std::u16string(1, char16_t(0x100 + r)), r);
        e.source_part.serial = part;
        many.push_back(e);
      }
    }
    const bytes many_item = test::write_item(id, many);
    for (uint32_t i = 0; i < many.size(); ++i) ASSERT_EQ(index(many[i]), i % kValues) << id;
    auto many_reader = make_record_buffer(id, owned(many_item), many_item.size());
    ASSERT_EQ(many_reader->Load(), 0) << id;
    EXPECT_EQ(many_reader->ulCount(), kValues) << id;
  }
}

constexpr uint64_t kFiletime1970 = 0x019DB1DED53E8000ULL;

TEST(PositionWriters, KeysPositionsAndFilterStat) {
  event_batch events{
      E({.os_major = 6, .os_minor = 1, .record_key = 7, .event_time = 100, .stored_time = 100}),
      E({.record_key = 8, .event_time = 200, .stored_time = 150}),
      E({.record_key = 0xFFFFFFFF, .event_time = 0x01020304, .stored_time = 5})};
  const bytes keys = le().u32s({7, 100, 8, 200, 0xFFFFFFFF, 0x01020304});
  EXPECT_EQ(test::write_item(record_file::kRecordKeysId, events), keys);  // 24 bytes
  EXPECT_EQ(test::write_item(record_file::kFilterStatId, events),
            bytes(le().u64(3).u32(1).u32(0x01020304).zeros(11)));
  EXPECT_EQ(test::write_item(record_file::kFilterDatId, events), bytes{});
  // One event of a computer whose time offset is 3600: first.pos holds the event time, last.pos
  // the stored time, each with its FILETIME.
  event_batch one{E({.os_major = 6,
                     .os_minor = 1,
                     .record_key = 42,
                     .event_time = 1000000,
                     .stored_time = 996400})};
  le first_pos = le().u64(1000000).u32(42).u64(kFiletime1970 + 1000000ULL * 10000000);
  le last_pos = le().u64(996400).u32(42).u64(kFiletime1970 + 996400ULL * 10000000);
  EXPECT_EQ(test::write_item(record_file::kFirstPosId, one), bytes(first_pos.u32s({6, 1, 0})));
  EXPECT_EQ(test::write_item(record_file::kLastPosId, one), bytes(last_pos.u32s({6, 1, 0})));
  // 4294967295 * 10^7 + 116444736000000000 = 0x0236485ED4A5E980, computed in 64 bits.
  event_batch last{E({.record_key = 1, .event_time = 4294967295u})};
  EXPECT_EQ(test::write_item(record_file::kFirstPosId, last),
            bytes(le().u64(4294967295u).u32(1).u64(0x0236485ED4A5E980ULL).zeros(12)));
}

TEST(NamedFieldWriters, PresentOnlyWhenSomeEventHasAField) {
  event_batch none{E({}), E({})};
  for (int32_t id : {record_file::kNfNamesId, record_file::kNfValuesId, record_file::kNfieldsId})
    EXPECT_EQ(test::write_item(id, none), bytes{});
  event_batch events{E({}), E({.named_fields = {field(u"A", u"x"), field(u"B", u"x")}}),
                     E({.named_fields = {field(u"A", u"y")}})};
  EXPECT_EQ(test::write_item(record_file::kNfNamesId, events),
            bytes(le().counted(u"A").counted(u"B")));
  EXPECT_EQ(test::write_item(record_file::kNfValuesId, events),
            bytes(le().counted(u"x").counted(u"y")));
  // 4 zero bytes for the event without fields, then F and the (name, value) pairs.
  const bytes table = le().u32s({0, 2, 0, 0, 1, 0, 1, 0, 1});
  EXPECT_EQ(test::write_item(record_file::kNfieldsId, events), table);
}

TEST(RecordFactory, EmptyItemsLoadAndThreeBytesFailACountedStringCache) {
  for (int32_t id = 0; id <= 14; ++id) EXPECT_EQ(make_record_buffer(id, {}, 0)->Load(), 0) << id;
  EXPECT_EQ(make_record_buffer(15, {}, 0), nullptr);
  for (int32_t id : {2, 5, 8, 11, 12}) {
    EXPECT_EQ(make_record_buffer(id, byte_buffer{record_file::kCatId, 0}, 3)->Load(), -1) << id;
  }
}

// Every reader of a walked layout, with a valid two-record item: every shorter length that is
// not a record boundary fails Load, as does every item with a byte more.
TEST(RecordWalks, TruncationSweepFailsEveryPartialRecord) {
  const struct {
    int32_t id;
    bytes first, second;
  } cases[] = {{8, le().counted(u"abc"), le().counted(u"")},
               {0, le().counted(u"c").u16(1).u16(1).u32(9), le().counted(u"").u16(0).u16(1).u32(0)},
               {1, le().counted(u"PC").u32(5), le().counted(u"").u32(0)},
               {9, le().counted(u"d").counted(u"u").u32(2).raw({7, 7}),
                le().counted(u"").counted(u"x").u32(0)},
               {7, le().u32(1).u32(2), le().u32(3).u32(4)},
               {10, le().u32(1).u32(0).u32(0), le().u32(0)}};
  for (const auto& c : cases) {
    const bytes item = le().raw(c.first).raw(c.second);
    for (size_t len = 0; len <= item.size() + 1; ++len) {
      bytes cut = item;
      cut.resize(len, 0);
      auto buffer = make_record_buffer(c.id, owned(cut), cut.size());
      const bool whole = len == 0 || len == c.first.size() || len == item.size();
      EXPECT_EQ(buffer->Load(), whole ? 0 : -1) << c.id << " length " << len;
    }
  }
}

TEST(RecordWalks, AbsurdLengthFieldsFailWithoutReadingPastTheEnd) {
  const std::pair<int32_t, bytes> bad[] = {
      {5, le().u32(0xFFFFFFFF)},
      {0, le().u32(0x7FFFFFFF).u16(1).u16(1).u32(0)},
      {9, le().counted(u"a").counted(u"b").u32(0xFFFFFFF0).raw({1})},
      {10, le().u32(0x20000000)}};
  for (const auto& [id, item] : bad) {
    EXPECT_EQ(make_record_buffer(id, owned(item), item.size())->Load(), -1)
        << id << ", " << item.size();
  }
}

TEST(PositionReaders, DumpShowsBothTimes) {
  const uint64_t t = 86400 + 3661;
  const bytes item = le().u64(t).u32(5).u64(0x019DB1DED53E8000ULL + t * 10000000).zeros(12);
  RepFirstPosBuffer first(item, item.size());
  testing::internal::CaptureStdout();
  first.Dump(test_console());
  const std::string out = testing::internal::GetCapturedStdout();  // head, hex dump, times
  EXPECT_EQ(out.rfind("id = 4 RepFirstPosBuffer\nbuffer_len = 32\nulCount = 0\n\n", 0), 0u);
  EXPECT_TRUE(
      out.ends_with("=\ndTime = Fri Jan 02 01:01:01 1970\nTime  = Fri Jan 02 01:01:01 1970\n\n"));
}

}  // namespace
}  // namespace repcopy
