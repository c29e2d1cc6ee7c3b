// The duplicate check: the content index alone, then the check in front of a recording target
// with a target whose files are held in memory.

#include "copy/duplicate_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "copy/copy_driver.h"
#include "copy/existing_events.h"
#include "model/event_hash.h"
#include "model/target_contents.h"
#include "tests/copy/copy_fakes.h"
#include "tests/test_console.h"
#include "util/text.h"
#include "util/time_text.h"

namespace repcopy {
namespace {

using testing_fakes::make_event;
using testing_fakes::recording_target;

TEST(ExistingEvents, CountsMultiplicitiesAcrossMerges) {
  event_hasher hasher;
  existing_events index;
  const event_hash a = hasher(make_event(7, u"DC01", u"Security"));
  const event_hash b = hasher(make_event(99, u"DC01", u"Security"));
  index.add(a);
  index.add(b);
  EXPECT_TRUE(index.take(a));
  index.add(a);  // another file holding it, read later
  index.add(a);
  EXPECT_EQ(index.distinct(), 2u);
  EXPECT_TRUE(index.take(a));
  index.add(a);  // merged while one is still held: two now
  EXPECT_TRUE(index.take(a));
  EXPECT_TRUE(index.take(a));
  EXPECT_FALSE(index.take(a));
  EXPECT_TRUE(index.take(b));
  EXPECT_FALSE(index.take(b));
}

// A batch taken in one pass takes what one look-up per event would, in indexes small and large:
// hashes held once and twice, held but asked for more often than held, and not held, with runs
// of equal hashes and gaps of every length between them.
TEST(ExistingEvents, TakingABatchInOnePassTakesWhatOneLookUpPerEventTakes) {
  for (const size_t size : {size_t(0), size_t(1), size_t(9), size_t(1000), size_t(50000)}) {
    std::mt19937_64 random(size);
    std::vector<event_hash> held;
    for (size_t i = 0; i < size; ++i) held.push_back({random() % (4 * size + 1), random() % 3});
    std::vector<std::pair<event_hash, uint32_t>> batch;
    for (size_t i = 0; i < size + 50; ++i) {
      const event_hash asked = i < size && i % 3 != 0 ? held[random() % size]
                                                      : event_hash{random() % (4 * size + 9), 1};
      batch.emplace_back(asked, uint32_t(i));
    }
    existing_events one_pass;
    existing_events one_by_one;
    for (const event_hash& h : held) {
      one_pass.add(h);
      one_by_one.add(h);
    }
    std::sort(batch.begin(), batch.end());
    std::vector<uint32_t> expected;
    for (const auto& [hash, position] : batch)
      if (one_by_one.take(hash)) expected.push_back(position);
    EXPECT_EQ(one_pass.take_all(batch), expected) << size;
    // What is left is the same too.
    for (const event_hash& h : held) EXPECT_EQ(one_pass.take(h), one_by_one.take(h)) << size;
  }
}

// A name as the target writes it, with the times of the first and last event.
std::u16string file_name(uint32_t first, uint32_t last, char fill) {
  return widen_ascii("S" + time14_text(last) + time14_text(first) + time14_text(last) +
                     std::string(64, fill) + ".rep");
}

// The target's files of every group in memory; reads are recorded.
class memory_contents : public TargetContents {
 public:
  struct file {
    target_file where;
    std::vector<full_event> events;
    bool damaged = false;
  };
  std::vector<file> files;
  std::vector<std::u16string> reads;
  int holds = 0;
  std::mutex lock;  // writer threads call in at once

  void add(const std::u16string& name, std::vector<full_event> events, bool damaged = false) {
    files.push_back({{"/t/" + to_utf8(name), name}, std::move(events), damaged});
  }
  void list_files(const storage_item& item, std::vector<target_file>& out) override {
    std::lock_guard<std::mutex> guard(lock);
    out.clear();
    for (const file& f : files) {
      if (!f.events.empty() && (f.events[0].host_computer != item.computer_name ||
                                f.events[0].under_data_source != item.ds_name)) {
        continue;
      }
      out.push_back(f.where);
    }
  }
  bool read_events(const target_file& which,
                   const std::function<void(const full_event&)>& each) override {
    std::lock_guard<std::mutex> guard(lock);
    reads.push_back(which.name);
    for (const file& f : files) {
      if (f.where.path != which.path) continue;
      for (const full_event& e : f.events) each(e);
      return !f.damaged;
    }
    return false;
  }
  std::unique_ptr<group_hold> hold_group(const storage_item&) override {
    std::lock_guard<std::mutex> guard(lock);
    ++holds;
    return std::make_unique<group_hold>();
  }
};

full_event timed(uint32_t key, uint32_t time, std::u16string ds = u"Security") {
  full_event e = make_event(key, u"DC01", std::move(ds));
  e.event_time = time;
  return e;
}

struct check_run {
  recording_target target;
  memory_contents contents;
  copy_outcome outcome;

