#include "filters/time_window.h"

#include <gtest/gtest.h>

#include <string>

namespace repcopy {
namespace {

constexpr uint32_t kNow = 1551807730;       // 2019-03-05 17:42:10 UTC
constexpr uint32_t kDayStart = 1551744000;  // 2019-03-05 00:00:00
constexpr uint32_t kJan2At3 = 1546398000;   // 2019-01-02 03:00:00

TEST(TimeWindowBack, DaysBackStartAtMidnightOfTheMatchingDay) {
  struct Case {
    int32_t days;
    uint32_t from;
  } cases[] = {{1, kDayStart}, {2, kDayStart - 86400}, {0, kDayStart + 86400}};
  for (const Case& c : cases) {
    filter_config f;
    time_window_back(f, kTimeDaysBack, c.days, kNow);
    EXPECT_TRUE(f.time_on);
    EXPECT_EQ(f.time_kind, kTimeDaysBack);
    EXPECT_EQ(f.time_from, c.from) << c.days;
    EXPECT_EQ(f.time_to, 0xFFFFFFFFu);
  }
}

TEST(TimeWindowBack, HoursBackStartAtTheBeginningOfTheMatchingHour) {
  filter_config f;
  time_window_back(f, kTimeHoursBack, 3, kNow);
  EXPECT_EQ(f.time_kind, kTimeHoursBack);
  EXPECT_EQ(f.time_from, 1551798000u);  // 15:00:00
  time_window_back(f, kTimeHoursBack, 1, kNow);
  EXPECT_EQ(f.time_from, 1551805200u);  // 17:00:00
}

TEST(TimeWindowBack, ArithmeticWrapsInThirtyTwoBits) {
  filter_config f;
  time_window_back(f, kTimeDaysBack, -1, kNow);  // two days ahead
  EXPECT_EQ(f.time_from, kDayStart + 2 * 86400);
  time_window_back(f, kTimeDaysBack, 100000, kNow);  // before 1970: wraps around
  EXPECT_EQ(f.time_from, uint32_t(kDayStart + (1u - 100000u) * 86400u));
}

TEST(DateFieldTime, DigitsAddFieldsOneByOne) {
  struct Case {
    const char* text;
    uint32_t seconds;
  } cases[] = {
      {"2019010203", kJan2At3},
      {"201901020304", kJan2At3 + 4 * 60},
      {"20190102030405", kJan2At3 + 4 * 60 + 5},
      {"2019010203040599", kJan2At3 + 4 * 60 + 5},  // past 14 characters: ignored
      {"20190102", kJan2At3 - 3 * 3600},
      {"2019", 1546300800},    // missing month and day count as 1
      {"201903", 1551398400},  // missing day counts as 1
      {"20200229", 1582934400},
      {"1970", 0},
      {"21060207062815", 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    auto t = date_text_time(c.text);
    ASSERT_TRUE(t.has_value()) << c.text;
    EXPECT_EQ(*t, c.seconds) << c.text;
  }
}

TEST(DateFieldTime, InvalidCalendarTimesHaveNoTime) {
  const char* bad[] = {
      "",
      "201913",
      "201900",
      "20190132",
      "20190229",
      "2019010224",
      "201901020360",
      "20190102030460",
      "1969",
      "2107",
      "21060207062816",  // one second past the 32-bit range
      "abcd",
      "2019-03-05",  // dash: month reads "-0" = 0
  };
  for (const char* text : bad) EXPECT_FALSE(date_text_time(text).has_value()) << text;
}

TEST(DateFields, NonDigitEndsAFieldAtItsLeadingDigits) {
  date_fields f = read_date_fields(u"2019-3x5 7");
  EXPECT_EQ(f.year, 2019);
  EXPECT_EQ(f.month, -3);  // sign accepted
  EXPECT_EQ(f.day, 0);     // "x5": no leading digits
  EXPECT_EQ(f.hour, 7);    // " 7": leading blank accepted
  EXPECT_TRUE(f.has_month);
  EXPECT_TRUE(f.has_day);
  f = read_date_fields(u"20191");
  EXPECT_EQ(f.month, 1);
  EXPECT_FALSE(f.has_day);
  EXPECT_EQ(f.day, 0);
}

TEST(TimeWindowDates, KindsSetTheirBoundsOnly) {
  filter_config f;
  time_window_dates(f, kTimeFromOnly, "2019010203", "");
  EXPECT_EQ(f.time_kind, kTimeFromOnly);
  EXPECT_EQ(f.time_from, kJan2At3);
  EXPECT_EQ(f.time_to, 0xFFFFFFFFu);
  EXPECT_FALSE(f.time_on);  // the caller switches it on

  filter_config g;
  time_window_dates(g, kTimeToOnly, "", "2019010203");
  EXPECT_EQ(g.time_from, 0u);
  EXPECT_EQ(g.time_to, kJan2At3);

  filter_config h;
  time_window_dates(h, kTimeFromTo, "2019", "2019010203");
  EXPECT_EQ(h.time_from, 1546300800u);
  EXPECT_EQ(h.time_to, kJan2At3);
}

TEST(TimeWindowDates, UnknownKindIsReportedAndChangesNothing) {
  filter_config f;
  testing::internal::CaptureStderr();
  time_window_dates(f, 2, "2019", "2020");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unknown filter type, can't apply!\n");
  EXPECT_EQ(f.time_kind, 0u);
  EXPECT_EQ(f.time_from, 0u);
  EXPECT_EQ(f.time_to, 0xFFFFFFFFu);
}

TEST(EventInWindow, BothBoundsInclusive) {
  filter_config f;
  EXPECT_TRUE(event_in_window(f, 0));  // no window: everything passes
  time_window_dates(f, kTimeFromTo, "2019010203", "2019010204");
  EXPECT_TRUE(event_in_window(f, kJan2At3 - 1));  // bounds set, window still off
  f.time_on = true;
  EXPECT_FALSE(event_in_window(f, kJan2At3 - 1));
  EXPECT_TRUE(event_in_window(f, kJan2At3));
  EXPECT_TRUE(event_in_window(f, kJan2At3 + 3600));
  EXPECT_FALSE(event_in_window(f, kJan2At3 + 3601));
}

// "S", creation time, first event, last event (14 digits each), 64 hex digits, ".rep".
std::u16string file_name(const char* first, const char* last) {
  std::string name = std::string("S20190101000000") + first + last + std::string(64, 'A') + ".rep";
  return std::u16string(name.begin(), name.end());
}

class FileOverlap : public testing::Test {
 protected:
  void SetUp() override {
    time_window_dates(f_, kTimeFromTo, "20190102030000", "20190102040000");
    f_.time_on = true;
  }
  filter_config f_;
};

TEST_F(FileOverlap, NameHasTheExpectedLayout) {
  EXPECT_EQ(file_name("20190102030000", "20190102040000").size(), 111u);
}

TEST_F(FileOverlap, FilesOutsideTheWindowAreSkipped) {
  EXPECT_FALSE(file_overlaps_window(f_, file_name("20190102040001", "20190102050000")));
  EXPECT_FALSE(file_overlaps_window(f_, file_name("20190102010000", "20190102025959")));
}

TEST_F(FileOverlap, FilesTouchingOrSpanningTheWindowAreRead) {
  EXPECT_TRUE(file_overlaps_window(f_, file_name("20190102040000", "20190102050000")));
  EXPECT_TRUE(file_overlaps_window(f_, file_name("20190102010000", "20190102030000")));
  EXPECT_TRUE(file_overlaps_window(f_, file_name("20190101000000", "20190201000000")));
  EXPECT_TRUE(file_overlaps_window(f_, file_name("20190102033000", "20190102033001")));
}

TEST_F(FileOverlap, OnlyTheFourteenDigitsOfEachTimeCount) {
  // The last time is followed directly by hex digits; they must not extend its seconds field.
  std::u16string name = file_name("20190102010000", "20190102025959");
  name[43] = u'9';
  EXPECT_FALSE(file_overlaps_window(f_, name));
}

TEST_F(FileOverlap, NamesWithoutValidTimesAreRead) {
  EXPECT_TRUE(file_overlaps_window(f_, file_name("20191399000000", "20190102010000")));
  EXPECT_TRUE(file_overlaps_window(f_, file_name("20190102050000", "2019010201xx00")));
  EXPECT_TRUE(file_overlaps_window(f_, u"short.rep"));
  EXPECT_TRUE(file_overlaps_window(f_, u""));
  EXPECT_TRUE(file_overlaps_window(f_, u"S20190101000000201901020500002019"));
}

}  // namespace
}  // namespace repcopy
