// repdump diff over repositories built byte by byte: each kind of difference is found and named,
// and the layout of files and parts does not matter.
#include "inspect/diff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/container/rep_file_bytes.h"
#include "util/text.h"

namespace repcopy::test {
namespace {

namespace fs = std::filesystem;

bytes file_of(const std::vector<test_part>& parts, const std::u16string& computer = u"WS01") {
  rep_file_builder b;
  b.windows(computer);
  for (const test_part& p : parts) b.part(p);
  return b.build();
}

// sample_part with only the events (and their record keys) listed, each at its own time: the
// stored deltas are recomputed from the running sums of the whole part.
test_part only_events(std::initializer_list<size_t> which) {
  test_part all = sample_part(), p = sample_part();
  std::vector<uint32_t> stored, times;
  uint32_t s = 0, t = 0;
  for (const ev& e : all.events) {
    stored.push_back(s += e.stored_delta);
    times.push_back(t += e.event_delta);
  }
  p.events.clear();
  p.keys.clear();
  uint32_t previous_stored = 0, previous_time = 0;
  for (size_t i : which) {
    ev e = all.events[i];
    e.stored_delta = stored[i] - previous_stored;
    e.event_delta = times[i] - previous_time;
    previous_stored = stored[i];
    previous_time = times[i];
    p.events.push_back(e);
    p.keys.push_back(all.keys[i]);
  }
  return p;
}

class DiffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("repdump_diff_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    put("source", "a.rep", file_of({sample_part()}));
  }
  void TearDown() override { fs::remove_all(dir_); }

  void put(const std::string& root, const std::string& name, const bytes& file) {
    const fs::path d = dir_ / root / "Environment$" / "D";
    fs::create_directories(d);
    std::ofstream(d / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  }
  std::string path_of(const std::string& root, const std::string& name) const {
    return (dir_ / root / "Environment$" / "D" / name).string();
  }
  int diff(std::string& out, diff_counts& counts, const diff_options& options = {}) {
    std::u16string src, dst;
    from_utf8((dir_ / "source").string(), src);
    from_utf8((dir_ / "target").string(), dst);
    std::ostringstream o;
    const int rc = run_diff(src, dst, options, o, &counts);
    out = o.str();
    return rc;
  }

  fs::path dir_;
};

TEST_F(DiffTest, SameEventsInOtherFilesAndPartsAreEqual) {
  test_part first = only_events({2}), second = only_events({0, 1});
  second.index = 1;
  put("target", "x.rep", file_of({first, second}));
  std::string out;
  diff_counts counts;
  EXPECT_EQ(diff(out, counts), 0) << out;
  EXPECT_EQ(out,
            "diff: source 3 event(s), target 3 event(s); missing 0, extra 0, changed 0, "
            "duplicated 0: equal\n");
}

TEST_F(DiffTest, EachDifferenceIsCountedAndNamed) {
  struct diff_case {
    const char* name;
    std::vector<std::pair<std::string, bytes>> target;
    diff_counts expected;
    std::string line;  // the first difference line
  };
  test_part changed = sample_part();
  changed.ins[1] = u"mallory";  // the second insertion string of event 0
  test_part extra = sample_part();
  extra.events.push_back(ev{.comp = 1, .stored_delta = 5, .event_delta = 5});
  extra.keys.push_back(99);
  test_part doubled = sample_part();
  doubled.events.push_back(ev{.comp = 0});  // event 2 again: same time, same key
  doubled.keys.push_back(13);
  const std::string b = "b.rep";
  const diff_case cases[] = {
      {"missing event",
       {{b, file_of({only_events({0, 1})})}},
       {3, 2, 1, 0, 0, 0},
       "missing: " + path_of("source", "a.rep") +
           " record key 13 (1970-01-01 00:19:10 UTC) is "
           "not in the target"},
      {"extra event",
       {{b, file_of({extra})}},
       {3, 4, 0, 1, 0, 0},
       "extra: " + path_of("target", b) +
           " record key 99 (1970-01-01 00:02:35 UTC) is not in "
           "the source"},
      {"changed insertion string",
       {{b, file_of({changed})}},
       {3, 3, 0, 0, 1, 0},
       "changed: " + path_of("source", "a.rep") +
           " record key 11 (1970-01-01 00:18:20 UTC) "
           "differs in the target (" +
           path_of("target", b) + "): strings"},
      {"duplicated event",
       {{b, file_of({doubled})}},
       {3, 4, 0, 0, 0, 1},
       "duplicated: " + path_of("target", b) +
           " record key 13 (1970-01-01 00:19:10 UTC) is 2 "
           "time(s) in the target, 1 in the source"},
      {"event of another computer",
       {{b, file_of({only_events({0, 1})})}, {"c.rep", file_of({only_events({2})}, u"WS02")}},
       {3, 3, 1, 1, 0, 0},
       "missing: "},
  };
  for (const diff_case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_ / "target");
    for (const auto& [name, file] : c.target) put("target", name, file);
    std::string out;
    diff_counts counts;
    EXPECT_EQ(diff(out, counts), 1) << out;
    EXPECT_EQ(std::tie(counts.source_events, counts.target_events, counts.missing, counts.extra,
                       counts.changed, counts.duplicated),
              std::tie(c.expected.source_events, c.expected.target_events, c.expected.missing,
                       c.expected.extra, c.expected.changed, c.expected.duplicated))
        << out;
    EXPECT_EQ(out.rfind(c.line, 0), 0u) << out;
    EXPECT_NE(out.find(": DIFFERENT\n"), std::string::npos) << out;
  }
}

TEST_F(DiffTest, FiltersApplyToTheSourceOnly) {
  put("target", "b.rep", file_of({only_events({0, 2})}));  // events at 1100 s and 1150 s
  diff_options window;
  window.filter.time_on = true;
  window.filter.time_kind = 3;
  window.filter.time_from = 1100;
  std::string out;
  diff_counts counts;
  EXPECT_EQ(diff(out, counts, window), 0) << out;
  EXPECT_EQ(counts.source_events, 2u);
  EXPECT_EQ(diff(out, counts), 1) << out;  // unfiltered, event 1 is missing
  EXPECT_EQ(counts.missing, 1u);
}

TEST_F(DiffTest, SlicedComparisonFindsTheSameDifferences) {
  put("target", "b.rep", file_of({only_events({0, 1})}));
  diff_options sliced;
  sliced.slice_events = 1;  // every group compared in several readings
  std::string out;
  diff_counts counts;
  EXPECT_EQ(diff(out, counts, sliced), 1) << out;
  EXPECT_EQ(counts.missing, 1u);
  EXPECT_EQ(out.rfind("missing: " + path_of("source", "a.rep") + " record key 13", 0), 0u) << out;
}

}  // namespace
}  // namespace repcopy::test