  void run(const std::vector<full_event>& source_events, int32_t batch_events = 1000) {
    duplicate_check_target checked(test_console(), target, contents, outcome);
    worker_pool pool(test_console(), 1);
    event_storage storage(batch_events);
    testing_fakes::fn_source source(uint32_t(source_events.size()),
                                    [&](uint32_t i) { return source_events[i]; });
    ASSERT_EQ(run_copy_driver(test_console(), pool, storage, {&source}, checked, outcome), 0);
  }
};

constexpr uint32_t kDay = 86400;
constexpr uint32_t kT0 = 1700000000;

TEST(DuplicateCheck, WritesMaxOfZeroAndSourceCountLessTargetCount) {
  check_run r;
  // Key 1 held twice, key 2 once, key 3 not at all.
  r.contents.add(file_name(kT0, kT0 + 10, 'a'), {timed(1, kT0), timed(2, kT0 + 10)});
  r.contents.add(file_name(kT0, kT0, 'b'), {timed(1, kT0)});
  // The source: key 1 three times, key 2 once, key 3 twice.
  r.run({timed(1, kT0), timed(1, kT0), timed(1, kT0), timed(2, kT0 + 10), timed(3, kT0 + 5),
         timed(3, kT0 + 5)});
  const std::map<uint32_t, int> expected{{1, 1}, {3, 2}};
  EXPECT_EQ(r.target.key_counts(), expected);
  EXPECT_EQ(r.outcome.already_in_target(), 3u);
  EXPECT_EQ(r.outcome.written_events(), 3u);
  EXPECT_TRUE(r.outcome.complete());
}

TEST(DuplicateCheck, ReadsOnlyFilesWhoseTimesOverlapTheBatches) {
  check_run r;
  r.contents.add(file_name(kT0 - 10 * kDay, kT0 - 9 * kDay, 'a'), {timed(1, kT0 - 10 * kDay)});
  r.contents.add(file_name(kT0 - kDay, kT0, 'b'), {timed(2, kT0)});
  r.contents.add(file_name(kT0 + 5 * kDay, kT0 + 6 * kDay, 'c'), {timed(3, kT0 + 5 * kDay)});
  r.run({timed(2, kT0), timed(4, kT0 + kDay)});
  EXPECT_EQ(r.contents.reads, std::vector<std::u16string>{file_name(kT0 - kDay, kT0, 'b')});
  EXPECT_EQ(r.target.key_counts(), (std::map<uint32_t, int>{{4, 1}}));
}

TEST(DuplicateCheck, NothingLeftToWriteWritesNoFile) {
  check_run r;
  r.contents.add(file_name(kT0, kT0 + 1, 'a'), {timed(1, kT0), timed(2, kT0 + 1)});
  r.run({timed(2, kT0 + 1), timed(1, kT0)});
  EXPECT_TRUE(r.target.batches().empty());
  EXPECT_EQ(r.outcome.written_batches(), 0u);
  EXPECT_EQ(r.outcome.already_in_target(), 2u);
}

TEST(DuplicateCheck, FilesThisRunWritesAreNotRead) {
  // Batches of one event: the first batch's file overlaps the second batch, which holds the same
  // event again (a duplicate inside the source): both are written.
  check_run r;
  duplicate_check_target* checked = nullptr;
  r.target.hook = [&](const storage_item& item) {
    const std::u16string name = file_name(kT0, kT0, char('a' + r.contents.files.size()));
    checked->file_named(item, "/t/" + to_utf8(name));
    std::vector<full_event> events;
    for (const stored_event& e : item.events) events.push_back(e.to_full_event());
    r.contents.add(name, std::move(events));
  };
  duplicate_check_target check(test_console(), r.target, r.contents, r.outcome);
  checked = &check;
  worker_pool pool(test_console(), 1);
  event_storage storage(1);
  std::vector<full_event> events{timed(1, kT0), timed(1, kT0)};
  testing_fakes::fn_source source(2, [&](uint32_t i) { return events[i]; });
  ASSERT_EQ(run_copy_driver(test_console(), pool, storage, {&source}, check, r.outcome), 0);
  EXPECT_EQ(r.target.key_counts(), (std::map<uint32_t, int>{{1, 2}}));
  EXPECT_TRUE(r.contents.reads.empty());
  EXPECT_EQ(r.outcome.already_in_target(), 0u);
}

TEST(DuplicateCheck, ADamagedTargetFileCountsAsHoldingNothingAndIsReported) {
  check_run r;
  r.contents.add(file_name(kT0, kT0, 'a'), {timed(1, kT0)}, true);
  testing::internal::CaptureStderr();
  r.run({timed(1, kT0)});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Damaged target file, taken as holding no events: /t/S"), std::string::npos)
      << err;
  EXPECT_EQ(r.target.key_counts(), (std::map<uint32_t, int>{{1, 1}}));
  EXPECT_EQ(r.outcome.damaged_target_files(), 1u);
  EXPECT_FALSE(r.outcome.complete());
}

// Two writers: the group's last batch (taken after the reading) is checked and written while an
// earlier batch of the group still waits in the other writer's hands. The index must outlive the
// last batch until the earlier one is through: an index read again from the files would count
// the held event a second time and leave out the source's second copy of it.
TEST(DuplicateCheck, TheIndexOutlivesTheLastBatchUntilEveryBatchOfTheGroupIsThrough) {
  check_run r;
  r.contents.add(file_name(kT0, kT0, 'a'), {timed(1, kT0)});  // the target holds key 1 once
  duplicate_check_target checked(test_console(), r.target, r.contents, r.outcome);
  auto batch = [](uint32_t group_batches) {
    storage_item item;
    item.computer_name = u"DC01";
    item.ds_name = u"Security";
    item.events.push_back(timed(1, kT0));  // the source holds key 1 twice, once in each batch
    item.group_batches = group_batches;
    return item;
  };
  uint64_t events = 0;
  checked.write_batch(batch(2), events);  // the last of two batches, written first
  EXPECT_EQ(events, 0u);
  EXPECT_GT(checked.index_bytes(), 0u);  // the earlier batch is still to come
  checked.write_batch(batch(0), events);
  EXPECT_EQ(events, 1u);
  EXPECT_EQ(r.target.key_counts(), (std::map<uint32_t, int>{{1, 1}}));  // max(0, 2 - 1)
  EXPECT_EQ(r.contents.reads.size(), 1u);
  EXPECT_EQ(checked.index_bytes(), 0u);  // every batch through: given back
}

// Four writer threads on batches of five groups, two batches of one group often in hand at
// once: every group's events the target holds once are left out exactly once.
TEST(DuplicateCheck, ManyWritersOnManyGroupsLeaveOutExactlyWhatIsHeld) {
  recording_target target;
  memory_contents contents;
  copy_outcome outcome;
  const std::u16string sources[] = {u"A", u"B", u"C", u"D", u"E"};
  std::vector<full_event> events;
  for (uint32_t key = 0; key < 2000; ++key) events.push_back(timed(key, kT0 + key, sources[key % 5]));
  for (const std::u16string& ds : sources) {
    std::vector<full_event> held;
    for (const full_event& e : events) {
      if (e.under_data_source == ds && e.record_key % 2 == 0) held.push_back(e);
    }
    contents.add(file_name(kT0, kT0 + 2000, char('a' + (ds[0] - u'A'))), std::move(held));
  }
  duplicate_check_target checked(test_console(), target, contents, outcome);
  worker_pool pool(test_console(), 4);
  event_storage storage(7);  // 400 events a group: its last batch is taken after the reading
  testing_fakes::fn_source source(uint32_t(events.size()), [&](uint32_t i) { return events[i]; });
  ASSERT_EQ(run_copy_driver(test_console(), pool, storage, {&source}, checked, outcome), 0);
  std::map<uint32_t, int> expected;
  for (uint32_t key = 1; key < 2000; key += 2) expected[key] = 1;
  EXPECT_EQ(target.key_counts(), expected);
  EXPECT_EQ(outcome.already_in_target(), 1000u);
  EXPECT_EQ(contents.reads.size(), 5u);  // each file once
  EXPECT_EQ(checked.index_bytes(), 0u);  // every group's index given back after its last batch
  EXPECT_GT(checked.peak_index_bytes(), 0u);
}

}  // namespace
}  // namespace repcopy
