// The deduplication tables of the cache writers: memory reused from batch to batch never carries
// a key of an earlier batch into a later one, a table that outgrows its expected size still finds
// every key, the memo of source records keeps parts apart, and the string caches' bytes stay
// those of hand-written records when one thread writes several batches in a row.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "record_test_util.h"
#include "records/cache_key.h"
#include "records/record_format.h"

namespace repcopy {
namespace {

using test::bytes;
using test::E;
using test::ins;
using test::le;

full_event with_strings(std::initializer_list<std::u16string> texts) {
  full_event e;
  uint32_t ordinal = 0;
  for (const std::u16string& t : texts) e.strings.push_back(ins(++ordinal, t));
  return E(e);
}

std::vector<uint32_t> string_indexes(const event_batch& events) {
  std::vector<uint32_t> indexes;
  for (const stored_event& e : events) {
    for (const stored_string& s : e.strings) indexes.push_back(s.cache_index);
  }
  return indexes;
}

// Batches written one after the other by one thread, each with strings of the one before: each
// item starts from record 0 with its own strings in first-seen order.
TEST(CacheTables, ALaterBatchOnTheSameThreadStartsEmpty) {
  event_batch first{with_strings({u"alpha", u"beta", u"gamma"}),
                    with_strings({u"beta", u"delta", u"alpha"})};
  EXPECT_EQ(test::write_item(record_file::kInsId, first),
            bytes(le().counted(u"alpha").counted(u"beta").counted(u"gamma").counted(u"delta")));
  EXPECT_EQ(string_indexes(first), std::vector<uint32_t>({0, 1, 2, 1, 3, 0}));

  // first is still alive: a key left over from it would be found and its index reused.
  event_batch second{with_strings({u"delta", u"gamma"}), with_strings({u"gamma", u"omega"})};
  EXPECT_EQ(test::write_item(record_file::kInsId, second),
            bytes(le().counted(u"delta").counted(u"gamma").counted(u"omega")));
  EXPECT_EQ(string_indexes(second), std::vector<uint32_t>({0, 1, 1, 2}));

  event_batch third{E({.src_name = u"gamma", .description = u"alpha"}),
                    E({.src_name = u"alpha", .description = u"alpha"})};
  EXPECT_EQ(test::write_item(record_file::kSrcId, third),
            bytes(le().counted(u"gamma").counted(u"alpha")));
  EXPECT_EQ(test::write_item(record_file::kDescId, third), bytes(le().counted(u"alpha")));
  EXPECT_EQ(std::vector({third[0].src_index, third[1].src_index, third[0].desc_index,
                         third[1].desc_index}),
            std::vector<uint32_t>({0, 1, 0, 0}));
}

// Both tables, told to expect one key, given a thousand (half of them twice, and pairs that share
// CRC and length): every key keeps the number it got first.
TEST(CacheTables, TablesGrowPastTheExpectedSizeAndKeepEveryKey) {
  std::vector<std::u16string> texts;
  for (int i = 0; i < 500; ++i) texts.push_back(u"key " + std::u16string(size_t(i % 7), u'x') +
                                                char16_t(u'0' + i % 10) + char16_t(0x100 + i));
  for (int i = 0; i < 500; i += 50) {  // same CRC and length as an earlier key, other text
    const std::u16string prefix(texts[size_t(i)].size() - 2, u't');
    texts.push_back(test::force_crc(prefix, crc32_of_text(texts[size_t(i)])));
  }
  const size_t distinct = texts.size();
  text_index_map by_text(1);
  cache_index_map by_key(1);
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < distinct; ++i) {
      bool text_added = false, key_added = false;
      const uint32_t crc = crc32_of_text(texts[i]);
      cache_key key;
      key.crc1 = crc;
      key.text1 = texts[i];
      EXPECT_EQ(by_text.find_or_add(crc, texts[i], text_added), i) << i;
      EXPECT_EQ(by_key.find_or_add(key, key_added), i) << i;
      EXPECT_EQ(text_added, round == 0) << i;
      EXPECT_EQ(key_added, round == 0) << i;
    }
  }
}

// A batch with more distinct strings than the insertion-string table starts with: it grows
// while the item is written, and the item still holds each string once, in first-seen order,
// with every repeat pointing at its first record.
TEST(CacheTables, AnItemWithMoreStringsThanTheFirstTableHoldsEachOnce) {
  const size_t distinct = text_index_map::kFirstKeys * 2 + 3;
  full_event e;
  for (size_t i = 0; i < distinct * 2; ++i) {
    std::u16string text = u"s" + std::u16string(1, char16_t(0x100 + i % distinct / 256)) +
                          std::u16string(1, char16_t(0x100 + i % distinct % 256));
    e.strings.push_back(ins(uint32_t(i + 1), text));
  }
  event_batch events{E(e)};
  le expected;
  for (size_t i = 0; i < distinct; ++i) expected.counted(e.strings[i].text);
  EXPECT_EQ(test::write_item(record_file::kInsId, events), bytes(expected));
  for (size_t i = 0; i < distinct * 2; ++i)
    ASSERT_EQ(events[0].strings[i].cache_index, i % distinct) << i;
}

