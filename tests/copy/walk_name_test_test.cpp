#include "copy/walk_name_test.h"

#include <gtest/gtest.h>

namespace repcopy::walk_detail {
namespace {

std::u16string rep_name(std::u16string_view from, std::u16string_view to) {
  return u"S" + std::u16string(to) + std::u16string(from) + std::u16string(to) +
         std::u16string(32, u'A') + std::u16string(32, u'B') + u".rep";
}

TEST(WalkNameTime, ReadsFourteenDigitTimes) {
  EXPECT_EQ(name_time(u"19700101000000"), 0u);
  EXPECT_EQ(name_time(u"20190305174210"), 1551807730u);
  EXPECT_EQ(name_time(u"21060207062815"), 4294967295u);
  EXPECT_EQ(name_time(u"2019010203"), 1546398000u);         // missing minute and second are 0
  EXPECT_EQ(name_time(u"20190102030405xyz"), 1546398245u);  // only 14 characters count
}

TEST(WalkNameTime, InvalidCalendarDatesHaveNoTime) {
  for (const char16_t* text : {u"2019", u"201901", u"20191301000000", u"20190230000000",
                               u"20190101240000", u"20190101006000", u"abcdefghijklmn", u""}) {
    EXPECT_FALSE(name_time(text).has_value()) << std::u16string_view(text).size();
  }
  EXPECT_TRUE(name_time(u"20200229000000").has_value());  // leap day
}

TEST(WalkNameTest, OverlapWithTheWindowIncludingItsBounds) {
  filter_config f;
  f.time_on = true;
  f.time_from = *name_time(u"20190101000000");
  f.time_to = *name_time(u"20190131235959");
  struct {
    const char16_t* from;
    const char16_t* to;
    bool read;
  } cases[] = {
      {u"20181201000000", u"20181231235959", false},  // ends before the window
      {u"20190201000000", u"20190202000000", false},  // starts after the window
      {u"20181201000000", u"20190101000000", true},   // touches the lower bound
      {u"20190131235959", u"20190301000000", true},   // touches the upper bound
      {u"20181201000000", u"20190301000000", true},   // spans the window
      {u"20190110000000", u"20190111000000", true},   // inside
  };
  for (const auto& c : cases) {
    EXPECT_EQ(name_overlaps_window(f, rep_name(c.from, c.to)), c.read)
        << std::u16string_view(c.from).size();
  }
}

TEST(WalkNameTest, NamesWithoutValidTimesAreRead) {
  filter_config f;
  f.time_on = true;
  f.time_from = 100;
  f.time_to = 200;
  EXPECT_TRUE(name_overlaps_window(f, u"short.rep"));
  EXPECT_TRUE(name_overlaps_window(f, rep_name(u"2019999999999", u"20190101000000")));
}

}  // namespace
}  // namespace repcopy::walk_detail
