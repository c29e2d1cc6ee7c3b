#include "filters/event_id_filter.h"

#include <gtest/gtest.h>

#include "filters/time_window.h"

namespace repcopy {
namespace {

using ids = std::vector<uint32_t>;

TEST(BuildIdList, PiecesBetweenCommas) {
  struct Case {
    const char* text;
    ids expected;
  } cases[] = {
      {"1,2,3", {1, 2, 3}},
      {"1,,2", {1, 0, 2}},
      {"1,", {1, 0}},
      {"", {0}},
      {",", {0, 0}},
      {"-1", {0xFFFFFFFFu}},
      {" 7", {7}},
      {"7x", {7}},
      {"x7", {0}},
      {"+12, -3 ,4624", {12, uint32_t(-3), 4624}},
      {"4624,4624", {4624, 4624}},
      {"99999999999", {0x7FFFFFFFu}},
      {"-99999999999", {0x80000000u}},
      {"2147483647,-2147483648", {0x7FFFFFFFu, 0x80000000u}},
  };
  for (const Case& c : cases) EXPECT_EQ(build_id_list(c.text), c.expected) << '"' << c.text << '"';
}

TEST(IdPasses, WhiteAndBlackLists) {
  filter_config white, black;
  set_id_filter(white, kIdWhiteList, "4624,4625");
  set_id_filter(black, kIdBlackList, "4624,4625");
  EXPECT_TRUE(white.id_on);
  for (uint32_t id : {4624u, 4625u}) {
    EXPECT_TRUE(id_passes(white, id));
    EXPECT_FALSE(id_passes(black, id));
  }
  for (uint32_t id : {0u, 4623u, 4626u}) {
    EXPECT_FALSE(id_passes(white, id));
    EXPECT_TRUE(id_passes(black, id));
  }
}

TEST(IdPasses, EdgeLists) {
  filter_config off;
  EXPECT_TRUE(id_passes(off, 12345));

  filter_config empty_white;
  set_id_filter(empty_white, kIdWhiteList, "");
  EXPECT_TRUE(id_passes(empty_white, 0));
  EXPECT_FALSE(id_passes(empty_white, 1));

  filter_config twice;
  set_id_filter(twice, kIdBlackList, "5,5");
  EXPECT_FALSE(id_passes(twice, 5));
  EXPECT_TRUE(id_passes(twice, 6));

  filter_config all_ones;
  set_id_filter(all_ones, kIdWhiteList, "-1");
  EXPECT_TRUE(id_passes(all_ones, 4294967295u));

  // A list that was switched on with nothing in it: nothing is listed.
  filter_config bare;
  bare.id_on = true;
  bare.id_kind = kIdBlackList;
  EXPECT_TRUE(id_passes(bare, 1));
  bare.id_kind = kIdWhiteList;
  EXPECT_FALSE(id_passes(bare, 1));

  // A kind that is neither list keeps nothing, listed or not.
  filter_config unknown;
  set_id_filter(unknown, 0, "5");
  EXPECT_FALSE(id_passes(unknown, 5));
  EXPECT_FALSE(id_passes(unknown, 6));
}

TEST(EventPasses, IdTestThenTimeTest) {
  filter_config f;
  set_id_filter(f, kIdWhiteList, "7");
  time_window_dates(f, kTimeFromTo, "2019", "2020");
  f.time_on = true;
  EXPECT_TRUE(event_passes(f, 7, 1546300800));
  EXPECT_FALSE(event_passes(f, 7, 1546300799));
  EXPECT_FALSE(event_passes(f, 8, 1546300800));
}

}  // namespace
}  // namespace repcopy