// The memo of source records keeps each (part, record) apart from the same record number of other
// parts and from the other records of its part, through its growth; part 0 is never kept, and a
// memo made after it on the same thread (reusing its memory) starts empty.
TEST(CacheTables, TheSourceRecordMemoKeepsEveryPartsRecordsApart) {
  constexpr uint32_t kNotFound = source_record_memo::kNotFound;
  const auto target = [](uint32_t part, uint32_t record) { return part * 1000 + record; };
  {
    source_record_memo memo;
    for (uint32_t part = 1; part <= 40; ++part) {  // 4 000 keys: past the first table
      for (uint32_t record = 0; record < 100; ++record) {
        ASSERT_EQ(memo.find(part, record), kNotFound) << part << " " << record;
        memo.remember(part, record, target(part, record));
      }
    }
    for (uint32_t part = 1; part <= 40; ++part) {
      for (uint32_t record = 0; record < 100; ++record)
        ASSERT_EQ(memo.find(part, record), target(part, record)) << part << " " << record;
    }
    EXPECT_EQ(memo.find(41, 0), kNotFound);
    EXPECT_EQ(memo.find(1, 100), kNotFound);
    memo.remember(0, 5, 9);
    EXPECT_EQ(memo.find(0, 5), kNotFound);
    memo.remember(UINT32_MAX, UINT32_MAX, 7);
    EXPECT_EQ(memo.find(UINT32_MAX, UINT32_MAX), 7u);
    EXPECT_EQ(memo.find(UINT32_MAX, 0), kNotFound);
  }
  source_record_memo next;
  EXPECT_EQ(next.find(1, 0), kNotFound);
  EXPECT_EQ(next.find(UINT32_MAX, UINT32_MAX), kNotFound);
}

// The memo of one part's strings answers only for the part it is on: another part's record of the
// same number, the part again after another, a new batch, part 0, and records from kMaxRecords up
// (kNoIndex among them) are not known.
TEST(CacheTables, ThePartStringMemoKnowsOnlyTheCurrentPartsRecords) {
  constexpr uint32_t kNotFound = part_string_memo::kNotFound;
  part_string_memo memo;
  memo.start_batch();
  memo.start_part(3);
  for (uint32_t record = 0; record < 3000; record += 3) {  // grows several times
    ASSERT_EQ(memo.find(record), kNotFound) << record;
    memo.remember(record, record + 7);
  }
  memo.start_part(3);  // the same part: nothing forgotten
  for (uint32_t record = 0; record < 3000; ++record)
    ASSERT_EQ(memo.find(record), record % 3 == 0 ? record + 7 : kNotFound) << record;
  struct {
    const char* what;
    std::function<void()> then;
  } forgetting[] = {
      {"another part", [&] { memo.start_part(4); }},
      {"the part again after another", [&] { memo.start_part(4), memo.start_part(3); }},
      {"a new batch", [&] { memo.start_batch(), memo.start_part(3); }},
      {"part 0", [&] { memo.start_part(0); }},
  };
  for (const auto& c : forgetting) {
    SCOPED_TRACE(c.what);
    memo.start_part(3);
    memo.remember(6, 1);
    ASSERT_EQ(memo.find(6), 1u);
    c.then();
    EXPECT_EQ(memo.find(6), kNotFound);
    memo.remember(6, 2);  // part 0 keeps nothing
    EXPECT_EQ(memo.find(6), memo.part() == 0 ? kNotFound : 2u);
  }
  memo.start_part(5);
  for (const uint32_t record : {part_string_memo::kMaxRecords, kNoIndex}) {
    memo.remember(record, 9);
    EXPECT_EQ(memo.find(record), kNotFound) << record;
  }
  memo.remember(part_string_memo::kMaxRecords - 1, 9);
  EXPECT_EQ(memo.find(part_string_memo::kMaxRecords - 1), 9u);
}

// An event read from a part carries its strings' record numbers in that part's cache. The
// insertion-string cache takes a repeat of one part's record by its number, and everything else
// by value: the same record number in another part, a part met again after another, events of
// part 0, and the next batch on the same thread.
TEST(CacheTables, StringsOfOnePartAreTakenByRecordAndAllOthersByValue) {
  using record_text = std::pair<uint32_t, std::u16string>;
  const auto read_from = [](uint32_t part, std::initializer_list<record_text> strings) {
    full_event e;
    e.source_part.serial = part;
    uint32_t ordinal = 0;
    for (const auto& [record, text] : strings) e.strings.push_back(ins(++ordinal, text, record));
    return E(e);
  };
  event_batch first{read_from(1, {{0, u"alpha"}, {1, u"beta"}}),
                    read_from(2, {{0, u"gamma"}, {1, u"alpha"}}),
                    read_from(1, {{0, u"alpha"}, {2, u"delta"}, {0, u"alpha"}}),
                    read_from(0, {{0, u"omega"}, {0, u"beta"}}),
                    read_from(2, {{0, u"gamma"}, {5, u"beta"}, {kNoIndex, u""}})};
  EXPECT_EQ(test::write_item(record_file::kInsId, first),
            bytes(le().counted(u"alpha").counted(u"beta").counted(u"gamma").counted(u"delta")
                      .counted(u"omega").counted(u"")));
  EXPECT_EQ(string_indexes(first),
            std::vector<uint32_t>({0, 1, 2, 0, 0, 3, 0, 4, 1, 2, 1, 5}));

  event_batch second{read_from(1, {{1, u"zeta"}, {0, u"alpha"}, {1, u"zeta"}})};
  EXPECT_EQ(test::write_item(record_file::kInsId, second),
            bytes(le().counted(u"zeta").counted(u"alpha")));
  EXPECT_EQ(string_indexes(second), std::vector<uint32_t>({0, 1, 0}));
}

}  // namespace
}  // namespace repcopy
