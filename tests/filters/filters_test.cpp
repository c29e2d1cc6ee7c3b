// The time window and the EventID lists.
#include <gtest/gtest.h>

#include <string>

#include "filters/event_id_filter.h"
#include "filters/time_window.h"
#include "tests/test_console.h"

namespace repcopy {
namespace {

constexpr uint32_t kNow = 1551807730;       // 2019-03-05 17:42:10 UTC
constexpr uint32_t kDayStart = 1551744000;  // 2019-03-05 00:00:00
constexpr uint32_t kJan2At3 = 1546398000;   // 2019-01-02 03:00:00

TEST(TimeWindowBack, StartsAtTheMatchingDayOrHourAndWrapsInThirtyTwoBits) {
  const std::tuple<uint32_t, int32_t, uint32_t> cases[] = {
      {kTimeDaysBack, 1, kDayStart},
      {kTimeDaysBack, 0, kDayStart + 86400},
      {kTimeDaysBack, -1, kDayStart + 2 * 86400},
      {kTimeDaysBack, 100000, uint32_t(kDayStart + (1u - 100000u) * 86400u)},  // before 1970
      {kTimeHoursBack, 1, kDayStart + 17 * 3600}};
  for (const auto& [kind, count, from] : cases) {
    filter_config f;
    time_window_back(f, kind, count, kNow);
    EXPECT_EQ(std::tie(f.time_on, f.time_kind, f.time_from, f.time_to),
              std::tuple(true, kind, from, 0xFFFFFFFFu))
        << count;
  }
}

TEST(DateTextTime, FieldsAddOneByOneAndInvalidCalendarTimesHaveNone) {
  const std::pair<const char*, uint32_t> valid[] = {
      {"2019010203", kJan2At3},
      {"201901020304", kJan2At3 + 4 * 60},
      {"20190102030405", kJan2At3 + 4 * 60 + 5},
      {"2019010203040599", kJan2At3 + 4 * 60 + 5},  // past 14 characters: ignored
      {"2019", 1546300800},                         // missing month and day count as 1
      {"201903", 1551398400},
      {"1970", 0},
      {"21060207062815", 0xFFFFFFFFu}};
  for (const auto& [text, seconds] : valid) EXPECT_EQ(date_text_time(text), seconds) << text;
  for (const char* text :
       {"", "201913", "201900", "20190132", "20190229", "2019010224", "201901020360",
        "20190102030460", "1969", "2107", "21060207062816", "abcd", "2019-03-05"})
    EXPECT_FALSE(date_text_time(text).has_value()) << text;
}

TEST(EventFilters, IdListAndTimeWindowWithBothBoundsInclusive) {
  filter_config f;
  set_id_filter(f, kIdWhiteList, "7");
  time_window_dates(test_console(), f, kTimeFromTo, "2019010203", "2019010204");
  EXPECT_TRUE(event_in_window(f, kJan2At3 - 1));  // bounds set, window still off
  f.time_on = true;
  EXPECT_FALSE(event_in_window(f, kJan2At3 - 1));
  EXPECT_TRUE(event_in_window(f, kJan2At3));
  EXPECT_TRUE(event_in_window(f, kJan2At3 + 3600));
  EXPECT_FALSE(event_in_window(f, kJan2At3 + 3601));
  EXPECT_TRUE(id_passes(f, 7));
  EXPECT_FALSE(id_passes(f, 8));
}

TEST(FileOverlapsWindow, OnlyFilesWithBothTimesOutsideTheWindowAreSkipped) {
  filter_config f;
  time_window_dates(test_console(), f, kTimeFromTo, "20190102030000", "20190102040000");
  // "S", creation time, first event, last event (14 digits each), 64 hex digits, ".rep".
  auto name = [](const std::string& first, const std::string& last) {
    std::string s = "S20190101000000" + first + last + std::string(64, 'A') + ".rep";
    return std::u16string(s.begin(), s.end());
  };
  EXPECT_EQ(name("20190102030000", "20190102040000").size(), 111u);
  std::u16string nine_after = name("20190102010000", "20190102025959");
  nine_after[43] = u'9';  // the hex digits that follow must not extend the seconds field
  const std::pair<std::u16string, bool> cases[] = {
      {name("20190102040001", "20190102050000"), false},
      {name("20190102010000", "20190102025959"), false},
      {nine_after, false},
      {name("20190102040000", "20190102050000"), true},
      {name("20190101000000", "20190201000000"), true},
      {name("20191399000000", "20190102010000"), true},  // no valid time: read
      {name("20190102050000", "2019010201xx00"), true},
      {u"short.rep", true},
      {u"S20190101000000201901020500002019", true}};
  for (const auto& [file, overlaps] : cases)
    EXPECT_EQ(file_overlaps_window(f, file), overlaps) << std::string(file.begin(), file.end());
}

TEST(BuildIdList, PiecesBetweenCommas) {
  const std::pair<const char*, std::vector<uint32_t>> cases[] = {
      {"1,,2", {1, 0, 2}},
      {"1,", {1, 0}},
      {"", {0}},
      {"-1", {0xFFFFFFFFu}},
      {" 7", {7}},
      {"7x", {7}},
      {"x7", {0}},
      {"+12, -3 ,4624", {12, uint32_t(-3), 4624}},
      {"99999999999,-99999999999", {0x7FFFFFFFu, 0x80000000u}},  // clamped to 32 signed bits
  };
  for (const auto& [text, ids] : cases) EXPECT_EQ(build_id_list(text), ids) << '"' << text << '"';
}

TEST(IdPasses, WhiteAndBlackLists) {
  EXPECT_TRUE(id_passes(filter_config{}, 12345));  // no list: everything passes
  using ids = std::vector<uint32_t>;
  const std::tuple<uint32_t, const char*, ids, ids> cases[] = {
      // kind, text, passing, failing
      {kIdWhiteList, "4624,4625", {4624, 4625}, {0, 4623, 4626}},
      {kIdBlackList, "4624,4625", {0, 4623, 4626}, {4624, 4625}},
      {kIdWhiteList, "", {0}, {1}},
      {0, "5", {}, {5, 6}},  // a kind that is neither list keeps nothing
  };
  for (const auto& [kind, text, passing, failing] : cases) {
    filter_config f;
    set_id_filter(f, kind, text);
    EXPECT_TRUE(f.id_on);
    for (uint32_t id : passing) EXPECT_TRUE(id_passes(f, id)) << text << " " << id;
    for (uint32_t id : failing) EXPECT_FALSE(id_passes(f, id)) << text << " " << id;
  }
}

}  // namespace
}  // namespace repcopy
