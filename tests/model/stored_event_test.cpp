#include "model/stored_event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/storage_item.h"
#include "tests/model/every_field.h"

namespace repcopy {
namespace {

using test::every_field;

full_event odd_strings() {
  full_event e;
  e.strings = {{1, u"", 0, 0}, {2, u"", 0, 0}};
  e.description = std::u16string(u"a\0b", 3);  // a NUL inside a text stays
  e.named_fields = {{u"", u"", 0, 0, 0, 0}};
  return e;
}

full_event single_characters() {  // odd lengths: every text starts on a char16_t boundary
  full_event e;
  e.data = {1};
  e.computer = u"A";
  e.strings = {{1, u"b", 0, 0}};
  e.user_binary = {2, 3};  // with data, an odd number of bytes before the texts
  e.src_name = u"c";
  return e;
}

struct stored_case {
  const char* name;
  full_event (*make)();
};

const stored_case kStoredCases[] = {
    {"every field set", every_field},
    {"nothing set", [] { return full_event{}; }},
    {"empty texts and a NUL", odd_strings},
    {"odd lengths", single_characters},
};

// The stored copy has the event's content, in its own memory: the event it came from is gone
// before the copy is read, and moving the copy keeps its texts and tables valid.
TEST(StoredEvent, HoldsTheSameContentInItsOwnBlock) {
  for (const stored_case& c : kStoredCases) {
    SCOPED_TRACE(c.name);
    const full_event expected = c.make();
    std::deque<stored_event> kept;
    {
      auto source = std::make_unique<full_event>(c.make());
      stored_event stored(*source);
      source.reset();
      kept.push_back(std::move(stored));
      EXPECT_FALSE(stored.holds_block());  // the reader replaces a moved-from event without a swap
    }
    kept.emplace_front();  // moves nothing, but the stored event is no longer the first
    EXPECT_EQ(kept.back().to_full_event(), expected);
    // The memory bounds count the record and its block, each with the allocator's overhead; the
    // block holds the tables, the byte runs and the texts, the texts on a char16_t boundary, and
    // its rows count 32 bytes an insertion string and 48 a named field, whatever their size now.
    // Batches are cut by this count, so it must not move by a byte.
    uint64_t tables = 0, runs = expected.data.size() + expected.user_binary.size(), units = 0;
    for (const std::u16string* t :
         {&expected.host_computer, &expected.under_data_source, &expected.computer,
          &expected.user_string1, &expected.user_string2, &expected.src_name,
          &expected.category_name, &expected.domain, &expected.description})
      units += t->size();
    for (const insertion_string& s : expected.strings) {
      tables += 32;
      units += s.text.size();
    }
    for (const named_field& f : expected.named_fields) {
      tables += 48;
      units += f.name.size() + f.value.size();
    }
    const uint64_t block = units == 0 ? tables + runs : ((tables + runs + 1) & ~1ull) + 2 * units;
    EXPECT_EQ(kept.back().bytes(),
              sizeof(stored_event) + 16 + (block == 0 ? 0 : block + 16));
    EXPECT_EQ(kept.back().holds_block(), block != 0);
  }
}

// The writers set record numbers through the tables; they stay with the event.
TEST(StoredEvent, RecordNumbersSetByWritersStay) {
  event_batch batch{every_field(), full_event{}};
  batch[0].strings[2].cache_index = 77;
  batch[0].named_fields[1].value_index = 88;
  batch[0].desc_index = 99;
  event_batch moved = std::move(batch);
  const full_event e = moved[0].to_full_event();
  EXPECT_EQ(e.strings[2].cache_index, 77u);
  EXPECT_EQ(e.strings[2].text, std::u16string(300, u'q'));
  EXPECT_EQ(e.named_fields[1].value_index, 88u);
  EXPECT_EQ(e.desc_index, 99u);
  EXPECT_EQ(moved[1].to_full_event(), full_event{});
}

// A batch keeps its events in chunks: around and across their edges every event is where it was
// stored, walks see them in that order, and a batch moved from or cleared is empty and takes
// events again from the first place.
TEST(EventBatch, EventsStayInOrderAcrossChunks) {
  constexpr size_t kChunk = event_batch::kChunkEvents;
  for (const size_t size : {size_t(0), size_t(1), kChunk - 1, kChunk, kChunk + 1, 2 * kChunk,
                            2 * kChunk + 1, 5 * kChunk + 7}) {
    event_batch batch;
    for (size_t i = 0; i < size; ++i) {
      full_event e;
      e.record_key = uint32_t(i);
      e.description = std::u16string(i % 3, u'd');
      if (i % 2 == 0) {
        batch.push_back(e);
      } else {
        batch.push_back(stored_event(e));
      }
    }
    ASSERT_EQ(batch.size(), size);
    EXPECT_EQ(batch.empty(), size == 0);
    std::vector<uint32_t> walked;
    for (const stored_event& e : std::as_const(batch)) walked.push_back(e.record_key);
    std::vector<uint32_t> expected(size);
    for (size_t i = 0; i < size; ++i) expected[i] = uint32_t(i);
    EXPECT_EQ(walked, expected) << size;
    for (size_t i = 0; i < size; ++i) {
      ASSERT_EQ(batch[i].record_key, i) << size;
      ASSERT_EQ(batch[i].description, std::u16string(i % 3, u'd')) << size << " at " << i;
    }
    if (size == 0) continue;
    EXPECT_EQ(batch.front().record_key, 0u);
    EXPECT_EQ(batch.back().record_key, size - 1);

    event_batch moved(std::move(batch));
    EXPECT_EQ(moved.size(), size);
    EXPECT_TRUE(batch.empty());  // NOLINT(bugprone-use-after-move): a moved batch is empty
    EXPECT_EQ(batch.begin(), batch.end());
    event_batch assigned;
    assigned.push_back(full_event{});
    assigned = std::move(moved);
    EXPECT_EQ(assigned.size(), size);
    EXPECT_EQ(assigned.back().record_key, size - 1);
    EXPECT_TRUE(moved.empty());  // NOLINT(bugprone-use-after-move)
    event_batch swapped;
    swapped.swap(assigned);
    EXPECT_EQ(swapped.size(), size);
    EXPECT_TRUE(assigned.empty());

    swapped.clear();
    EXPECT_TRUE(swapped.empty());
    full_event again;
    again.record_key = 9;
    swapped.push_back(again);
    ASSERT_EQ(swapped.size(), 1u);
    EXPECT_EQ(swapped[0].record_key, 9u);
    EXPECT_EQ(swapped.front().record_key, 9u);
  }
  event_batch empty_events(kChunk + 3);  // n events with nothing in them
  EXPECT_EQ(empty_events.size(), kChunk + 3);
  for (const stored_event& e : empty_events) EXPECT_EQ(e.to_full_event(), full_event{});
}


// A batch sorted by time has the order std::sort over its events gives, equal times included:
// the files written before it existed have that order, and a copy run again must match them.
TEST(EventBatch, SortsByTimeInTheOrderASortOfTheEventsGives) {
  std::mt19937 random(7);
  // Times at random, or already in order (a sort must still give ties the order std::sort
  // gives them); 0 distinct times stands for times that all differ, in order.
  for (const size_t size : {0u, 1u, 2u, 16u, 17u, 100u, 5000u}) {
    for (const uint32_t distinct_times : {0u, 1u, 3u, 50u, 100000u}) {
      for (const bool in_order : {false, true}) {
        std::vector<uint32_t> times(size);
        for (size_t i = 0; i < size; ++i) {
          times[i] = distinct_times == 0 ? uint32_t(1000 + i) : 1000 + random() % distinct_times;
        }
        if (in_order) std::sort(times.begin(), times.end());
        event_batch sorted;
        std::vector<full_event> expected;
        for (size_t i = 0; i < size; ++i) {
          full_event e;
          e.record_key = uint32_t(i);
          e.event_time = times[i];
          e.description = u"text " + std::u16string(i % 5, u'x');
          sorted.push_back(e);
          expected.push_back(e);
        }
        sorted.sort_by_event_time();
        std::sort(expected.begin(), expected.end(), [](const full_event& a, const full_event& b) {
          return a.event_time < b.event_time;
        });
        ASSERT_EQ(sorted.size(), size);
        for (size_t i = 0; i < size; ++i) {
          ASSERT_EQ(sorted[i].record_key, expected[i].record_key) << size << " events, at " << i;
          ASSERT_EQ(sorted[i].to_full_event(), expected[i]);
        }
      }
    }
  }
}

}  // namespace
}  // namespace repcopy
