#include "copy/event_storage.h"

#include <gtest/gtest.h>

#include <sstream>

#include "copy_fakes.h"

namespace repcopy {
namespace {

using testing_fakes::make_event;

// Adds one event and expects a result.
void add_expect(event_storage& storage, const full_event& e, int32_t expected) {
  storage_item item;
  ASSERT_EQ(storage.add(e, item), expected) << "event " << e.record_key;
}

TEST(EventStorage, BatchLeavesAtExactly64000Events) {
  event_storage storage;  // the real limits
  storage_item item;
  full_event e = make_event(0, u"SRV01", u"Security");
  for (uint32_t i = 0; i < 63999; ++i) {
    e.record_key = i;
    ASSERT_EQ(storage.add(e, item), kStorageAdded) << i;
  }
  EXPECT_EQ(item.p_ds, nullptr);  // 0 leaves the item alone
  e.record_key = 63999;
  ASSERT_EQ(storage.add(e, item), kBatchEventsFull);
  ASSERT_EQ(storage.take_named(item), 0);
  EXPECT_EQ(item.batch_count, 64000u);
  ASSERT_EQ(item.events.size(), 64000u);
  EXPECT_EQ(item.events.front().record_key, 0u);
  EXPECT_EQ(item.events.back().record_key, 63999u);
  EXPECT_EQ(item.ds_total, 64000u);
  EXPECT_EQ(storage.pending(), 0u);
  EXPECT_EQ(storage.take_named(item), kNoBatch);
  // The next event starts a fresh batch.
  EXPECT_EQ(storage.add(e, item), kStorageAdded);
  EXPECT_EQ(storage.pending(), 1u);
}

TEST(EventStorage, EventThatWouldPassTheByteLimitOpensTheNextBatch) {
  event_storage storage(100, 1000, 1000);
  storage_item item;
  for (uint32_t i = 0; i < 3; ++i)
    ASSERT_EQ(storage.add(make_event(i, u"SRV01", u"App", u"CORP", 300), item), kStorageAdded);
  const full_event fourth = make_event(3, u"SRV01", u"App", u"CORP", 300);
  ASSERT_EQ(storage.add(fourth, item), kBatchBytesFull);
  EXPECT_EQ(storage.pending(), 3u);  // not stored
  ASSERT_NE(item.p_ds, nullptr);
  EXPECT_EQ(item.p_ds->batch_bytes, 900u);

  ASSERT_EQ(storage.take_named(item), 0);
  EXPECT_EQ(item.events.size(), 3u);
  ASSERT_EQ(storage.add(fourth, item), kStorageAdded);
  const ds_entry& ds = storage.domains().at(u"CORP").computers.at(u"SRV01").data_sources.at(u"App");
  EXPECT_EQ(ds.batch_count, 1u);
  EXPECT_EQ(ds.batch_bytes, 300u);
  EXPECT_EQ(ds.ds_full_events.front().record_key, 3u);
  EXPECT_EQ(ds.total, 4u);
}

TEST(EventStorage, ByteLimitIsInclusiveAndAnOversizedEventNeverFits) {
  event_storage storage(100, 1000, 1000);
  storage_item item;
  EXPECT_EQ(storage.add(make_event(0, u"A", u"App", u"D", 600), item), kStorageAdded);
  EXPECT_EQ(storage.add(make_event(1, u"A", u"App", u"D", 400), item), kStorageAdded);  // = limit
  EXPECT_EQ(storage.add(make_event(2, u"A", u"App", u"D", 1), item), kBatchBytesFull);
  ASSERT_EQ(storage.take_named(item), 0);
  const full_event huge = make_event(3, u"A", u"App", u"D", 1001);
  EXPECT_EQ(storage.add(huge, item), kBatchBytesFull);
  EXPECT_EQ(storage.take_named(item), kNoBatch);
  EXPECT_EQ(storage.add(huge, item), kBatchBytesFull);
  EXPECT_EQ(storage.pending(), 0u);
}

TEST(EventStorage, PendingLimitReportsAndLargestBatchLeaves) {
  event_storage storage(100, 1000000, 10);
  const struct {
    const char16_t* ds;
    int count;
  } plan[] = {{u"A", 3}, {u"B", 4}, {u"C", 2}};
  uint32_t key = 0;
  for (const auto& p : plan)
    for (int i = 0; i < p.count; ++i)
      add_expect(storage, make_event(key++, u"H", p.ds), kStorageAdded);
  add_expect(storage, make_event(key++, u"H", u"C"), kPendingFull);  // the 10th
  storage_item item;
  ASSERT_EQ(storage.take_largest(item), 0);
  EXPECT_EQ(item.ds_name, u"B");
  EXPECT_EQ(item.events.size(), 4u);
  EXPECT_EQ(storage.pending(), 6u);
}

// Keys are ordered by UTF-16 code units: upper case before lower case, a prefix before its
// extensions, and a surrogate pair (0xD83D...) before a code unit such as 0xFF21 although its code
// point is larger.
TEST(EventStorage, LargestAmongEqualsIsFirstInCodeUnitOrder) {
  const std::vector<std::vector<std::u16string>> cases = {
      // {domain, computer, data source} of two data sources with equal batches; the first wins.
      {u"A", u"X", u"s", u"B", u"A", u"a"},     {u"Z", u"X", u"s", u"a", u"Y", u"s"},
      {u"D", u"AB", u"s", u"D", u"ABC", u"s"},  {u"D", u"H", u"\U0001F600", u"D", u"H", u"\uFF21"},
      {u"D", u"H", u"App", u"D", u"H", u"app"},
  };
  for (const auto& c : cases) {
    event_storage storage(100, 1000000, 1000);
    // Add the later one first, so insertion order cannot explain the result.
    for (uint32_t i = 0; i < 3; ++i) add_expect(storage, make_event(i, c[4], c[5], c[3]), 0);
    for (uint32_t i = 0; i < 3; ++i) add_expect(storage, make_event(i, c[1], c[2], c[0]), 0);
    storage_item item;
    ASSERT_EQ(storage.take_largest(item), 0);
    EXPECT_EQ(item.domain_name, c[0]);
    EXPECT_EQ(item.computer_name, c[1]);
    EXPECT_EQ(item.ds_name, c[2]);
  }
}

TEST(EventStorage, TakingFromAnEmptyStorageGivesNoBatch) {
  event_storage storage;
  storage_item item;
  EXPECT_EQ(storage.take_largest(item), kNoBatch);
  EXPECT_EQ(storage.take_named(item), kNoBatch);
  item.ds_name = u"unchanged";
  add_expect(storage, make_event(0, u"H", u"S"), 0);
  storage_item taken;
  ASSERT_EQ(storage.take_largest(taken), 0);
  EXPECT_EQ(storage.take_largest(item), kNoBatch);  // every batch empty again
  EXPECT_EQ(item.ds_name, u"unchanged");
}

// However a batch leaves, it carries the entry names ("Unknown" for an event without a domain,
// the upper-cased key) and the details of the computer entry, not those of the last event.
TEST(EventStorage, ItemsCarryEntryNamesWhicheverWayTheyAreTaken) {
  event_storage storage(2, 100, 1000);
  auto event = [](uint32_t key, size_t bytes, uint32_t platform) {
    full_event e = make_event(key, u"srv01", u"Sys", u"", bytes, u"srv01.corp.local");
    e.platform_id = platform;
    e.os_major = 6;
    e.os_minor = platform == 500 ? 1 : 9;
    e.computer_type = platform == 500 ? 2 : 7;
    return e;
  };
  auto expect_entry_names = [](const storage_item& item, const char* how) {
    EXPECT_EQ(item.domain_name, u"Unknown") << how;
    EXPECT_EQ(item.computer_name, u"SRV01") << how;
    EXPECT_EQ(item.platform_id, 500u) << how;
    EXPECT_EQ(item.os_major, 6u) << how;
    EXPECT_EQ(item.os_minor, 1u) << how;
    EXPECT_EQ(item.computer_type, 2u) << how;
    EXPECT_EQ(item.ds_name, u"Sys") << how;
    ASSERT_NE(item.domain, nullptr) << how;
    EXPECT_EQ(item.domain->name, u"Unknown") << how;
  };

  storage_item by_count;
  ASSERT_EQ(storage.add(event(0, 1, 500), by_count), 0);
  ASSERT_EQ(storage.add(event(1, 1, 630), by_count), kBatchEventsFull);
  ASSERT_EQ(storage.take_named(by_count), 0);
  expect_entry_names(by_count, "by count");

  storage_item by_bytes;
  ASSERT_EQ(storage.add(event(2, 60, 630), by_bytes), 0);
  ASSERT_EQ(storage.add(event(3, 60, 630), by_bytes), kBatchBytesFull);
  ASSERT_EQ(storage.take_named(by_bytes), 0);
  expect_entry_names(by_bytes, "by bytes");

  storage_item largest;
  ASSERT_EQ(storage.add(event(4, 1, 630), largest), 0);
  ASSERT_EQ(storage.take_largest(largest), 0);
  expect_entry_names(largest, "largest");
}

TEST(EventStorage, ComputerStaysUnderTheDomainWhereItWasFirstSeen) {
  event_storage storage;
  add_expect(storage, make_event(0, u"SRV01", u"App", u"A"), 0);
  add_expect(storage, make_event(1, u"SRV01", u"App", u"B"), 0);
  add_expect(storage, make_event(2, u"SRV01", u"Sec", u"B"), 0);
  ASSERT_EQ(storage.domains().size(), 1u);
  const computer_entry& c = storage.domains().at(u"A").computers.at(u"SRV01");
  EXPECT_EQ(c.data_sources.at(u"App").total, 2u);
  EXPECT_EQ(c.data_sources.at(u"Sec").total, 1u);
  storage_item item;
  ASSERT_EQ(storage.take_largest(item), 0);
  EXPECT_EQ(item.domain_name, u"A");
}

TEST(EventStorage, ComputerKeysIgnoreAsciiCase) {
  event_storage storage;
  add_expect(storage, make_event(0, u"srv01", u"App"), 0);
  add_expect(storage, make_event(1, u"SRV01", u"App"), 0);
  add_expect(storage, make_event(2, u"Srv01", u"App"), 0);
  // Only ASCII letters fold: a non-ASCII letter keeps its case and makes another computer.
  add_expect(storage, make_event(3, u"srv\u00e9", u"App"), 0);
  const auto& computers = storage.domains().at(u"CORP").computers;
  ASSERT_EQ(computers.size(), 2u);
  EXPECT_EQ(computers.at(u"SRV01").name, u"SRV01");
  EXPECT_EQ(computers.at(u"SRV01").data_sources.at(u"App").total, 3u);
  EXPECT_EQ(computers.count(u"SRV\u00e9"), 1u);
}

// An event from an unknown repository computer whose own computer name is a known key goes to
// that computer.
TEST(EventStorage, OwnComputerNameFindsAKnownComputer) {
  event_storage storage;
  add_expect(storage, make_event(0, u"OLD", u"App", u"A"), 0);
  add_expect(storage, make_event(1, u"NEW", u"App", u"B", 8, u"OLD"), 0);
  ASSERT_EQ(storage.domains().size(), 1u);
  EXPECT_EQ(storage.domains().at(u"A").computers.at(u"OLD").data_sources.at(u"App").total, 2u);
}

TEST(EventStorage, EventsMoveInAndOutWithoutCopies) {
  event_storage storage;
  storage_item item;
  full_event e = make_event(0, u"H", u"S", u"D", 64);
  const uint8_t* data = e.data.data();
  ASSERT_EQ(storage.add(std::move(e), item), 0);
  ASSERT_EQ(storage.take_largest(item), 0);
  ASSERT_EQ(item.events.size(), 1u);
  EXPECT_EQ(item.events.front().data.data(), data);
}

TEST(EventStorage, RejectedEventIsNotMovedFrom) {
  event_storage storage(10, 10, 10);
  storage_item item;
  full_event e = make_event(7, u"H", u"S", u"D", 11);
  ASSERT_EQ(storage.add(std::move(e), item), kBatchBytesFull);
  EXPECT_EQ(e.data.size(), 11u);
  EXPECT_EQ(e.host_computer, u"H");
}

TEST(EventStorage, SummaryPrintsTheTreeWithCounts) {
  event_storage storage(3, 1000000, 1000);
  storage_item item;
  full_event e = make_event(0, u"srv02", u"System", u"");
  e.os_major = 10;
  add_expect(storage, e, 0);
  for (uint32_t i = 1; i <= 3; ++i) {
    full_event f = make_event(i, u"SRV01", u"Security", u"CORP");
    f.os_major = 6;
    f.os_minor = 1;
    storage.add(f, item);
  }
  add_expect(storage, make_event(4, u"SRV01", u"Application", u"CORP"), 0);
  ASSERT_EQ(storage.take_named(item), 0);  // Security's three events left

  std::ostringstream out;
  storage.print_summary(out);
  EXPECT_EQ(out.str(),
            "Unknown\n"
            "\tCORP\n"
            "\t\tSRV01\n"
            "\t\t\tos ver. 6.1\n"
            "\t\t\tApplication\n"
            "\t\t\t\t1 (1)\n"
            "\n"
            "\t\t\tSecurity\n"
            "\t\t\t\t3 (0)\n"
            "\n"
            "\tUnknown\n"
            "\t\tSRV02\n"
            "\t\t\tos ver. 10.0\n"
            "\t\t\tSystem\n"
            "\t\t\t\t1 (1)\n"
            "\n");
}

TEST(EventStorage, SummaryOfAnEmptyStorageIsItsName) {
  event_storage storage;
  std::ostringstream out;
  storage.print_summary(out);
  EXPECT_EQ(out.str(), "Unknown\n");
  testing::internal::CaptureStdout();
  storage.print_summary();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown\n");
}

}  // namespace
}  // namespace repcopy
