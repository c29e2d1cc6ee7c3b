#include "copy/event_storage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "copy_fakes.h"
#include "tests/test_console.h"

namespace repcopy {
namespace {

using testing_fakes::make_event;

void add_expect(event_storage& storage, const full_event& e, int32_t expected) {
  storage_item item;
  ASSERT_EQ(storage.add(e, item), expected) << "event " << e.record_key;
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
    EXPECT_EQ(item.domain_name + u"/" + item.computer_name + u"/" + item.ds_name,
              c[0] + u"/" + c[1] + u"/" + c[2]);
  }
}

// A computer stays under the domain where it was first seen; keys fold ASCII case only; an event
// whose repository computer is unknown but whose own computer name is a known key goes there.
TEST(EventStorage, ComputerKeys) {
  event_storage storage;
  add_expect(storage, make_event(0, u"srv01", u"App", u"A"), 0);
  add_expect(storage, make_event(1, u"SRV01", u"App", u"B"), 0);
  add_expect(storage, make_event(2, u"Srv01", u"Sec", u"B"), 0);
  add_expect(storage, make_event(3, u"NEW", u"App", u"B", 8, u"SRV01"), 0);
  add_expect(storage, make_event(4, u"srv\u00e9", u"App", u"A"), 0);
  ASSERT_EQ(storage.domains().size(), 1u);
  const auto& computers = storage.domains().at(u"A").computers;
  ASSERT_EQ(computers.size(), 2u);
  EXPECT_EQ(computers.at(u"SRV01").name, u"SRV01");
  EXPECT_EQ(computers.at(u"SRV01").data_sources.at(u"App").total, 3u);
  EXPECT_EQ(computers.at(u"SRV01").data_sources.at(u"Sec").total, 1u);
  EXPECT_EQ(computers.count(u"SRV\u00e9"), 1u);
}

// An event of the part and computer record of the event before goes where that one went: its
// names are not compared (a part's events share them). An event of another part with the same
// computer record number, or of no part, is filed by its names.
TEST(EventStorage, EventsOfOnePartAndComputerRecordGoWhereTheFirstWent) {
  struct read_event {
    uint32_t part;
    uint32_t comp_index;
    const char16_t* host;
    const char16_t* data_source;
  };
  const read_event read[] = {{5, 0, u"SRV01", u"App"}, {5, 0, u"never", u"read"},
                             {6, 0, u"SRV02", u"Sec"}, {6, 1, u"SRV03", u"Sec"},
                             {0, 1, u"SRV04", u"App"}, {0, 1, u"SRV05", u"App"}};
  event_storage storage;
  uint32_t key = 0;
  for (const read_event& r : read) {
    full_event e = make_event(key++, r.host, r.data_source);
    e.source_part.serial = r.part;
    e.comp_index = r.comp_index;
    add_expect(storage, e, 0);
  }
  std::vector<std::u16string> filed;
  for (const auto& [name, computer] : storage.domains().at(u"CORP").computers) {
    for (const auto& [ds_name, ds] : computer.data_sources) {
      filed.push_back(name + u"/" + ds_name + u" " + std::u16string(1, char16_t(u'0' + ds.total)));
    }
  }
  EXPECT_EQ(filed, (std::vector<std::u16string>{u"SRV01/App 2", u"SRV02/Sec 1", u"SRV03/Sec 1",
                                                u"SRV04/App 1", u"SRV05/App 1"}));
}

// The batch keeps its own copy of a stored event, so the caller may reuse its event at once;
// an event refused for its size is not stored.
TEST(EventStorage, AStoredEventIsACopyAndARefusedEventIsNotStored) {
  event_storage storage(10, 64, 10);
  storage_item item;
  full_event e = make_event(0, u"H", u"S", u"D", 64);
  const full_event original = e;
  ASSERT_EQ(storage.add(e, item), 0);
  EXPECT_EQ(e, original);
  e.data.assign(64, 0xEE);  // the caller reuses its event
  e.under_data_source = u"other";
  ASSERT_EQ(storage.add(make_event(1, u"H", u"S", u"D", 1), item), kBatchBytesFull);
  ASSERT_EQ(storage.take_named(item), 0);
  ASSERT_EQ(item.events.size(), 1u);
  EXPECT_EQ(item.events.front().to_full_event(), original);
  EXPECT_EQ(storage.take_largest(item), kNoBatch);
  EXPECT_EQ(storage.take_named(item), kNoBatch);
}

// A batch lists the source files of its events, each run of one file once; an event that names
// no file comes from the file of the last one that did, whatever batch that one went to. A
// refused event keeps its file.
TEST(EventStorage, ABatchListsTheSourceFilesOfItsEvents) {
  const auto a = std::make_shared<const std::string>("/src/a.rep");
  const auto b = std::make_shared<const std::string>("/src/b.rep");
  event_storage storage(10, 64, 10);
  storage_item item;
  auto add = [&](const std::shared_ptr<const std::string>& file, const char16_t* ds,
                 size_t data_bytes = 8) {
    full_event e = make_event(0, u"H", ds, u"D", data_bytes);
    e.source_file.path = file;
    stored_event stored(e, file != nullptr);
    const int32_t result = storage.add(stored, item);
    if (result == kBatchBytesFull) EXPECT_EQ(stored.source_file.path, file);
    return result;
  };
  ASSERT_EQ(add(a, u"S"), kStorageAdded);
  ASSERT_EQ(add(nullptr, u"S"), kStorageAdded);  // from a
  ASSERT_EQ(add(b, u"T"), kStorageAdded);
  ASSERT_EQ(add(nullptr, u"S"), kStorageAdded);  // from b
  ASSERT_EQ(add(a, u"S"), kStorageAdded);
  ASSERT_EQ(add(nullptr, u"S"), kStorageAdded);  // from a, the same run
  ASSERT_EQ(add(b, u"S", 64), kBatchBytesFull);
  using files = std::vector<std::shared_ptr<const std::string>>;
  ASSERT_EQ(storage.take_named(item), 0);
  EXPECT_EQ(item.events.size(), 5u);
  EXPECT_EQ(item.source_files, (files{a, b, a}));
  for (const stored_event& e : item.events) EXPECT_EQ(e.source_file.path, nullptr);
  ASSERT_EQ(storage.take_largest(item), 0);
  EXPECT_EQ(item.ds_name, u"T");
  EXPECT_EQ(item.source_files, (files{b}));
  // Offered again once its batch has left, as the copy does, the refused event is stored, and
  // one after it that names no file comes from b too.
  ASSERT_EQ(add(b, u"S", 64), kStorageAdded);
  ASSERT_EQ(add(nullptr, u"S", 0), kStorageAdded);
  ASSERT_EQ(storage.take_largest(item), 0);
  EXPECT_EQ(item.events.size(), 2u);
  EXPECT_EQ(item.source_files, (files{b}));
}

// The run's count limits as they are: a batch may hold exactly 25 000 000 bytes of event data,
// and the 500 000th pending event (across all data sources) asks for a batch to leave. The memory
// bounds are lifted here so that the counts alone decide.
TEST(EventStorage, RunLimitsOfBytesAndPendingEvents) {
  auto run_limits = [] {
    return std::make_unique<event_storage>(kBatchEventLimit, kBatchByteLimit, kPendingLimit,
                                           UINT64_MAX, UINT64_MAX);
  };
  {
    auto owned = run_limits();
    event_storage& storage = *owned;
    add_expect(storage, make_event(0, u"H", u"S", u"D", 12500000), kStorageAdded);
    add_expect(storage, make_event(1, u"H", u"S", u"D", 12500000), kStorageAdded);
    add_expect(storage, make_event(2, u"H", u"S", u"D", 1), kBatchBytesFull);
    add_expect(storage, make_event(3, u"H", u"S", u"E", 25000001), kBatchBytesFull);
  }
  auto owned = run_limits();
  event_storage& storage = *owned;
  const int32_t sources = 10;  // 50 000 events each: no batch reaches its 64 000
  for (int32_t i = 0; i < kPendingLimit - 1; ++i) {
    storage_item item;
    const std::u16string ds(1, char16_t(u'a' + i % sources));
    ASSERT_EQ(storage.add(make_event(uint32_t(i), u"H", ds, u"D", 0), item), kStorageAdded) << i;
  }
  add_expect(storage, make_event(0, u"H", u"a", u"D", 0), kPendingFull);
}

TEST(EventStorage, SummaryPrintsTheTreeWithCounts) {
  event_storage storage(3, 1000000, 1000);
  std::ostringstream empty;
  stream_sink to_text(empty, empty);
  storage.print_summary(to_text);
  EXPECT_EQ(empty.str(), "Unknown\n");

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
  testing::internal::CaptureStdout();
  storage.print_summary(test_console());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
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

}  // namespace
}  // namespace repcopy
